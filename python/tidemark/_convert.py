"""Conversions shared by every wrapper: seeds and array arguments.

The native functions take exactly one form of each argument (an unsigned
64-bit seed, one-dimensional contiguous arrays of one dtype); these helpers
turn what NumPy users pass into that form, copying only where needed.
"""

from __future__ import annotations

import operator
import secrets
from typing import Any, Union

import numpy as np
import numpy.typing as npt

SeedLike = Union[int, np.integer[Any], np.random.SeedSequence, np.random.Generator, None]
"""What every ``seed`` parameter of the Python layer accepts."""

FloatArray = npt.NDArray[np.float64]

_SEED_LIMIT = 1 << 64


def native_seed(seed: SeedLike) -> int:
    """Map a NumPy-style seed to the unsigned 64-bit seed of the native core.

    This is the only place where seeds are converted:

    - an ``int`` (or NumPy integer) in ``[0, 2**64)`` is used as it is, so
      ``seed=42`` gives the same series as the native call with ``42``;
    - a :class:`numpy.random.SeedSequence` gives
      ``int(seed.generate_state(1, numpy.uint64)[0])``; the sequence itself
      is not changed, so it gives the same seed every time;
    - a :class:`numpy.random.Generator` gives one draw
      ``int(seed.integers(0, 2**64, dtype=numpy.uint64))``, advancing it, so
      successive calls with one generator give different series;
    - ``None`` gives 64 bits of fresh entropy from the operating system.

    Parameters
    ----------
    seed : int, numpy.random.SeedSequence, numpy.random.Generator or None

    Returns
    -------
    int
        The seed in ``[0, 2**64)``.

    Raises
    ------
    TypeError
        For any other type (``bool`` and ``float`` included).
    ValueError
        For an integer outside ``[0, 2**64)``.

    Examples
    --------
    >>> import numpy as np
    >>> native_seed(7)
    7
    >>> native_seed(np.random.SeedSequence(7)) == native_seed(np.random.SeedSequence(7))
    True
    """
    if seed is None:
        return secrets.randbits(64)
    if isinstance(seed, np.random.SeedSequence):
        return int(seed.generate_state(1, np.uint64)[0])
    if isinstance(seed, np.random.Generator):
        return int(seed.integers(0, _SEED_LIMIT, dtype=np.uint64))
    if isinstance(seed, (bool, np.bool_)):
        raise TypeError("seed must be an int, a SeedSequence, a Generator or None, not a bool")
    try:
        value = operator.index(seed)
    except TypeError:
        raise TypeError("seed must be an int, a SeedSequence, a Generator or None, "
                        f"not {type(seed).__name__}") from None
    if not 0 <= value < _SEED_LIMIT:
        raise ValueError(f"seed must be in [0, 2**64), got {value}")
    return value


def _one_dimensional(values: Any, dtype: type[np.generic], name: str) -> npt.NDArray[Any]:
    array = np.asarray(values, dtype=dtype)
    if array.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional, got an array of shape {array.shape}")
    if not (array.flags.c_contiguous and array.flags.aligned):
        array = np.array(array, dtype=dtype, order="C")
    return array


def as_float_array(values: npt.ArrayLike, name: str) -> FloatArray:
    """``values`` as a one-dimensional, contiguous float64 array.

    An array that already is one is returned as it is (no copy); lists,
    tuples, other dtypes and strided views are converted.  Anything that is
    not one-dimensional raises ``ValueError`` naming the parameter.
    """
    return _one_dimensional(values, np.float64, name)


def as_flat_matrix(values: npt.ArrayLike, name: str, max_ndim: int = 2) -> FloatArray:
    """A matrix (or a stack of them, up to ``max_ndim`` dimensions) as the flat,
    row-major float64 array the native core takes; a 1-D input is taken as
    already flattened."""
    array = np.asarray(values, dtype=np.float64)
    if not 1 <= array.ndim <= max_ndim:
        raise ValueError(f"{name} must have 1 to {max_ndim} dimensions (a flat row-major "
                         f"matrix or the matrix itself), got an array of shape {array.shape}")
    return as_float_array(array.reshape(-1), name)


def _whole_number(value: Any, message: str) -> int:
    if isinstance(value, (float, np.floating)):
        if not float(value).is_integer():
            raise ValueError(message)
        return int(value)
    try:
        return operator.index(value)
    except TypeError:
        raise ValueError(message) from None


def _as_integer_array(values: npt.ArrayLike, dtype: type[np.integer[Any]],
                      name: str) -> npt.NDArray[Any]:
    info = np.iinfo(dtype)
    message = f"{name} must hold whole numbers in [{info.min}, {info.max}]"
    raw = values if isinstance(values, np.ndarray) else np.asarray(values, dtype=object)
    if raw.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional, got an array of shape {raw.shape}")
    if raw.size == 0 or raw.dtype.kind in "b":
        return _one_dimensional(raw, dtype, name)
    if raw.dtype.kind in "iu":
        low, high = int(raw.min()), int(raw.max())
    elif raw.dtype.kind == "f":
        # Whole numbers only, never truncated; the upper test is exact in floats.
        if not np.all(np.trunc(raw) == raw):
            raise ValueError(message)
        if not (raw.min() >= info.min and raw.max() < float(info.max) + 1.0):
            raise ValueError(message)
        return _one_dimensional(raw, dtype, name)
    else:
        # Python objects (lists of ints): converted exactly, whatever their size.
        exact = [_whole_number(v, message) for v in raw]
        raw = np.array(exact, dtype=object)
        low, high = min(exact), max(exact)
    if low < info.min or high > info.max:
        raise ValueError(message)
    return _one_dimensional(raw, dtype, name)


def as_int32_array(values: npt.ArrayLike, name: str) -> npt.NDArray[np.int32]:
    """``values`` as a one-dimensional, contiguous int32 array; whole numbers only."""
    return _as_integer_array(values, np.int32, name)


def as_int64_array(values: npt.ArrayLike, name: str) -> npt.NDArray[np.int64]:
    """``values`` as a one-dimensional, contiguous int64 array; whole numbers only."""
    return _as_integer_array(values, np.int64, name)


def as_uint64_array(values: npt.ArrayLike, name: str) -> npt.NDArray[np.uint64]:
    """``values`` as a one-dimensional, contiguous uint64 array; whole numbers only."""
    return _as_integer_array(values, np.uint64, name)
