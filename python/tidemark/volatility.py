"""Stochastic volatility and regime switching.

Keyword-argument wrappers over :mod:`tidemark._lib.volatility`; shared
parameters as in :mod:`tidemark.stochastic`.
"""

from __future__ import annotations

import numpy.typing as npt

from tidemark._codes import (
    VOLATILITY_MODEL, VOLATILITY_OUTPUT, Innovation, VolatilityModel, VolatilityOutput, code,
    innovation_spec)
from tidemark._convert import FloatArray, SeedLike, as_flat_matrix, as_float_array, native_seed
from tidemark._lib import volatility as _native

__all__ = ["stochastic_volatility", "regime_switching"]


def stochastic_volatility(
    length: int, *, model_type: VolatilityModel = "heston", initial_price: float = 100.0,
    initial_vol: float = 0.04, drift: float = 0.05, mean_vol: float = 0.04,
    vol_mean_reversion: float = 2.0, vol_of_vol: float = 0.3, correlation: float = -0.7,
    beta_param: float = 0.5, dt: float = 1.0 / 252.0,
    output_type: VolatilityOutput = "prices", innovation: Innovation = "normal",
    innovation_param: float | None = None, seed: SeedLike = None,
) -> FloatArray:
    """Price path under a stochastic-volatility model (Heston or SABR type).

    Parameters
    ----------
    model_type : {"heston", "sabr", "sabr_from_variance"}, default "heston"
        ``"sabr"`` starts at volatility ``initial_vol``; ``"sabr_from_variance"``
        takes ``initial_vol`` as a variance and starts at its square root.
    initial_price : float, default 100.0
    initial_vol : float, default 0.04
        Initial variance (Heston) or volatility (SABR).
    drift, mean_vol, vol_mean_reversion : float, default 0.05, 0.04, 2.0
        Heston drift, long-run variance and reversion speed.
    vol_of_vol : float, default 0.3
    correlation : float, default -0.7
        Correlation of the price and volatility shocks.
    beta_param : float, default 0.5
        SABR elasticity.
    dt : float, default 1/252
    output_type : {"prices", "log_returns", "volatility"}, default "prices"

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.volatility import stochastic_volatility
    >>> stochastic_volatility(252, output_type="log_returns", seed=1).shape
    (252,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    return _native.stochastic_volatility(
        length, code("model_type", VOLATILITY_MODEL, model_type), initial_price, initial_vol,
        drift, mean_vol, vol_mean_reversion, vol_of_vol, correlation, beta_param, dt,
        code("output_type", VOLATILITY_OUTPUT, output_type), native_seed(seed), dist, param)


def regime_switching(
    length: int, *, regime_means: npt.ArrayLike = (0.0, 3.0),
    regime_variances: npt.ArrayLike = (1.0, 0.5), regime_ar_coeffs: npt.ArrayLike = (0.5, 0.3),
    transition_matrix: npt.ArrayLike = ((0.95, 0.05), (0.1, 0.9)),
    stationary_probs: npt.ArrayLike = (0.5, 0.5), n_regimes: int | None = None,
    initial_regime: int = 0, innovation: Innovation = "normal",
    innovation_param: float | None = None, seed: SeedLike = None,
) -> FloatArray:
    """Markov-switching AR(1) series.

    Parameters
    ----------
    regime_means, regime_variances, regime_ar_coeffs : array_like
        One value per regime.
    transition_matrix : array_like
        ``n_regimes`` x ``n_regimes`` transition probabilities (row: from, column:
        to), as a matrix or flattened row by row.
    stationary_probs : array_like
        Probabilities of the starting regime.
    n_regimes : int, optional
        Defaults to ``len(regime_means)``.
    initial_regime : int, default 0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.volatility import regime_switching
    >>> regime_switching(100, seed=2).shape
    (100,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    means = as_float_array(regime_means, "regime_means")
    return _native.regime_switching(
        length, means.size if n_regimes is None else n_regimes, means,
        as_float_array(regime_variances, "regime_variances"),
        as_float_array(regime_ar_coeffs, "regime_ar_coeffs"),
        as_flat_matrix(transition_matrix, "transition_matrix"),
        as_float_array(stationary_probs, "stationary_probs"), initial_regime,
        native_seed(seed), dist, param)
