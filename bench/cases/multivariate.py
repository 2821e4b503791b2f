"""Multivariate generators against scikit-learn, the fbm package and
statsmodels: the routes a user would otherwise take for the same series."""

from functools import cache

import numpy as np

from tidemark._lib import multivariate as mv

from harness import Case

SEED = 20240601

# --- Gaussian process, squared-exponential kernel -------------------------

GP_N = 2000
GP_ELL = 25.0


def _gp_peer():
    from sklearn.gaussian_process import GaussianProcessRegressor
    from sklearn.gaussian_process.kernels import RBF

    grid = np.arange(GP_N, dtype=np.float64).reshape(-1, 1)
    model = GaussianProcessRegressor(kernel=RBF(length_scale=GP_ELL), optimizer=None)
    return model.sample_y(grid, 1, random_state=1)


# --- fractional Gaussian noise --------------------------------------------

HURST = 0.7


def _fbm_ours(n, method):
    return lambda: mv.fbm(n, HURST, 1.0, 0.0, False, method, SEED)


def _fbm_peer(n, method):
    def run():
        from fbm import FBM

        return FBM(n, HURST, length=1, method=method).fgn()
    return run


# --- VAR(2) of 3 variables ------------------------------------------------

VAR_N = 100_000
VAR_COEF = np.array([[[0.5, 0.1, 0.0], [-0.2, 0.3, 0.1], [0.0, 0.2, 0.4]],
                     [[0.1, 0.0, 0.05], [0.0, -0.1, 0.0], [0.05, 0.0, 0.1]]])
VAR_INTERCEPT = np.array([1.0, -1.0, 0.5])
VAR_SIGMA = np.array([[1.0, 0.3, 0.1], [0.3, 2.0, -0.4], [0.1, -0.4, 1.5]])


def _var_ours():
    return mv.var_process(VAR_N, 3, 2, VAR_COEF.ravel(), VAR_INTERCEPT, VAR_SIGMA.ravel(),
                          SEED, 0, 0.0)


@cache
def _var_process():
    from statsmodels.tsa.vector_ar.var_model import VARProcess

    return VARProcess(VAR_COEF, VAR_INTERCEPT, VAR_SIGMA)


def _var_peer():
    return _var_process().simulate_var(steps=VAR_N, rng=np.random.default_rng(SEED))[:, 0]


# --- Gaussian copula of 3 variables ---------------------------------------

COP_N = 100_000
COP_CORR = np.array([[1.0, 0.6, 0.3], [0.6, 1.0, 0.2], [0.3, 0.2, 1.0]])
GAMMA_SHAPE, GAMMA_SCALE = 2.0, 1.5


def _copula_ours(marginal, p1, p2):
    return lambda: mv.copula(COP_N, 3, 0, 0.0, COP_CORR.ravel(), marginal, p1, p2, SEED)


def _copula_peer(transform):
    def run():
        from statsmodels.distributions.copula.api import GaussianCopula

        u = GaussianCopula(COP_CORR, k_dim=3).rvs(COP_N, rng=np.random.default_rng(SEED))
        return transform(u[:, 0])
    return run


def _normal_marginal(u):
    import scipy.stats

    return scipy.stats.norm.ppf(u, loc=1.0, scale=2.0)


def _gamma_marginal(u):
    import scipy.stats

    return scipy.stats.gamma.ppf(u, GAMMA_SHAPE, scale=GAMMA_SCALE)


CASES = [
    Case("gaussian_process squared-exp n=2000", lambda: mv.gaussian_process(
        GP_N, 0, GP_ELL, 1.0, 1.0, 0.0, 0.0, SEED), _gp_peer,
         target="≤ 0.01", requires=("sklearn",), max_repeats=2),
    Case("fbm davies-harte n=4096", _fbm_ours(4096, 2), _fbm_peer(4096, "daviesharte"),
         target="≤ 0.1", requires=("fbm",)),
    Case("fbm hosking n=1024", _fbm_ours(1024, 1), _fbm_peer(1024, "hosking"),
         target="≤ 0.01", requires=("fbm",), max_repeats=3),
    Case("var_process K=3 p=2 n=1e5", _var_ours, _var_peer,
         target="≤ 0.05", requires=("statsmodels",), max_repeats=3),
    Case("copula gaussian K=3 normal n=1e5", _copula_ours(0, 1.0, 2.0),
         _copula_peer(_normal_marginal), target="≤ 0.2", requires=("statsmodels", "scipy")),
    Case("copula gaussian K=3 gamma n=1e5", _copula_ours(4, GAMMA_SHAPE, GAMMA_SCALE),
         _copula_peer(_gamma_marginal), target="≤ 0.7", requires=("statsmodels", "scipy")),
]
