"""Batches of series generated in parallel, with patterns per series.

Wrappers over :mod:`tidemark._lib.batch`.  A generator is named as in
:mod:`tidemark.statistical` and friends; ``scalar_params`` and
``array_params`` are its batch slots in slot order (the command-line
catalog lists them).  Results never depend on ``n_workers``.
"""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from typing import Any

import numpy as np
import numpy.typing as npt

from tidemark._codes import GENERATOR, GeneratorName, code
from tidemark._convert import as_float_array, as_int32_array, as_uint64_array
from tidemark._lib import batch as _native

__all__ = ["generate_batch", "generate_multi_batch"]

Series = dict[str, npt.NDArray[Any]]


def _spec(generator: str, scalar_params: npt.ArrayLike, array_params: Sequence[npt.ArrayLike],
          lengths: npt.ArrayLike, gen_seeds: npt.ArrayLike, pi_seeds: npt.ArrayLike | None,
          pi_config: Mapping[str, Any] | None) -> dict[str, Any]:
    length_array = as_int32_array(lengths, "lengths")
    return {
        "gen_type": code("generator", GENERATOR, generator),
        "scalar_params": as_float_array(scalar_params, "scalar_params"),
        "array_params": [as_float_array(a, "array_params") for a in array_params],
        "lengths": length_array,
        "gen_seeds": as_uint64_array(gen_seeds, "gen_seeds"),
        "pi_seeds": (np.zeros(3 * length_array.size, dtype=np.uint64) if pi_seeds is None
                     else as_uint64_array(pi_seeds, "pi_seeds")),
        "pi_config": dict(pi_config or {}),
    }


def generate_batch(
    generator: GeneratorName, scalar_params: npt.ArrayLike, *,
    array_params: Sequence[npt.ArrayLike] = (), lengths: npt.ArrayLike,
    gen_seeds: npt.ArrayLike, pi_seeds: npt.ArrayLike | None = None,
    pi_config: Mapping[str, Any] | None = None, n_workers: int = 0,
) -> list[Series]:
    """Generate one series per entry of ``lengths`` with one generator.

    Parameters
    ----------
    generator : str
        Generator name, e.g. ``"random_walk"``.
    scalar_params : array_like
        The generator's scalar slots, in slot order.
    array_params : sequence of array_like, default ()
        The generator's array slots.
    lengths : array_like of int
        Length of each series.
    gen_seeds : array_like of int
        One generator seed per series, each in ``[0, 2**64)``.
    pi_seeds : array_like of int, optional
        Three pattern seeds per series; zeros when omitted (give them when
        ``pi_config`` enables patterns, or every series gets the same ones).
    pi_config : dict, optional
        Pattern settings (changepoints, anomalies, missingness); none by default.
    n_workers : int, default 0
        Worker threads; 0 uses the shared pool.

    Returns
    -------
    list of dict
        Per series: ``"values"``, ``"cp_indices"``, ``"anom_indices"``, ``"miss_indices"``.

    Examples
    --------
    >>> from tidemark.batch import generate_batch
    >>> out = generate_batch("random_walk", [0.0, 1.0, 0.0, 0, 0.0],
    ...                      lengths=[10, 20], gen_seeds=[1, 2])
    >>> [s["values"].size for s in out]
    [10, 20]
    """
    spec = _spec(generator, scalar_params, array_params, lengths, gen_seeds, pi_seeds,
                 pi_config)
    return _native.generate_batch(spec["gen_type"], spec["scalar_params"],
                                  spec["array_params"], spec["lengths"], spec["gen_seeds"],
                                  spec["pi_seeds"], spec["pi_config"], n_workers)


def generate_multi_batch(
    specs: Sequence[Mapping[str, Any]], *, n_workers: int = 0,
) -> list[list[Series]]:
    """Several batches over one parallel loop.

    Parameters
    ----------
    specs : sequence of dict
        Each with the keyword arguments of :func:`generate_batch` (``generator``,
        ``scalar_params``, ``lengths``, ``gen_seeds`` and optionally
        ``array_params``, ``pi_seeds``, ``pi_config``).
    n_workers : int, default 0

    Returns
    -------
    list of list of dict
        One list per spec, as :func:`generate_batch` returns.

    Examples
    --------
    >>> from tidemark.batch import generate_multi_batch
    >>> out = generate_multi_batch([
    ...     {"generator": "random_walk", "scalar_params": [0.0, 1.0, 0.0, 0, 0.0],
    ...      "lengths": [5], "gen_seeds": [1]}])
    >>> out[0][0]["values"].size
    5
    """
    native_specs = [
        _spec(s["generator"], s["scalar_params"], s.get("array_params", ()), s["lengths"],
              s["gen_seeds"], s.get("pi_seeds"), s.get("pi_config")) for s in specs]
    return _native.generate_multi_batch(native_specs, n_workers)
