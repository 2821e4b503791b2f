"""Reproducible synthetic time series for training and evaluating forecasting models.

The numerical work lives in the native extension ``tidemark._lib``.  The
Python layer mirrors its submodules (``tidemark.statistical``,
``tidemark.stochastic``, ``tidemark.volatility``, ``tidemark.multivariate``,
``tidemark.domain``, ``tidemark.pattern_injection``,
``tidemark.distributions``, ``tidemark.augmentation``, ``tidemark.batch``)
with keyword arguments and defaults, named choices in place of integer
codes, NumPy-style seeds (:func:`native_seed`) and array-likes converted to
float64.  Each wrapper passes its arguments to the native function of the
same name and gives the same series as the native call with the same
explicit values.  Submodules are imported on first use, so
``import tidemark`` stays cheap.

``InternalFailure`` is the native core's exception for a violated internal
check (for example Student's t innovations with 2 or fewer degrees of
freedom).  It derives from ``BaseException``, so catch it by name::

    try:
        random_walk(10, innovation="student_t", innovation_param=2.0, seed=1)
    except tidemark.InternalFailure as exc:
        ...

Adding a wrapper
----------------
For a native function ``tidemark._lib.<sub>.<name>``:

1. add its ``def`` to ``tidemark/_lib/<sub>.pyi`` (and its name to that
   stub's ``__all__``), in registration order;
2. give each integer-coded parameter a ``Literal`` alias and a name-to-code
   ``dict`` in ``tidemark/_codes.py`` (the one place that maps names to
   codes); ``innov_dist``/``innov_param`` become ``innovation`` and
   ``innovation_param`` through ``innovation_spec``;
3. in ``tidemark/<sub>.py`` (for a new submodule, a new module shaped like
   the others, listed in ``_SUBMODULES`` and ``__all__`` below) write
   ``def <name>(length, *, <native parameters with defaults>, seed=None)``
   with a NumPy-style docstring, calling the native function positionally
   with ``native_seed(seed)``, ``as_float_array(x, "x")`` for arrays
   (``as_flat_matrix`` for matrices) and ``code("param", TABLE, value)`` for
   named choices, and add it to ``__all__`` in registration order;
4. add the function to ``DEFAULTS`` in ``tests/test_python_api.py`` (its
   defaults spelt out as the native call's arguments) and any renamed
   parameter to ``RENAMED`` there.
"""

from __future__ import annotations

import importlib
from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from tidemark import (
        augmentation, batch, distributions, domain, multivariate, pattern_injection,
        statistical, stochastic, volatility)
    from tidemark._convert import native_seed
    from tidemark.dataset import Dataset, load_dataset, regenerate_series

    InternalFailure: type[BaseException]

_SUBMODULES = (
    "augmentation", "batch", "distributions", "domain", "multivariate", "pattern_injection",
    "statistical", "stochastic", "volatility",
)

# The dataset reader/writer of the command-line tool, also imported on first use.
_DATASET_NAMES = ("Dataset", "load_dataset", "regenerate_series")

__all__ = [
    "Dataset", "load_dataset", "regenerate_series",
    "augmentation", "batch", "distributions", "domain", "multivariate", "pattern_injection",
    "statistical", "stochastic", "volatility",
    "InternalFailure", "native_seed",
]

__version__ = "0.1.0"


def _internal_failure_class() -> type[BaseException]:
    # The native core creates the class on first use and does not export it,
    # so provoke one: Student's t shocks with 2 degrees of freedom are refused
    # before any value is drawn.
    from tidemark._lib.statistical import random_walk

    try:
        random_walk(1, 0.0, 1.0, 0.0, 0, 1, 2.0)
    except BaseException as exc:  # noqa: BLE001 - the exception is what we want
        return type(exc)
    raise ImportError("tidemark._lib did not raise its InternalFailure")


def __getattr__(name: str) -> Any:
    if name in _SUBMODULES or name == "_lib":
        return importlib.import_module(f"tidemark.{name}")
    if name == "InternalFailure":
        cls = _internal_failure_class()
        globals()["InternalFailure"] = cls
        return cls
    if name in _DATASET_NAMES:
        return getattr(importlib.import_module("tidemark.dataset"), name)
    if name == "native_seed":
        from tidemark._convert import native_seed

        return native_seed
    raise AttributeError(f"module 'tidemark' has no attribute {name!r}")


def __dir__() -> list[str]:
    return sorted([*globals(), *__all__])
