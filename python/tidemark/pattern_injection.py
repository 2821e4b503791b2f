"""Labelled patterns: changepoints, missing values and anomalies.

Wrappers over :mod:`tidemark._lib.pattern_injection`.  Each function changes
``values`` in place when it already is a writeable, contiguous, one-dimensional
float64 array; anything else (a list, another dtype, a read-only array) is
converted to a new array first, and that array is the one changed.  Each
returns ``(values, info)``: the changed array and a dict with the int64
positions it touched.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import Literal

import numpy as np
import numpy.typing as npt

from tidemark._convert import FloatArray, SeedLike, as_float_array, native_seed
from tidemark._lib import pattern_injection as _native

__all__ = ["add_changepoints", "add_missingness", "add_anomalies"]

Indices = dict[str, npt.NDArray[np.int64]]


def _target(values: npt.ArrayLike) -> FloatArray:
    array = as_float_array(values, "values")
    return array if array.flags.writeable else array.copy()


def add_changepoints(
    values: npt.ArrayLike, *, num_changepoints: int = 1, locations: npt.ArrayLike = (),
    changepoint_type: Literal["level", "trend", "mixed", "variance"] = "level",
    level_changes: npt.ArrayLike = (), trend_changes: npt.ArrayLike = (),
    variance_changes: npt.ArrayLike = (), seed: SeedLike = None,
) -> tuple[FloatArray, Indices]:
    """Insert changepoints in level, trend and/or variance.

    Parameters
    ----------
    values : array_like
        The series (changed in place, see the module's documentation).
    num_changepoints : int, default 1
    locations : array_like, default ()
        Positions as fractions of the length; empty draws them.
    changepoint_type : {"level", "trend", "mixed", "variance"}, default "level"
    level_changes, trend_changes, variance_changes : array_like, default ()
        Sizes per changepoint; empty draws them.
    seed : int, SeedSequence, Generator or None, default None

    Returns
    -------
    values : numpy.ndarray
    info : dict
        ``{"changepoint_indices": int64 array}``.

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.pattern_injection import add_changepoints
    >>> x, info = add_changepoints(np.zeros(100), level_changes=[5.0], seed=1)
    >>> info["changepoint_indices"].size
    1
    """
    return _native.add_changepoints(
        _target(values), native_seed(seed), num_changepoints,
        as_float_array(locations, "locations"), changepoint_type,
        as_float_array(level_changes, "level_changes"),
        as_float_array(trend_changes, "trend_changes"),
        as_float_array(variance_changes, "variance_changes"))


def add_missingness(
    values: npt.ArrayLike, *, pattern: Literal["random", "block", "seasonal"] = "random",
    missing_rate: float = 0.05, missing_block_size: int = 5, missing_seasonal_period: int = 12,
    seed: SeedLike = None,
) -> tuple[FloatArray, Indices]:
    """Replace values by NaN, at random, in blocks or seasonally.

    Parameters
    ----------
    values : array_like
        The series (changed in place, see the module's documentation).
    pattern : {"random", "block", "seasonal"}, default "random"
    missing_rate : float, default 0.05
        Fraction of values to remove.
    missing_block_size : int, default 5
        Length of a block (``"block"``).
    missing_seasonal_period : int, default 12
        Period (``"seasonal"``).
    seed : int, SeedSequence, Generator or None, default None

    Returns
    -------
    values : numpy.ndarray
    info : dict
        ``{"missing_indices": int64 array}``.

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.pattern_injection import add_missingness
    >>> x, info = add_missingness(np.ones(100), missing_rate=0.1, seed=2)
    >>> bool(np.isnan(x[info["missing_indices"]]).all())
    True
    """
    return _native.add_missingness(_target(values), native_seed(seed), pattern, missing_rate,
                                   missing_block_size, missing_seasonal_period)


def add_anomalies(
    values: npt.ArrayLike, *,
    anomaly_types: Sequence[Literal["spike", "dip", "level_shift"]] = ("spike", "dip"),
    anomaly_fraction: float = 0.01, spike_magnitude: float = 5.0, dip_magnitude: float = -5.0,
    level_shift_magnitude: float = 3.0, level_shift_duration: int = 10, seed: SeedLike = None,
) -> tuple[FloatArray, Indices]:
    """Add spikes, dips and temporary level shifts.

    Parameters
    ----------
    values : array_like
        The series (changed in place, see the module's documentation).
    anomaly_types : sequence of {"spike", "dip", "level_shift"}, default ("spike", "dip")
        Kinds drawn from, uniformly, for each anomaly.
    anomaly_fraction : float, default 0.01
    spike_magnitude, dip_magnitude : float, default 5.0 and -5.0
        Amounts added at a spike or a dip.
    level_shift_magnitude : float, default 3.0
    level_shift_duration : int, default 10
    seed : int, SeedSequence, Generator or None, default None

    Returns
    -------
    values : numpy.ndarray
    info : dict
        ``{"anomaly_indices": int64 array}``.

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.pattern_injection import add_anomalies
    >>> x, info = add_anomalies(np.zeros(1000), anomaly_fraction=0.01, seed=3)
    >>> info["anomaly_indices"].size
    10
    """
    return _native.add_anomalies(_target(values), native_seed(seed), list(anomaly_types),
                                 anomaly_fraction, spike_magnitude, dip_magnitude,
                                 level_shift_magnitude, level_shift_duration)
