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
    "mar_features_batch",
    "classical_decompose",
    "compute_features",
    "compute_feature_set",
    "compute_feature_set_batch",
    "moving_block_bootstrap",
    "moving_block_bootstrap_many",
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
def classical_decompose(
    values: npt.NDArray[np.float64], period: int | None = None
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...
def mar_features_batch(
    scalars: Sequence[Sequence[float]],
    arrays: Sequence[Sequence[Sequence[float]]],
    lengths: Sequence[int],
    seeds: Sequence[Sequence[int]],
    period: int | None = None,
    n_workers: int = 0,
) -> list[list[list[float]] | None]: ...
def compute_features(
    values: npt.NDArray[np.float64], period: int | None = None
) -> tuple[float, float, float, float]: ...
def compute_feature_set(
    values: npt.NDArray[np.float64], period: int | None = None, window_size: int | None = None
) -> list[float]: ...
def compute_feature_set_batch(
    values: npt.NDArray[np.float64],
    offsets: npt.NDArray[np.int64],
    period: int | None = None,
    window_size: int | None = None,
    n_workers: int = 0,
) -> npt.NDArray[np.float64]: ...
def moving_block_bootstrap(
    values: npt.NDArray[np.float64], block_size: int, seed: int, period: int | None = None
) -> npt.NDArray[np.float64]: ...
def moving_block_bootstrap_many(
    values: npt.NDArray[np.float64], block_size: int, seeds: Sequence[int], period: int | None = None
) -> list[npt.NDArray[np.float64]]: ...
