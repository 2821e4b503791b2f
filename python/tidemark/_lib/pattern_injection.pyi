# Stub of a native submodule; see __init__.pyi for how these stubs are kept.
import numpy as np
import numpy.typing as npt

from collections.abc import Sequence

__all__ = ["add_changepoints", "add_missingness", "add_anomalies"]

def add_changepoints(
    values: npt.NDArray[np.float64],
    seed: int,
    num_changepoints: int,
    locations: npt.NDArray[np.float64],
    changepoint_type: str,
    level_changes: npt.NDArray[np.float64],
    trend_changes: npt.NDArray[np.float64],
    variance_changes: npt.NDArray[np.float64],
) -> tuple[npt.NDArray[np.float64], dict[str, npt.NDArray[np.int64]]]: ...
def add_missingness(
    values: npt.NDArray[np.float64],
    seed: int,
    pattern: str,
    missing_rate: float,
    missing_block_size: int,
    missing_seasonal_period: int,
) -> tuple[npt.NDArray[np.float64], dict[str, npt.NDArray[np.int64]]]: ...
def add_anomalies(
    values: npt.NDArray[np.float64],
    seed: int,
    anomaly_types: Sequence[str],
    anomaly_fraction: float,
    spike_magnitude: float,
    dip_magnitude: float,
    level_shift_magnitude: float,
    level_shift_duration: int,
) -> tuple[npt.NDArray[np.float64], dict[str, npt.NDArray[np.int64]]]: ...
