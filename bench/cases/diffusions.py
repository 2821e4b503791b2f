"""Diffusions against the NumPy / SciPy forms a user would write."""

import math

import numpy as np

from tidemark._lib import stochastic as sto

from harness import Case

SEED = 20240601
N = 1_000_000

# Ornstein-Uhlenbeck, Euler step: x_i = (1 - theta dt) x_{i-1} + sigma sqrt(dt) eps_i
OU_THETA, OU_MU, OU_SIGMA, OU_DT = 0.5, 0.0, 1.0, 0.01

# Geometric Brownian motion, exact log-normal step
GBM_MU, GBM_SIGMA, GBM_X0, GBM_DT = 0.05, 0.2, 100.0, 1.0 / 252.0


def _rng():
    return np.random.default_rng(SEED)


def _ou_ours():
    return sto.ornstein_uhlenbeck(N, OU_THETA, OU_MU, OU_SIGMA, 0.0, OU_DT, SEED, 0, 0.0)


def _ou_peer():
    from scipy.signal import lfilter

    eps = _rng().standard_normal(N)
    return lfilter([OU_SIGMA * math.sqrt(OU_DT)], [1.0, -(1.0 - OU_THETA * OU_DT)], eps)


def _gbm_ours():
    return sto.geometric_brownian_motion(N, GBM_MU, GBM_SIGMA, GBM_X0, GBM_DT, SEED, 0, 0.0)


def _gbm_peer():
    a = (GBM_MU - 0.5 * GBM_SIGMA**2) * GBM_DT
    v = GBM_SIGMA * math.sqrt(GBM_DT)
    return GBM_X0 * np.exp(np.cumsum(a + v * _rng().standard_normal(N)))


CASES = [
    Case("stoch/ornstein_uhlenbeck 1e6 vs lfilter", _ou_ours, _ou_peer, target="≤ 0.6",
         requires=("scipy",)),
    Case("stoch/geometric_brownian_motion 1e6 vs numpy", _gbm_ours, _gbm_peer, target="≤ 0.6"),
]
