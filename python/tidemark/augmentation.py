"""Analysis and augmentation: dynamic time warping, DBA barycentres,
classical decomposition, the feature set and the moving block bootstrap.

Wrappers over :mod:`tidemark._lib.augmentation`; series may be any
one-dimensional array-like (converted to float64).
"""

from __future__ import annotations

from collections.abc import Sequence

import numpy.typing as npt

from tidemark._convert import FloatArray, SeedLike, as_float_array, as_int64_array, native_seed
from tidemark._lib import augmentation as _native

__all__ = ["dtw_alignment", "dtw_distance", "nearest_dtw_neighbors", "dba_barycenter",
           "dba_barycenters", "mar_features_batch", "classical_decompose", "compute_features", "compute_feature_set",
           "compute_feature_set_batch", "moving_block_bootstrap", "moving_block_bootstrap_many"]

FEATURE_NAMES = (
    "spectral_entropy", "trend_strength", "seasonal_strength", "acf1", "acf10", "diff1_acf1",
    "seasonal_acf", "spikiness", "lumpiness", "max_level_shift", "max_var_shift",
    "crossing_points")
"""Names of the twelve entries of :func:`compute_feature_set`, in order."""


def dtw_alignment(
    a: npt.ArrayLike, b: npt.ArrayLike, *, band: int | None = None,
) -> tuple[float, list[tuple[int, int]]]:
    """DTW distance and optimal warping path between two series.

    Parameters
    ----------
    a, b : array_like
        Non-empty, finite series.
    band : int, optional
        Sakoe-Chiba half-width in samples; ``None`` for no band.

    Returns
    -------
    distance : float
    path : list of (int, int)
        Index pairs from ``(0, 0)`` to ``(len(a) - 1, len(b) - 1)``.

    Examples
    --------
    >>> from tidemark.augmentation import dtw_alignment
    >>> dtw_alignment([0.0, 1.0, 2.0], [0.0, 2.0])[1][-1]
    (2, 1)
    """
    return _native.dtw_alignment(as_float_array(a, "a"), as_float_array(b, "b"), band)


def dtw_distance(a: npt.ArrayLike, b: npt.ArrayLike, *, band: int | None = None) -> float:
    """DTW distance between two series (square root of the squared-cost sum).

    Parameters
    ----------
    a, b : array_like
    band : int, optional
        Sakoe-Chiba half-width in samples; ``None`` for no band.

    Returns
    -------
    float

    Examples
    --------
    >>> from tidemark.augmentation import dtw_distance
    >>> dtw_distance([0.0, 1.0], [0.0, 1.0])
    0.0
    """
    return _native.dtw_distance(as_float_array(a, "a"), as_float_array(b, "b"), band)


def nearest_dtw_neighbors(
    series: Sequence[npt.ArrayLike], *, window_fraction: float = 0.1, n_neighbors: int = 5,
) -> list[list[tuple[int, float]]]:
    """For each series, its nearest other series under banded DTW.

    Parameters
    ----------
    series : sequence of array_like
    window_fraction : float, default 0.1
        Band half-width as a fraction of the series' length.
    n_neighbors : int, default 5

    Returns
    -------
    list of list of (int, float)
        Per series, ``(index, distance)`` pairs by ascending distance.

    Examples
    --------
    >>> from tidemark.augmentation import nearest_dtw_neighbors
    >>> nearest_dtw_neighbors([[0.0, 1.0], [0.0, 1.1], [5.0, 5.0]], n_neighbors=1)[0][0][0]
    1
    """
    return _native.nearest_dtw_neighbors(
        [as_float_array(s, "series") for s in series], window_fraction, n_neighbors)


def dba_barycenter(
    reference: npt.ArrayLike, neighbors: Sequence[npt.ArrayLike], *,
    weights: npt.ArrayLike | None = None, n_iterations: int = 10, band: int | None = None,
) -> FloatArray:
    """DTW barycentre averaging (DBA) of ``neighbors``, starting from ``reference``.

    Parameters
    ----------
    reference : array_like
    neighbors : sequence of array_like
    weights : array_like, optional
        One weight per series, the reference first, then each neighbour;
        equal weights when omitted.
    n_iterations : int, default 10
    band : int, optional

    Returns
    -------
    numpy.ndarray
        The barycentre, of the reference's length.

    Examples
    --------
    >>> from tidemark.augmentation import dba_barycenter
    >>> dba_barycenter([0.0, 1.0, 0.0], [[0.0, 2.0, 0.0], [0.0, 0.0, 0.0]]).shape
    (3,)
    """
    arrays = [as_float_array(s, "neighbors") for s in neighbors]
    w = [1.0] * (len(arrays) + 1) if weights is None else weights
    return _native.dba_barycenter(as_float_array(reference, "reference"), arrays,
                                  as_float_array(w, "weights"), n_iterations, band)


