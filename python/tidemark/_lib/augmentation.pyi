# Stub of a native submodule; see __init__.pyi for how these stubs are kept.
import numpy as np
import numpy.typing as npt

from collections.abc import Sequence

__all__ = [
    "dtw_alignment",
    "dtw_distance",
    "nearest_dtw_neighbors",
    "dba_barycenter",
    "dba_barycenters",
]

def dtw_alignment(
    a: npt.NDArray[np.float64], b: npt.NDArray[np.float64], band: int | None = None
) -> tuple[float, list[tuple[int, int]]]: ...
def dtw_distance(
    a: npt.NDArray[np.float64], b: npt.NDArray[np.float64], band: int | None = None
) -> float: ...
def nearest_dtw_neighbors(
    series: Sequence[npt.NDArray[np.float64]], window_fraction: float, n_neighbors: int
) -> list[list[tuple[int, float]]]: ...
def dba_barycenter(
    reference: npt.NDArray[np.float64],
    neighbors: Sequence[npt.NDArray[np.float64]],
    weights: npt.NDArray[np.float64],
    n_iterations: int,
    band: int | None = None,
) -> npt.NDArray[np.float64]: ...
def dba_barycenters(
    reference: npt.NDArray[np.float64],
    neighbors: Sequence[npt.NDArray[np.float64]],
    weights: Sequence[Sequence[float]],
    n_iterations: int,
    band: int | None = None,
) -> list[npt.NDArray[np.float64]]: ...
