# Stub of a native submodule; see __init__.pyi for how these stubs are kept.
import numpy as np
import numpy.typing as npt

__all__ = ["random_walk", "seasonal", "sarima", "ets", "inar"]

def random_walk(
    length: int,
    drift: float,
    volatility: float,
    start_value: float,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def seasonal(
    length: int,
    seasonality_period: int,
    seasonality_amplitude: float,
    trend: float,
    noise_level: float,
    base_level: float,
    seed: int,
    innov_dist: int = 0,
    innov_param: float = 0.0,
) -> npt.NDArray[np.float64]: ...
def sarima(
    length: int,
    full_ar_poly: npt.NDArray[np.float64],
    full_ma_poly: npt.NDArray[np.float64],
    d: int,
    seasonal_d: int,
    seasonal_period: int,
    mean: float,
    drift_val: float,
    noise_std: float,
    burn_in: int,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def ets(
    length: int,
    error_type: int,
    trend_type: int,
    seasonal_type: int,
    seasonal_period: int,
    level: float,
    trend_init: float,
    seasonal_init: npt.NDArray[np.float64],
    alpha: float,
    beta_param: float,
    gamma: float,
    phi: float,
    damped: bool,
    noise_std: float,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def inar(
    length: int,
    p: int,
    alpha_arr: npt.NDArray[np.float64],
    innov_type: int,
    innov_mean: float,
    innov_dispersion: float,
    seed: int,
) -> npt.NDArray[np.float64]: ...
