"""Distribution functions on arrays: normal, Student t, gamma, exponential,
lognormal and uniform.

Wrappers over :mod:`tidemark._lib.distributions`: the input may be any
one-dimensional array-like (converted to float64); the result is a new float64
array of the same length.
"""

from __future__ import annotations

import numpy.typing as npt

from tidemark._convert import FloatArray, as_float_array
from tidemark._lib import distributions as _native

__all__ = ["norm_cdf", "norm_ppf", "t_cdf", "gamma_ppf", "expon_ppf", "lognorm_ppf",
           "uniform_ppf"]


def norm_cdf(x: npt.ArrayLike) -> FloatArray:
    """Standard normal CDF.

    Parameters
    ----------
    x : array_like
        One-dimensional values.

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.distributions import norm_cdf
    >>> [round(v, 4) for v in norm_cdf([-1.0, 0.0]).tolist()]
    [0.1587, 0.5]
    """
    return _native.norm_cdf(as_float_array(x, "x"))


def norm_ppf(p: npt.ArrayLike) -> FloatArray:
    """Standard normal quantile function.

    Parameters
    ----------
    p : array_like
        Probabilities.

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.distributions import norm_ppf
    >>> float(norm_ppf([0.5])[0])
    0.0
    """
    return _native.norm_ppf(as_float_array(p, "p"))


def t_cdf(x: npt.ArrayLike, df: float) -> FloatArray:
    """Student t CDF with ``df`` degrees of freedom.

    Parameters
    ----------
    x : array_like
    df : float

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.distributions import t_cdf
    >>> float(t_cdf([0.0], 3.0)[0])
    0.5
    """
    return _native.t_cdf(as_float_array(x, "x"), df)


def gamma_ppf(u: npt.ArrayLike, a: float, scale: float = 1.0) -> FloatArray:
    """Gamma quantile function with shape ``a`` and ``scale``.

    Parameters
    ----------
    u : array_like
        Probabilities.
    a : float
    scale : float, default 1.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.distributions import gamma_ppf
    >>> gamma_ppf([0.1, 0.9], 2.0).shape
    (2,)
    """
    return _native.gamma_ppf(as_float_array(u, "u"), a, scale)


def expon_ppf(u: npt.ArrayLike, scale: float = 1.0) -> FloatArray:
    """Exponential quantile function with ``scale`` (the mean).

    Parameters
    ----------
    u : array_like
    scale : float, default 1.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.distributions import expon_ppf
    >>> round(float(expon_ppf([0.5], 2.0)[0]), 6)
    1.386294
    """
    return _native.expon_ppf(as_float_array(u, "u"), scale)


def lognorm_ppf(u: npt.ArrayLike, s: float, scale: float = 1.0) -> FloatArray:
    """Lognormal quantile function with log-scale ``s`` and ``scale`` (the median).

    Parameters
    ----------
    u : array_like
    s : float
    scale : float, default 1.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.distributions import lognorm_ppf
    >>> float(lognorm_ppf([0.5], 0.5)[0])
    1.0
    """
    return _native.lognorm_ppf(as_float_array(u, "u"), s, scale)


def uniform_ppf(u: npt.ArrayLike, loc: float = 0.0, scale: float = 1.0) -> FloatArray:
    """Uniform quantile function on ``[loc, loc + scale]``.

    Parameters
    ----------
    u : array_like
    loc : float, default 0.0
    scale : float, default 1.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.distributions import uniform_ppf
    >>> float(uniform_ppf([0.5], 1.0, 2.0)[0])
    2.0
    """
    return _native.uniform_ppf(as_float_array(u, "u"), loc, scale)
