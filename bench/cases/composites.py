"""Composite generators (batch codes 28 TSI, 29 TCM, 30 MAR): series per
second with one and two workers, and MAR against a NumPy + SciPy version."""

from functools import cache

import numpy as np

from tidemark._lib import batch

from harness import Case, Measure, Row, best_of, format_seconds

LENGTH = 512
N_SERIES = {"tsi": 100_000, "tcm": 10_000, "mar": 100_000}  # TCM is ~20x slower per series

MAR = [3, 3, 12, 1.0, 0.5, 0.1, 1.0, 100, 1, 0, 0, 0.0]
CODES = {
    "tsi": (28, [0.5, 5.0, 0.5, 3.0, 1, 4, -1.0, 1.0, 0, 2, 0.2, 2.0, 0.3, 0.5, 0.05, 0.5,
                 0.2, 0.9, 3.0, 10.0, 0.3, 0.5, 5.0],
            [[0, 1, 2, 3, 4, 5], [7, 12, 24, 52], [0, 1, 2, 3, 4]]),
    "tcm": (29, [2, 5, 1, 3, 0.1, 0.4, 0.1, 0.8, 1.0, 5.0, 0.5, 1.5, 0.3],
            [[0, 1, 2, 3, 4], [0, 1, 2]]),
    "mar": (30, MAR, []),
}


@cache
def _inputs(n):
    return (np.full(n, LENGTH, dtype=np.int32), np.arange(1, n + 1, dtype=np.uint64),
            np.zeros(3 * n, dtype=np.uint64))


def run(name, n_workers, n=None):
    code, scalars, arrays = CODES[name]
    lengths, gen_seeds, pi_seeds = _inputs(n or N_SERIES[name])
    return batch.generate_batch(code, np.array(scalars, dtype=np.float64),
                                [np.array(a, dtype=np.float64) for a in arrays],
                                lengths, gen_seeds, pi_seeds, {}, n_workers)


def _scaling(name):
    def measure(repeats):
        n = N_SERIES[name]
        one, two = best_of([lambda: run(name, 1), lambda: run(name, 2)], repeats, 1)
        return Row("", ours=format_seconds(two), peer=format_seconds(one), figure=one / two,
                   figure_suffix="×",
                   note=f"{n / one:,.0f} series/s on 1 worker, {n / two:,.0f} on 2")
    return measure


# --- MAR the way a NumPy user would write it --------------------------------
# Each component's AR recursion is one scipy.signal.lfilter pass over its own
# shocks, and the mixture picks, step by step, the component drawn for that
# step.  lfilter cannot switch filters mid-series, so the components run as
# independent paths: cheaper than the true switching recursion, which needs a
# Python loop.  The ratio therefore flatters the peer.

N_PEER = 2_000


def _pacf_to_ar(r):
    phi = np.empty(0)
    for ri in r:
        phi = np.append(phi - ri * phi[::-1], ri)
    return phi


def _mar_numpy(seed, n=LENGTH, params=MAR):
    from scipy.signal import lfilter

    k_max, p_max, period, conc, spread, s_min, s_max, burn, standardise = params[:9]
    rng = np.random.default_rng(seed)
    k = int(rng.integers(1, k_max + 1))
    weights = rng.dirichlet(np.full(k, conc))
    polys = []
    for _ in range(k):
        phi = _pacf_to_ar(rng.uniform(-0.9, 0.9, int(rng.integers(1, p_max + 1))))
        poly = np.r_[1.0, -phi]
        if period >= 1 and rng.random() < 0.5:
            seasonal = np.zeros(int(period) + 1)
            seasonal[0], seasonal[-1] = 1.0, -rng.uniform(-0.9, 0.9)
            poly = np.polymul(poly, seasonal)
        polys.append(poly)
    mu = spread * rng.standard_normal(k)
    sigma = np.exp(rng.uniform(np.log(s_min), np.log(s_max), k))
    warm = max(len(p) for p in polys) - 1 + int(burn)
    total = n + warm
    pick = rng.choice(k, size=total, p=weights)
    paths = np.empty((k, total))
    for j, poly in enumerate(polys):
        paths[j] = lfilter([1.0], poly, mu[j] + sigma[j] * rng.standard_normal(total))
    x = paths[pick, np.arange(total)][warm:]
    if standardise:
        x = (x - x.mean()) / x.std()
    return x


def _mar_numpy_batch():
    return [_mar_numpy(seed) for seed in range(1, N_PEER + 1)]


CASES = [
    Measure(f"tsi {N_SERIES['tsi']:,} x {LENGTH}: 2 vs 1 workers", _scaling("tsi"),
            target="≥ 1.8"),
    Measure(f"tcm {N_SERIES['tcm']:,} x {LENGTH}: 2 vs 1 workers", _scaling("tcm"),
            target="≥ 1.8"),
    Measure(f"mar {N_SERIES['mar']:,} x {LENGTH}: 2 vs 1 workers", _scaling("mar"),
            target="≥ 1.8"),
    Case(f"mar {N_PEER:,} x {LENGTH}, 1 worker vs numpy+lfilter", lambda: run("mar", 1, N_PEER),
         _mar_numpy_batch, target="≤ 0.2", requires=("scipy",), per_item=(N_PEER, "series")),
]
