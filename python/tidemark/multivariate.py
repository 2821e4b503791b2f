"""Multivariate generators: copula, VAR, state space, fractional Brownian
motion and Gaussian processes.

Keyword-argument wrappers over :mod:`tidemark._lib.multivariate`; ``length``,
``innovation``/``innovation_param`` and ``seed`` as in
:mod:`tidemark.stochastic`.  The vector models return their first component
as a float64 array of ``length`` values.  Matrix parameters take the matrix
itself (2-D) or its row-major flattening (1-D); dimensions left at ``None``
are read off the arrays.
"""

from __future__ import annotations

import math

import numpy.typing as npt

from tidemark._codes import (
    COPULA_TYPE, FBM_METHOD, GP_KERNEL, MARGINAL, CopulaType, FbmMethod, GpKernel, Innovation,
    Marginal, code, innovation_spec)
from tidemark._convert import (
    FloatArray, SeedLike, as_flat_matrix, as_float_array, native_seed)
from tidemark._lib import multivariate as _native

__all__ = ["copula", "var_process", "state_space", "fbm", "gaussian_process"]


def _side(flat: FloatArray) -> int:
    """The side of a square matrix given flat (0 when its size is not a square)."""
    side = math.isqrt(flat.size)
    return side if side * side == flat.size else 0


def copula(
    length: int, *, correlation_matrix: npt.ArrayLike = ((1.0, 0.5), (0.5, 1.0)),
    n_variables: int | None = None, copula_type: CopulaType = "gaussian", df: float = 5.0,
    marginal_distribution: Marginal = "normal", marginal_param1: float = 0.0,
    marginal_param2: float = 1.0, seed: SeedLike = None,
) -> FloatArray:
    """Draws from a Gaussian or Student t copula with a chosen marginal.

    Parameters
    ----------
    length : int
    correlation_matrix : array_like, default [[1, 0.5], [0.5, 1]]
        K x K correlation matrix.
    n_variables : int, optional
        K; defaults to the matrix's side.
    copula_type : {"gaussian", "student_t"}, default "gaussian"
    df : float, default 5.0
        Degrees of freedom of the t copula.
    marginal_distribution : {"normal", "lognormal", "exponential", "uniform", "gamma"}
        Default "normal".  Parameters: normal (mean, std), lognormal (log-scale,
        scale), exponential (scale, unused), uniform (low, width), gamma (shape, scale).
    marginal_param1, marginal_param2 : float, default 0.0 and 1.0
    seed : int, SeedSequence, Generator or None, default None

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.multivariate import copula
    >>> copula(100, copula_type="student_t", marginal_distribution="exponential",
    ...        marginal_param1=2.0, seed=1).shape
    (100,)
    """
    corr = as_flat_matrix(correlation_matrix, "correlation_matrix")
    return _native.copula(length, _side(corr) if n_variables is None else n_variables,
                          code("copula_type", COPULA_TYPE, copula_type), df, corr,
                          code("marginal_distribution", MARGINAL, marginal_distribution),
                          marginal_param1, marginal_param2, native_seed(seed))


