"""Statistical generators against NumPy and statsmodels equivalents."""

from functools import cache

import numpy as np

from tidemark._lib import statistical as st

from harness import Case

SEED = 20240601
N_WALK = 1_000_000
N_LONG = 100_000

# --- random walk ----------------------------------------------------------


def _walk(innov_dist, innov_param):
    return lambda: st.random_walk(N_WALK, 0.0, 1.0, 0.0, SEED, innov_dist, innov_param)


def _rng():
    return np.random.default_rng(SEED)


# --- SARIMA: (1 - 0.5B - 0.2B^2)(1 - 0.3B^12) y'_t = (1 + 0.4B) w_t, d = 1 --

PHI = (0.5, 0.2)
SPHI = 0.3
THETA = 0.4
PERIOD = 12


@cache
def _ar_lag_poly():
    """The expanded AR lag polynomial 1 - c1 B - ... - c14 B^14."""
    seasonal = np.zeros(PERIOD + 1)
    seasonal[0], seasonal[PERIOD] = 1.0, -SPHI
    return np.convolve([1.0, -PHI[0], -PHI[1]], seasonal)


def _sarima_ours():
    ar = -_ar_lag_poly()[1:]  # y_t = sum c_i y_{t-i} + w_t
    ma = np.array([THETA])
    return st.sarima(N_LONG, ar, ma, 1, 0, PERIOD, 0.0, 0.0, 1.0, 0, SEED, 0, 0.0)


def _sarima_peer():
    from statsmodels.tsa.arima_process import arma_generate_sample

    rng = _rng()
    w = arma_generate_sample(_ar_lag_poly(), [1.0, THETA], N_LONG + 1,
                             scale=1.0, distrvs=rng.standard_normal)
    return np.cumsum(w)[1:]


# --- ETS(A, Ad, M), m = 12 ------------------------------------------------

ETS_LEVEL, ETS_TREND = 100.0, 0.1
ETS_ALPHA, ETS_BETA, ETS_GAMMA, ETS_PHI = 0.2, 0.05, 0.1, 0.9
ETS_SIGMA = 0.5


@cache
def _season():
    return 1.0 + 0.1 * np.sin(2.0 * np.pi * np.arange(PERIOD) / PERIOD)


def _ets_ours():
    return st.ets(N_LONG, 0, 1, 2, PERIOD, ETS_LEVEL, ETS_TREND, _season(),
                  ETS_ALPHA, ETS_BETA, ETS_GAMMA, ETS_PHI, True, ETS_SIGMA,
                  SEED, 0, 0.0)


@cache
def _ets_results():
    """statsmodels' results object for fixed parameters (no fitting)."""
    from statsmodels.tsa.exponential_smoothing.ets import ETSModel

    t = np.arange(48)
    dummy = (ETS_LEVEL + ETS_TREND * t) * _season()[t % PERIOD]
    model = ETSModel(dummy, error="add", trend="add", damped_trend=True,
                     seasonal="mul", seasonal_periods=PERIOD)
    params = np.r_[ETS_ALPHA, ETS_BETA, ETS_GAMMA, ETS_PHI, ETS_LEVEL,
                   ETS_TREND, _season()]
    return model.smooth(params)


def _ets_peer():
    import scipy.stats

    return _ets_results().simulate(N_LONG, anchor="start", repetitions=1,
                                   random_errors=scipy.stats.norm(scale=ETS_SIGMA),
                                   rng=np.random.default_rng(SEED))


# --- INAR(2), Poisson arrivals --------------------------------------------

INAR_ALPHA = (0.3, 0.2)
INAR_MU = 2.0
INAR_WARMUP = 100


def _inar_ours():
    return st.inar(N_LONG, 2, np.array(INAR_ALPHA), 0, INAR_MU, 0.0, SEED)


def _inar_peer():
    rng = _rng()
    binomial, poisson = rng.binomial, rng.poisson
    p = len(INAR_ALPHA)
    total = N_LONG + INAR_WARMUP
    x = [int(INAR_MU / (1.0 - sum(INAR_ALPHA)))] * total
    for t in range(p, total):
        survivors = 0
        for j, a in enumerate(INAR_ALPHA, start=1):
            c = x[t - j]
            if c > 0:
                survivors += int(binomial(c, a))
        x[t] = survivors + int(poisson(INAR_MU))
    return np.array(x[INAR_WARMUP:], dtype=np.float64)


CASES = [
    Case("random_walk normal 1e6", _walk(0, 0.0),
         lambda: _rng().standard_normal(N_WALK).cumsum(), target="≤ 0.8"),
    Case("random_walk student-t(5) 1e6", _walk(1, 5.0),
         lambda: _rng().standard_t(5, N_WALK).cumsum()),
    Case("random_walk laplace 1e6", _walk(2, 0.0),
         lambda: _rng().laplace(size=N_WALK).cumsum()),
    Case("sarima (2,1,1)x(1,0,0)_12 1e5", _sarima_ours, _sarima_peer,
         target="≤ 0.5", requires=("statsmodels",)),
    Case("ets A,Ad,M m=12 1e5", _ets_ours, _ets_peer,
         requires=("statsmodels", "scipy"), max_repeats=2),
    Case("inar(2) poisson 1e5", _inar_ours, _inar_peer, max_repeats=3),
]