def dba_barycenters(
    reference: npt.ArrayLike, neighbors: Sequence[npt.ArrayLike],
    weights: Sequence[npt.ArrayLike], *, n_iterations: int = 10, band: int | None = None,
) -> list[FloatArray]:
    """One DBA barycentre per weight vector, sharing the alignments.

    Parameters
    ----------
    reference : array_like
    neighbors : sequence of array_like
    weights : sequence of array_like
        Weight vectors, each with one weight per series (the reference first).
    n_iterations : int, default 10
    band : int, optional

    Returns
    -------
    list of numpy.ndarray

    Examples
    --------
    >>> from tidemark.augmentation import dba_barycenters
    >>> len(dba_barycenters([0.0, 1.0], [[0.0, 2.0], [0.0, 0.0]], [[1, 1, 0], [1, 0, 1]]))
    2
    """
    arrays = [as_float_array(s, "neighbors") for s in neighbors]
    vectors = [as_float_array(w, "weights") for w in weights]
    return _native.dba_barycenters(as_float_array(reference, "reference"), arrays,
                                   [v.tolist() for v in vectors], n_iterations, band)


def classical_decompose(
    values: npt.ArrayLike, *, period: int | None = None,
) -> tuple[FloatArray, FloatArray, FloatArray]:
    """Classical additive decomposition into trend, seasonal and residual.

    Parameters
    ----------
    values : array_like
        At least three finite values.
    period : int, optional
        Seasonal period (at least 2); ``None`` for no seasonal component.

    Returns
    -------
    trend, seasonal, residual : numpy.ndarray
        Each of ``len(values)``.

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.augmentation import classical_decompose
    >>> trend, seasonal, residual = classical_decompose(np.sin(np.arange(48) / 2), period=12)
    >>> trend.shape
    (48,)
    """
    return _native.classical_decompose(as_float_array(values, "values"), period)


def compute_features(
    values: npt.ArrayLike, *, period: int | None = None,
) -> tuple[float, float, float, float]:
    """The four basic features: spectral entropy, trend and seasonal strength, acf1.

    Parameters
    ----------
    values : array_like
        At least three finite values.
    period : int, optional
        Seasonal period; ``None`` for none.

    Returns
    -------
    tuple of four floats
        ``(spectral_entropy, trend_strength, seasonal_strength, acf1)``.

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.augmentation import compute_features
    >>> len(compute_features(np.arange(30.0)))
    4
    """
    return _native.compute_features(as_float_array(values, "values"), period)


def compute_feature_set(
    values: npt.ArrayLike, *, period: int | None = None, window_size: int | None = None,
) -> list[float]:
    """The twelve features named in ``FEATURE_NAMES``.

    Parameters
    ----------
    values : array_like
        Non-empty, finite values (too short a series gives NaN entries).
    period : int, optional
        Seasonal period; ``None`` for none.
    window_size : int, optional
        Window of the lumpiness and shift features; defaults to the period.

    Returns
    -------
    list of float

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.augmentation import FEATURE_NAMES, compute_feature_set
    >>> dict(zip(FEATURE_NAMES, compute_feature_set(np.sin(np.arange(100.0)))))["acf1"] > 0
    True
    """
    return _native.compute_feature_set(as_float_array(values, "values"), period, window_size)


def compute_feature_set_batch(
    values: npt.ArrayLike, offsets: npt.ArrayLike, *, period: int | None = None,
    window_size: int | None = None, n_workers: int = 0,
) -> FloatArray:
    """The twelve features of many series stored end to end, in parallel.

    Parameters
    ----------
    values : array_like
        All series concatenated.
    offsets : array_like of int
        Boundaries: series i is ``values[offsets[i]:offsets[i + 1]]``; from 0 to
        ``len(values)``, strictly increasing.
    period, window_size : int, optional
        As for :func:`compute_feature_set`, shared by all series.
    n_workers : int, default 0
        Worker threads; 0 uses the shared pool.

    Returns
    -------
    numpy.ndarray
        Shape ``(n_series, 12)``; row i equals ``compute_feature_set`` of series i.

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.augmentation import compute_feature_set_batch
    >>> compute_feature_set_batch(np.arange(50.0), [0, 20, 50]).shape
    (2, 12)
    """
    flat = _native.compute_feature_set_batch(as_float_array(values, "values"),
                                             as_int64_array(offsets, "offsets"), period,
                                             window_size, n_workers)
    return flat.reshape(-1, 12)