def var_process(
    length: int, *, coef_matrices: npt.ArrayLike = ((0.5, 0.1), (0.0, 0.3)),
    intercept: npt.ArrayLike = (0.0, 0.0),
    innovation_cov: npt.ArrayLike = ((1.0, 0.0), (0.0, 1.0)), n_variables: int | None = None,
    order: int | None = None, innovation: Innovation = "normal",
    innovation_param: float | None = None, seed: SeedLike = None,
) -> FloatArray:
    """Vector autoregression VAR(p); returns the first variable.

    Parameters
    ----------
    length : int
    coef_matrices : array_like
        Lag matrices A_1 ... A_p: one K x K matrix, a (p, K, K) stack, or their
        row-major flattening (lag 1 first).
    intercept : array_like, default (0, 0)
        K entries.
    innovation_cov : array_like, default identity
        K x K innovation covariance.
    n_variables : int, optional
        K; defaults to ``len(intercept)``.
    order : int, optional
        p; defaults to the number of K x K blocks in ``coef_matrices``.
    innovation, innovation_param, seed
        As in :mod:`tidemark.stochastic`.

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.multivariate import var_process
    >>> var_process(200, seed=2).shape
    (200,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    coefs = as_flat_matrix(coef_matrices, "coef_matrices", max_ndim=3)
    mean = as_float_array(intercept, "intercept")
    k = mean.size if n_variables is None else n_variables
    p = (coefs.size // (k * k) if k > 0 else 0) if order is None else order
    return _native.var_process(length, k, p, coefs, mean,
                               as_flat_matrix(innovation_cov, "innovation_cov"),
                               native_seed(seed), dist, param)


def state_space(
    length: int, *, f_mat: npt.ArrayLike = ((1.0, 1.0), (0.0, 1.0)),
    h_mat: npt.ArrayLike = ((1.0, 0.0),), q_mat: npt.ArrayLike = ((0.1, 0.0), (0.0, 0.01)),
    r_mat: npt.ArrayLike = ((0.5,),), initial_state: npt.ArrayLike = (0.0, 0.0),
    initial_state_cov: npt.ArrayLike = ((1.0, 0.0), (0.0, 0.1)),
    state_dim: int | None = None, obs_dim: int | None = None,
    innovation: Innovation = "normal", innovation_param: float | None = None,
    seed: SeedLike = None,
) -> FloatArray:
    """Linear Gaussian state-space model; returns the first observation component.

    The defaults are a local linear trend observed with noise.

    Parameters
    ----------
    length : int
    f_mat : array_like
        S x S state transition.
    h_mat : array_like
        O x S observation matrix.
    q_mat : array_like
        S x S state noise covariance.
    r_mat : array_like
        O x O observation noise covariance.
    initial_state : array_like
        S entries, the initial state mean.
    initial_state_cov : array_like
        S x S initial state covariance.
    state_dim, obs_dim : int, optional
        S and O; default to ``len(initial_state)`` and the side of ``r_mat``.
    innovation, innovation_param, seed
        As in :mod:`tidemark.stochastic`.

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.multivariate import state_space
    >>> state_space(100, seed=3).shape
    (100,)
    """
    dist, param = innovation_spec(innovation, innovation_param)
    m0 = as_float_array(initial_state, "initial_state")
    r = as_flat_matrix(r_mat, "r_mat")
    return _native.state_space(
        length, m0.size if state_dim is None else state_dim,
        _side(r) if obs_dim is None else obs_dim, as_flat_matrix(f_mat, "f_mat"),
        as_flat_matrix(h_mat, "h_mat"), as_flat_matrix(q_mat, "q_mat"), r, m0,
        as_flat_matrix(initial_state_cov, "initial_state_cov"), native_seed(seed), dist, param)


def fbm(
    length: int, *, hurst: float = 0.7, sigma: float = 1.0, initial_value: float = 0.0,
    cumulative: bool = True, method: FbmMethod = "davies_harte", seed: SeedLike = None,
) -> FloatArray:
    """Fractional Brownian motion, or its increments (fractional Gaussian noise).

    Parameters
    ----------
    length : int
    hurst : float, default 0.7
        Hurst exponent in (0, 1).
    sigma : float, default 1.0
        Standard deviation of one increment.
    initial_value : float, default 0.0
    cumulative : bool, default True
        Return the path instead of the increments.
    method : {"dense", "hosking", "davies_harte"}, default "davies_harte"
        Dense covariance factor, Hosking's recursion, or circulant embedding.
    seed : int, SeedSequence, Generator or None, default None

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.multivariate import fbm
    >>> fbm(256, hurst=0.3, method="hosking", seed=4).shape
    (256,)
    """
    return _native.fbm(length, hurst, sigma, initial_value, cumulative,
                       code("method", FBM_METHOD, method), native_seed(seed))


def gaussian_process(
    length: int, *, kernel: GpKernel = "squared_exponential", length_scale: float = 10.0,
    amplitude: float = 1.0, period: float = 24.0, mean: float = 0.0,
    noise_variance: float = 0.01, seed: SeedLike = None,
) -> FloatArray:
    """A draw from a stationary Gaussian process on the steps 0 ... length - 1.

    Parameters
    ----------
    length : int
    kernel : {"squared_exponential", "exponential", "matern32", "matern52", "periodic"}
        Covariance kernel, default "squared_exponential".
    length_scale : float, default 10.0
    amplitude : float, default 1.0
        Standard deviation of the process.
    period : float, default 24.0
        Period of the periodic kernel.
    mean : float, default 0.0
    noise_variance : float, default 0.01
        White noise added to every value.
    seed : int, SeedSequence, Generator or None, default None

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.multivariate import gaussian_process
    >>> gaussian_process(64, kernel="periodic", seed=5).shape
    (64,)
    """
    return _native.gaussian_process(length, code("kernel", GP_KERNEL, kernel), length_scale,
                                    amplitude, period, mean, noise_variance, native_seed(seed))
