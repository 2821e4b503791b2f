"""Vectorised CDFs and quantile functions on 10^6 values against SciPy."""

from functools import cache

import numpy as np

from tidemark._lib import distributions as dist

from harness import Case

N = 1_000_000


@cache
def _x():
    return np.random.default_rng(1).standard_normal(N) * 2.0


@cache
def _u():
    return np.random.default_rng(2).random(N)


def _special():
    import scipy.special

    return scipy.special


def _stats():
    import scipy.stats

    return scipy.stats


CASES = [
    Case("norm_cdf 1e6", lambda: dist.norm_cdf(_x()),
         lambda: _special().ndtr(_x()), target="≤ 0.5", requires=("scipy",)),
    Case("norm_ppf 1e6", lambda: dist.norm_ppf(_u()),
         lambda: _special().ndtri(_u()), target="≤ 0.5", requires=("scipy",)),
    Case("t_cdf df=5 1e6", lambda: dist.t_cdf(_x(), 5.0),
         lambda: _stats().t.cdf(_x(), 5.0), requires=("scipy",)),
    Case("gamma_ppf a=2.5 1e6", lambda: dist.gamma_ppf(_u(), 2.5, 1.0),
         lambda: _stats().gamma.ppf(_u(), 2.5, scale=1.0), requires=("scipy",)),
]