def mar_features_batch(
    scalars: Sequence[Sequence[float]], arrays: Sequence[Sequence[Sequence[float]]],
    lengths: Sequence[int], seeds: Sequence[Sequence[SeedLike]], *,
    period: int | None = None, n_workers: int = 0,
) -> list[list[list[float]] | None]:
    """Basic features of MAR draws of many candidate configurations, in parallel.

    Candidate i is drawn once per length with the composite MAR generator
    (batch code 30), with ``scalars[i]`` and ``arrays[i]`` as its slot
    layout and ``seeds[i][j]`` for ``lengths[j]``; every draw is scored with
    :func:`compute_features`.

    Parameters
    ----------
    scalars : sequence of sequences of float
        One MAR scalar-slot vector per candidate (12 or more entries).
    arrays : sequence of sequences of sequences of float
        One list of array slots per candidate (five in fixed mode, else empty).
    lengths : sequence of int
        Series lengths, each in [3, 1000000], shared by all candidates.
    seeds : sequence of sequences of seeds
        One seed per length for each candidate (any form :func:`tidemark.native_seed` takes).
    period : int, optional
        Seasonal period for the features.
    n_workers : int, default 0
        Worker threads; 0 uses the shared pool.

    Returns
    -------
    list
        Per candidate, ``None`` when one of its draws or their features failed,
        else one ``[spectral_entropy, trend_strength, seasonal_strength, acf1]``
        per length.

    Examples
    --------
    >>> from tidemark.augmentation import mar_features_batch
    >>> scalars = [3, 3, 12, 1.0, 1.0, 0.5, 1.5, 100, 1, 0, 0, 0.0]
    >>> scores = mar_features_batch([scalars], [[]], [100, 200], [[1, 2]])
    >>> len(scores[0]), len(scores[0][0])
    (2, 4)
    """
    native_seeds = [[native_seed(s) for s in row] for row in seeds]
    return _native.mar_features_batch(scalars, arrays, lengths, native_seeds, period, n_workers)


def moving_block_bootstrap(
    values: npt.ArrayLike, block_size: int, *, seed: SeedLike = None, period: int | None = None,
) -> FloatArray:
    """Decompose, resample the residual in moving blocks, and recompose.

    Parameters
    ----------
    values : array_like
        At least three finite values.
    block_size : int
        Block length, in ``[2, len(values)]``.
    seed : int, SeedSequence, Generator or None, default None
        Seed, mapped by :func:`tidemark.native_seed`.
    period : int, optional
        Seasonal period of the decomposition; ``None`` for none.

    Returns
    -------
    numpy.ndarray
        A series of ``len(values)``.

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.augmentation import moving_block_bootstrap
    >>> moving_block_bootstrap(np.sin(np.arange(60.0)), 8, seed=1, period=12).shape
    (60,)
    """
    return _native.moving_block_bootstrap(as_float_array(values, "values"), block_size,
                                          native_seed(seed), period)


def moving_block_bootstrap_many(
    values: npt.ArrayLike, block_size: int, seeds: Sequence[SeedLike], *,
    period: int | None = None,
) -> list[FloatArray]:
    """One :func:`moving_block_bootstrap` replicate per seed, sharing the decomposition.

    Parameters
    ----------
    values : array_like
    block_size : int
    seeds : sequence of int, SeedSequence, Generator or None
        Each mapped by :func:`tidemark.native_seed`, in order.
    period : int, optional

    Returns
    -------
    list of numpy.ndarray

    Examples
    --------
    >>> import numpy as np
    >>> from tidemark.augmentation import moving_block_bootstrap_many
    >>> seeds = np.random.SeedSequence(7).spawn(3)
    >>> len(moving_block_bootstrap_many(np.sin(np.arange(60.0)), 8, seeds))
    3
    """
    return _native.moving_block_bootstrap_many(as_float_array(values, "values"), block_size,
                                               [native_seed(s) for s in seeds], period)
