# Stub of a native submodule; see __init__.pyi for how these stubs are kept.
import numpy as np
import numpy.typing as npt

__all__ = ["ornstein_uhlenbeck", "geometric_brownian_motion", "jump_diffusion", "poisson_process", "cyclic", "garch", "hawkes_process", "chaotic_system", "bounded_process", "levy_process"]

def ornstein_uhlenbeck(
    length: int,
    theta: float,
    mu: float,
    sigma: float,
    initial_value: float,
    dt: float,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def geometric_brownian_motion(
    length: int,
    mu: float,
    sigma: float,
    initial_value: float,
    dt: float,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def jump_diffusion(
    length: int,
    mu: float,
    sigma: float,
    lambda_jump: float,
    jump_mean: float,
    jump_std: float,
    initial_value: float,
    dt: float,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def poisson_process(
    length: int,
    lambda_rate: float,
    cumulative: bool,
    seed: int,
) -> npt.NDArray[np.float64]: ...
def cyclic(
    length: int,
    base_level: float,
    trend: float,
    cycle_period_mean: float,
    cycle_period_std: float,
    cycle_amplitude_mean: float,
    cycle_amplitude_std: float,
    num_cycles: int,
    noise_std: float,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def garch(
    length: int,
    p: int,
    q: int,
    omega: float,
    alpha_arr: npt.NDArray[np.float64],
    beta_arr: npt.NDArray[np.float64],
    mu: float,
    initial_variance: float,
    seed: int,
    innov_dist: int,
    innov_param: float,
) -> npt.NDArray[np.float64]: ...
def hawkes_process(
    length: int,
    baseline_intensity: float,
    excitation_amplitude: float,
    decay_rate: float,
    kernel_type: int,
    power_law_exponent: float,
    output_type: int,
    max_events: int,
    seed: int,
) -> npt.NDArray[np.float64]: ...
def chaotic_system(
    length: int,
    system_id: int,
    sigma: float,
    rho: float,
    beta: float,
    dt: float,
    logistic_r: float,
    mg_beta: float,
    mg_gamma: float,
    mg_n: float,
    mg_tau: int,
    observation_noise: float,
    initial_perturbation: float,
    seed: int,
) -> npt.NDArray[np.float64]: ...
def bounded_process(
    length: int,
    model_id: int,
    phi: float,
    omega: float,
    kappa: float,
    sigma_param: float,
    initial_value: float,
    lower: float,
    upper: float,
    seed: int,
) -> npt.NDArray[np.float64]: ...
def levy_process(
    length: int,
    alpha: float,
    beta_skew: float,
    scale: float,
    location: float,
    cumulative: bool,
    initial_value: float,
    seed: int,
) -> npt.NDArray[np.float64]: ...
