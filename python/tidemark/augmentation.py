"""Analysis and augmentation: dynamic time warping and DBA barycentres.

Wrappers over :mod:`tidemark._lib.augmentation`; series may be any
one-dimensional array-like (converted to float64).
"""

from __future__ import annotations

from collections.abc import Sequence

import numpy.typing as npt

from tidemark._convert import FloatArray, as_float_array
from tidemark._lib import augmentation as _native

__all__ = ["dtw_alignment", "dtw_distance", "nearest_dtw_neighbors", "dba_barycenter",
           "dba_barycenters"]


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
