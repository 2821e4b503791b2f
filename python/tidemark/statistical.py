"""Statistical generators: random walk, seasonal series, SARIMA, ETS and INAR.

Keyword-argument wrappers over :mod:`tidemark._lib.statistical`; each passes
its arguments on unchanged except for the named choices, the seed and the
arrays (see :mod:`tidemark` for the conventions).
"""

from __future__ import annotations

import numpy.typing as npt

from tidemark._codes import (
    ETS_COMPONENT, ETS_ERROR, INAR_ARRIVALS, EtsComponent, EtsError, InarArrivals,
    Innovation, code, innovation_spec)
from tidemark._convert import FloatArray, SeedLike, as_float_array, native_seed
from tidemark._lib import statistical as _native

__all__ = ["random_walk", "seasonal", "sarima", "ets", "inar"]


def random_walk(
    length: int,
    *,
    drift: float = 0.0,
    volatility: float = 1.0,
    start_value: float = 0.0,
    innovation: Innovation = "normal",
    innovation_param: float | None = None,
    seed: SeedLike = None,
) -> FloatArray:
    """Random walk with drift.

    Parameters
    ----------
    length : int
        Number of values (at least 1).
    drift : float, default 0.0
        Constant added at every step.
    volatility : float, default 1.0
        Standard deviation of the steps' shocks.
    start_value : float, default 0.0
        Value the walk starts from.
    innovation : {"normal", "student_t", "laplace", "uniform", "skew_normal"}, default "normal"
        Distribution of the shocks, always scaled to standard deviation ``volatility``.
    innovation_param : float, optional
        Shape parameter: degrees of freedom for ``"student_t"`` (must exceed 2,
        default 5), skew for ``"skew_normal"`` (default 4); ignored otherwise.
    seed : int, SeedSequence, Generator or None, default None
        Seed, mapped by :func:`tidemark.native_seed`; ``None`` draws a fresh one.

    Returns
    -------
    numpy.ndarray
        ``length`` float64 values.

    Examples
    --------
    >>> from tidemark.statistical import random_walk
    >>> random_walk(5, drift=0.1, seed=42).shape
    (5,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.random_walk(length, drift, volatility, start_value, native_seed(seed),
                               dist, param)


def seasonal(
    length: int,
    *,
    seasonality_period: int = 12,
    seasonality_amplitude: float = 1.0,
    trend: float = 0.0,
    noise_level: float = 0.1,
    base_level: float = 0.0,
    innovation: Innovation = "normal",
    innovation_param: float | None = None,
    seed: SeedLike = None,
) -> FloatArray:
    """Sine-shaped seasonal series with linear trend and noise.

    Parameters
    ----------
    length : int
        Number of values (at least 1).
    seasonality_period : int, default 12
        Length of one season in steps.
    seasonality_amplitude : float, default 1.0
        Amplitude of the seasonal wave.
    trend : float, default 0.0
        Slope added per step.
    noise_level : float, default 0.1
        Standard deviation of the noise.
    base_level : float, default 0.0
        Level the series oscillates around.
    innovation, innovation_param
        Distribution of the noise, as for :func:`random_walk`.
    seed : int, SeedSequence, Generator or None, default None
        Seed, mapped by :func:`tidemark.native_seed`.

    Returns
    -------
    numpy.ndarray
        ``length`` float64 values.

    Examples
    --------
    >>> from tidemark.statistical import seasonal
    >>> seasonal(48, seasonality_period=24, seed=1).shape
    (48,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.seasonal(length, seasonality_period, seasonality_amplitude, trend,
                            noise_level, base_level, native_seed(seed), dist, param)


def sarima(
    length: int,
    *,
    full_ar_poly: npt.ArrayLike = (),
    full_ma_poly: npt.ArrayLike = (),
    d: int = 0,
    seasonal_d: int = 0,
    seasonal_period: int = 12,
    mean: float = 0.0,
    drift_val: float = 0.0,
    noise_std: float = 1.0,
    burn_in: int = 100,
    innovation: Innovation = "normal",
    innovation_param: float | None = None,
    seed: SeedLike = None,
) -> FloatArray:
    """Seasonal ARIMA series from already expanded polynomials.

    Parameters
    ----------
    length : int
        Number of values (at least 1).
    full_ar_poly, full_ma_poly : array_like, default ()
        AR coefficients phi_1 ... phi_p and MA coefficients theta_1 ... theta_q of the
        full (seasonal times non-seasonal) polynomials, without the leading 1.
    d, seasonal_d : int, default 0
        Numbers of ordinary and seasonal integrations.
    seasonal_period : int, default 12
        Seasonal lag.
    mean : float, default 0.0
        Constant added when there is no integration.
    drift_val : float, default 0.0
        Constant added before integrating when there is.
    noise_std : float, default 1.0
        Scale of the shocks.
    burn_in : int, default 100
        Warm-up values discarded.
    innovation, innovation_param
        Distribution of the shocks, as for :func:`random_walk`.
    seed : int, SeedSequence, Generator or None, default None
        Seed, mapped by :func:`tidemark.native_seed`.

    Returns
    -------
    numpy.ndarray
        ``length`` float64 values.

    Examples
    --------
    >>> from tidemark.statistical import sarima
    >>> sarima(100, full_ar_poly=[0.6], full_ma_poly=[0.3], d=1, seed=3).shape
    (100,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.sarima(length, as_float_array(full_ar_poly, "full_ar_poly"),
                          as_float_array(full_ma_poly, "full_ma_poly"), d, seasonal_d,
                          seasonal_period, mean, drift_val, noise_std, burn_in,
                          native_seed(seed), dist, param)


def ets(
    length: int,
    *,
    error_type: EtsError = "additive",
    trend_type: EtsComponent = "none",
    seasonal_type: EtsComponent = "none",
    seasonal_period: int = 12,
    level: float = 10.0,
    trend_init: float = 0.0,
    seasonal_init: npt.ArrayLike = (),
    alpha: float = 0.2,
    beta_param: float = 0.05,
    gamma: float = 0.1,
    phi: float = 0.98,
    damped: bool = False,
    noise_std: float = 1.0,
    innovation: Innovation = "normal",
    innovation_param: float | None = None,
    seed: SeedLike = None,
) -> FloatArray:
    """Exponential smoothing state-space (ETS) series.

    Parameters
    ----------
    length : int
        Number of values (at least 1).
    error_type : {"additive", "multiplicative"}, default "additive"
    trend_type, seasonal_type : {"none", "additive", "multiplicative"}, default "none"
    seasonal_period : int, default 12
        Number of seasonal states.
    level, trend_init : float, default 10.0 and 0.0
        Initial level and trend.
    seasonal_init : array_like, default ()
        Initial seasonal states (at least ``seasonal_period`` of them when given);
        empty means 0 (additive) or 1 (multiplicative).
    alpha, beta_param, gamma : float, default 0.2, 0.05, 0.1
        Smoothing weights of level, trend and season.
    phi : float, default 0.98
        Damping of the trend, used when ``damped``.
    damped : bool, default False
        Whether the trend is damped.
    noise_std : float, default 1.0
        Scale of the errors.
    innovation, innovation_param
        Distribution of the errors, as for :func:`random_walk`.
    seed : int, SeedSequence, Generator or None, default None
        Seed, mapped by :func:`tidemark.native_seed`.

    Returns
    -------
    numpy.ndarray
        ``length`` float64 values.

    Examples
    --------
    >>> from tidemark.statistical import ets
    >>> ets(60, trend_type="additive", seasonal_type="additive", seed=5).shape
    (60,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.ets(length, code("error_type", ETS_ERROR, error_type),
                       code("trend_type", ETS_COMPONENT, trend_type),
                       code("seasonal_type", ETS_COMPONENT, seasonal_type), seasonal_period,
                       level, trend_init, as_float_array(seasonal_init, "seasonal_init"),
                       alpha, beta_param, gamma, phi, damped, noise_std, native_seed(seed),
                       dist, param)


def inar(
    length: int,
    *,
    alpha_arr: npt.ArrayLike = (0.5,),
    p: int | None = None,
    innov_type: InarArrivals = "poisson",
    innov_mean: float = 2.0,
    innov_dispersion: float = 1.0,
    seed: SeedLike = None,
) -> FloatArray:
    """Integer-valued autoregressive INAR(p) counts.

    Parameters
    ----------
    length : int
        Number of values (at least 1).
    alpha_arr : array_like, default (0.5,)
        Thinning probabilities alpha_1 ... alpha_p, lag 1 first.
    p : int, optional
        Autoregressive order; defaults to ``len(alpha_arr)``.
    innov_type : {"poisson", "negative_binomial"}, default "poisson"
        Distribution of the arrivals.
    innov_mean : float, default 2.0
        Mean of the arrivals.
    innov_dispersion : float, default 1.0
        Gamma shape of negative-binomial arrivals; unused for Poisson.
    seed : int, SeedSequence, Generator or None, default None
        Seed, mapped by :func:`tidemark.native_seed`.

    Returns
    -------
    numpy.ndarray
        ``length`` counts as float64.

    Examples
    --------
    >>> from tidemark.statistical import inar
    >>> inar(30, alpha_arr=[0.4, 0.2], seed=9).shape
    (30,)
    """
    alpha = as_float_array(alpha_arr, "alpha_arr")
    order = alpha.size if p is None else p
    return _native.inar(length, order, alpha, code("innov_type", INAR_ARRIVALS, innov_type),
                        innov_mean, innov_dispersion, native_seed(seed))
