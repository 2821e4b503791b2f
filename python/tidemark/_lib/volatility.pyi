# Stub of a native submodule; see __init__.pyi for how these stubs are kept.
import numpy as np
import numpy.typing as npt

__all__ = ["stochastic_volatility", "regime_switching"]

def stochastic_volatility(
    length: int,
    model_type: int,
    initial_price: float,
    initial_vol: float,
    drift: float,
    mean_vol: float,
    vol_mean_reversion: float,
    vol_of_vol: float,
    correlation: float,
    beta_param: float,
    dt: float,
    output_type: int,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def regime_switching(
    length: int,
    n_regimes: int,
    regime_means: npt.NDArray[np.float64],
    regime_variances: npt.NDArray[np.float64],
    regime_ar_coeffs: npt.NDArray[np.float64],
    transition_matrix: npt.NDArray[np.float64],
    stationary_probs: npt.NDArray[np.float64],
    initial_regime: int,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
