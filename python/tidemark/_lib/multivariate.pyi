# Stub of a native submodule; see __init__.pyi for how these stubs are kept.
import numpy as np
import numpy.typing as npt

__all__ = ["copula", "var_process", "state_space", "fbm", "gaussian_process"]

def copula(
    length: int,
    n_variables: int,
    copula_type: int,
    df: float,
    correlation_matrix: npt.NDArray[np.float64],
    marginal_distribution: int,
    marginal_param1: float,
    marginal_param2: float,
    seed: int,
) -> npt.NDArray[np.float64]: ...
def var_process(
    length: int,
    n_variables: int,
    order: int,
    coef_matrices: npt.NDArray[np.float64],
    intercept: npt.NDArray[np.float64],
    innovation_cov: npt.NDArray[np.float64],
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def state_space(
    length: int,
    state_dim: int,
    obs_dim: int,
    f_mat: npt.NDArray[np.float64],
    h_mat: npt.NDArray[np.float64],
    q_mat: npt.NDArray[np.float64],
    r_mat: npt.NDArray[np.float64],
    initial_state: npt.NDArray[np.float64],
    initial_state_cov: npt.NDArray[np.float64],
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def fbm(
    length: int,
    hurst: float,
    sigma: float,
    initial_value: float,
    cumulative: bool,
    method: int,
    seed: int,
) -> npt.NDArray[np.float64]: ...
def gaussian_process(
    length: int,
    kernel_id: int,
    length_scale: float,
    amplitude: float,
    period: float,
    mean: float,
    noise_variance: float,
    seed: int,
) -> npt.NDArray[np.float64]: ...
