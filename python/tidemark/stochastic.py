"""Stochastic processes: diffusions, point processes, Levy and bounded
processes, chaotic systems, cyclic series and GARCH.

Keyword-argument wrappers over :mod:`tidemark._lib.stochastic`.  Shared
parameters: ``length`` (number of values, at least 1); ``innovation`` and
``innovation_param`` (shock distribution, see
:func:`tidemark.statistical.random_walk`); ``seed`` (int, SeedSequence,
Generator or None, mapped by :func:`tidemark.native_seed`).  Every function
returns a float64 array of ``length`` values.
"""

from __future__ import annotations

import numpy.typing as npt

from tidemark._codes import (
    BOUNDED_MODEL, CHAOTIC_SYSTEM, HAWKES_KERNEL, HAWKES_OUTPUT, BoundedModel, ChaoticSystem,
    HawkesKernel, HawkesOutput, Innovation, code, innovation_spec)
from tidemark._convert import FloatArray, SeedLike, as_float_array, native_seed
from tidemark._lib import stochastic as _native

__all__ = [
    "ornstein_uhlenbeck", "geometric_brownian_motion", "jump_diffusion", "poisson_process",
    "cyclic", "garch", "hawkes_process", "chaotic_system", "bounded_process", "levy_process",
]


def ornstein_uhlenbeck(
    length: int, *, theta: float = 0.5, mu: float = 0.0, sigma: float = 1.0,
    initial_value: float = 0.0, dt: float = 0.1, innovation: Innovation = "normal",
    innovation_param: float | None = None, seed: SeedLike = None,
) -> FloatArray:
    """Mean-reverting Ornstein-Uhlenbeck diffusion.

    Parameters
    ----------
    theta : float, default 0.5
        Speed of reversion to ``mu``.
    mu : float, default 0.0
        Long-run mean.
    sigma : float, default 1.0
        Diffusion scale.
    initial_value : float, default 0.0
    dt : float, default 0.1
        Time step.

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import ornstein_uhlenbeck
    >>> ornstein_uhlenbeck(10, theta=1.0, seed=1).shape
    (10,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.ornstein_uhlenbeck(length, theta, mu, sigma, initial_value, dt,
                                      native_seed(seed), dist, param)


def geometric_brownian_motion(
    length: int, *, mu: float = 0.05, sigma: float = 0.2, initial_value: float = 100.0,
    dt: float = 1.0 / 252.0, innovation: Innovation = "normal",
    innovation_param: float | None = None, seed: SeedLike = None,
) -> FloatArray:
    """Geometric Brownian motion (a price path).

    Parameters
    ----------
    mu : float, default 0.05
        Drift per unit time.
    sigma : float, default 0.2
        Volatility per unit time.
    initial_value : float, default 100.0
    dt : float, default 1/252
        Time step (one trading day of a year).

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import geometric_brownian_motion
    >>> geometric_brownian_motion(252, seed=1).shape
    (252,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.geometric_brownian_motion(length, mu, sigma, initial_value, dt,
                                             native_seed(seed), dist, param)


def jump_diffusion(
    length: int, *, mu: float = 0.05, sigma: float = 0.2, lambda_jump: float = 5.0,
    jump_mean: float = -0.02, jump_std: float = 0.05, initial_value: float = 100.0,
    dt: float = 1.0 / 252.0, innovation: Innovation = "normal",
    innovation_param: float | None = None, seed: SeedLike = None,
) -> FloatArray:
    """Merton jump diffusion: geometric Brownian motion with lognormal jumps.

    Parameters
    ----------
    mu, sigma : float, default 0.05 and 0.2
        Drift and volatility per unit time.
    lambda_jump : float, default 5.0
        Jump rate per unit time.
    jump_mean, jump_std : float, default -0.02 and 0.05
        Mean and standard deviation of the log jump sizes.
    initial_value : float, default 100.0
    dt : float, default 1/252

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import jump_diffusion
    >>> jump_diffusion(100, lambda_jump=10.0, seed=2).shape
    (100,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.jump_diffusion(length, mu, sigma, lambda_jump, jump_mean, jump_std,
                                  initial_value, dt, native_seed(seed), dist, param)


def poisson_process(
    length: int, *, lambda_rate: float = 3.0, cumulative: bool = False, seed: SeedLike = None,
) -> FloatArray:
    """Poisson counts per step, or their running total.

    Parameters
    ----------
    lambda_rate : float, default 3.0
        Mean count per step.
    cumulative : bool, default False
        Return the running total instead of the counts.

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import poisson_process
    >>> poisson_process(10, cumulative=True, seed=4).shape
    (10,)
    """
    return _native.poisson_process(length, lambda_rate, cumulative, native_seed(seed))


def cyclic(
    length: int, *, base_level: float = 10.0, trend: float = 0.01,
    cycle_period_mean: float = 50.0, cycle_period_std: float = 10.0,
    cycle_amplitude_mean: float = 2.0, cycle_amplitude_std: float = 0.5, num_cycles: int = 2,
    noise_std: float = 0.3, innovation: Innovation = "normal",
    innovation_param: float | None = None, seed: SeedLike = None,
) -> FloatArray:
    """Sum of cycles with random periods and amplitudes, plus trend and noise.

    Parameters
    ----------
    base_level, trend : float, default 10.0 and 0.01
    cycle_period_mean, cycle_period_std : float, default 50.0 and 10.0
        Distribution of each cycle's period.
    cycle_amplitude_mean, cycle_amplitude_std : float, default 2.0 and 0.5
        Distribution of each cycle's amplitude.
    num_cycles : int, default 2
    noise_std : float, default 0.3

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import cyclic
    >>> cyclic(200, num_cycles=3, seed=5).shape
    (200,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.cyclic(length, base_level, trend, cycle_period_mean, cycle_period_std,
                          cycle_amplitude_mean, cycle_amplitude_std, num_cycles, noise_std,
                          native_seed(seed), dist, param)


def garch(
    length: int, *, omega: float = 0.05, alpha_arr: npt.ArrayLike = (0.1,),
    beta_arr: npt.ArrayLike = (0.85,), p: int | None = None, q: int | None = None,
    mu: float = 0.0, initial_variance: float = 1.0, innovation: Innovation = "normal",
    innovation_param: float | None = None, seed: SeedLike = None,
) -> FloatArray:
    """GARCH(p, q) returns.

    Parameters
    ----------
    omega : float, default 0.05
        Constant of the variance equation.
    alpha_arr, beta_arr : array_like, default (0.1,) and (0.85,)
        ARCH and GARCH coefficients, lag 1 first.
    p, q : int, optional
        Orders; default to ``len(alpha_arr)`` and ``len(beta_arr)``.
    mu : float, default 0.0
        Mean return.
    initial_variance : float, default 1.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import garch
    >>> garch(500, innovation="student_t", seed=6).shape
    (500,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    alpha = as_float_array(alpha_arr, "alpha_arr")
    beta = as_float_array(beta_arr, "beta_arr")
    return _native.garch(length, alpha.size if p is None else p, beta.size if q is None else q,
                         omega, alpha, beta, mu, initial_variance, native_seed(seed), dist,
                         param)


def hawkes_process(
    length: int, *, baseline_intensity: float = 0.5, excitation_amplitude: float = 0.8,
    decay_rate: float = 1.2, kernel_type: HawkesKernel = "exponential",
    power_law_exponent: float = 3.0, output_type: HawkesOutput = "counts",
    max_events: int = 100_000, seed: SeedLike = None,
) -> FloatArray:
    """Self-exciting Hawkes point process on unit cells.

    Parameters
    ----------
    baseline_intensity : float, default 0.5
    excitation_amplitude : float, default 0.8
    decay_rate : float, default 1.2
    kernel_type : {"exponential", "power_law"}, default "exponential"
    power_law_exponent : float, default 3.0
        Exponent of the power-law kernel (with the defaults the process stays
        subcritical: a smaller exponent can make it explode to ``max_events``).
    output_type : {"counts", "intensity", "indicators"}, default "counts"
        Events per cell, intensity at the cell midpoints, or 0/1 indicators.
    max_events : int, default 100000
        Cap on the number of simulated events.

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import hawkes_process
    >>> hawkes_process(50, output_type="intensity", seed=7).shape
    (50,)
    """
    return _native.hawkes_process(length, baseline_intensity, excitation_amplitude, decay_rate,
                                  code("kernel_type", HAWKES_KERNEL, kernel_type),
                                  power_law_exponent,
                                  code("output_type", HAWKES_OUTPUT, output_type), max_events,
                                  native_seed(seed))


def chaotic_system(
    length: int, *, system: ChaoticSystem = "lorenz", sigma: float = 10.0, rho: float = 28.0,
    beta: float = 8.0 / 3.0, dt: float = 0.01, logistic_r: float = 3.9, mg_beta: float = 0.2,
    mg_gamma: float = 0.1, mg_n: float = 10.0, mg_tau: int = 17,
    observation_noise: float = 0.0, initial_perturbation: float = 0.1, seed: SeedLike = None,
) -> FloatArray:
    """Observed chaotic system: Lorenz, logistic map or Mackey-Glass.

    Parameters
    ----------
    system : {"lorenz", "logistic", "mackey_glass"}, default "lorenz"
    sigma, rho, beta, dt : float, default 10, 28, 8/3, 0.01
        Lorenz parameters and step.
    logistic_r : float, default 3.9
        Logistic-map rate.
    mg_beta, mg_gamma, mg_n : float, default 0.2, 0.1, 10.0
    mg_tau : int, default 17
        Mackey-Glass parameters and delay.
    observation_noise : float, default 0.0
    initial_perturbation : float, default 0.1

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import chaotic_system
    >>> chaotic_system(100, system="logistic", seed=8).shape
    (100,)
    """
    return _native.chaotic_system(length, code("system", CHAOTIC_SYSTEM, system), sigma, rho,
                                  beta, dt, logistic_r, mg_beta, mg_gamma, mg_n, mg_tau,
                                  observation_noise, initial_perturbation, native_seed(seed))


def bounded_process(
    length: int, *, model: BoundedModel = "beta", phi: float = 0.9, omega: float = 0.05,
    kappa: float = 20.0, sigma_param: float = 0.3, initial_value: float = 0.5,
    lower: float = 0.0, upper: float = 1.0, seed: SeedLike = None,
) -> FloatArray:
    """Process bounded to [lower, upper]: beta autoregression or logistic-normal.

    Parameters
    ----------
    model : {"beta", "logistic_normal"}, default "beta"
    phi : float, default 0.9
        Persistence.
    omega, kappa : float, default 0.05 and 20.0
        Intercept and precision of the beta model.
    sigma_param : float, default 0.3
        Noise scale of the logistic-normal model.
    initial_value : float, default 0.5
        Starting proportion in (0, 1).
    lower, upper : float, default 0.0 and 1.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import bounded_process
    >>> bounded_process(20, lower=-1.0, upper=1.0, seed=9).shape
    (20,)
    """
    return _native.bounded_process(length, code("model", BOUNDED_MODEL, model), phi, omega,
                                   kappa, sigma_param, initial_value, lower, upper,
                                   native_seed(seed))


def levy_process(
    length: int, *, alpha: float = 1.7, beta_skew: float = 0.0, scale: float = 1.0,
    location: float = 0.0, cumulative: bool = True, initial_value: float = 0.0,
    seed: SeedLike = None,
) -> FloatArray:
    """Alpha-stable (Levy) increments or their cumulative path.

    Parameters
    ----------
    alpha : float, default 1.7
        Stability index in (0, 2].
    beta_skew : float, default 0.0
        Skewness in [-1, 1].
    scale, location : float, default 1.0 and 0.0
    cumulative : bool, default True
        Return the path instead of the increments.
    initial_value : float, default 0.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.stochastic import levy_process
    >>> levy_process(100, alpha=1.5, seed=10).shape
    (100,)
    """
    return _native.levy_process(length, alpha, beta_skew, scale, location, cumulative,
                                initial_value, native_seed(seed))
