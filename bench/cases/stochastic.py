"""Stochastic generators against SciPy, NumPy and tick (or a Python Ogata loop)."""

import math

import numpy as np

from tidemark._lib import stochastic as sp

from harness import Case

SEED = 20240601

# --- Levy-stable increments, alpha 1.7, beta 0.5 -----------------------------

N_LEVY = 100_000
ALPHA, BETA = 1.7, 0.5


def _levy_ours():
    return sp.levy_process(N_LEVY, ALPHA, BETA, 1.0, 0.0, False, 0.0, SEED)


def _levy_scipy():
    from scipy.stats import levy_stable

    return levy_stable.rvs(ALPHA, BETA, size=N_LEVY, random_state=np.random.default_rng(SEED))


def _levy_numpy():
    """Chambers-Mallows-Stuck, vectorised, in the same parametrisation."""
    rng = np.random.default_rng(SEED)
    v = rng.uniform(-math.pi / 2, math.pi / 2, N_LEVY)
    w = rng.standard_exponential(N_LEVY)
    tan_theta = math.tan(math.pi * ALPHA / 2)
    b = math.atan(BETA * tan_theta) / ALPHA
    s = (1.0 + BETA * BETA * tan_theta * tan_theta) ** (1.0 / (2.0 * ALPHA))
    u = ALPHA * (v + b)
    return (s * np.sin(u) / np.cos(v) ** (1.0 / ALPHA)
            * (np.cos(v - u) / w) ** ((1.0 - ALPHA) / ALPHA))


# --- Hawkes, exponential kernel, T = 1e5 --------------------------------------

T_HAWKES = 100_000
MU, HAWKES_ALPHA, HAWKES_BETA = 0.5, 0.8, 1.2  # branching ratio 2/3: about 1.5 events per unit
HAWKES_EVENTS = round(T_HAWKES * MU / (1.0 - HAWKES_ALPHA / HAWKES_BETA))


def _hawkes_ours():
    return sp.hawkes_process(T_HAWKES, MU, HAWKES_ALPHA, HAWKES_BETA, 0, 0.0, 0, 2**31 - 1, SEED)


def _hawkes_tick():
    from tick.hawkes import SimuHawkesExpKernels

    sim = SimuHawkesExpKernels(adjacency=[[HAWKES_ALPHA / HAWKES_BETA]], decays=[[HAWKES_BETA]],
                               baseline=[MU], end_time=T_HAWKES, seed=SEED % 2**31,
                               verbose=False)
    sim.simulate()
    times = sim.timestamps[0]
    return np.bincount(times.astype(np.int64), minlength=T_HAWKES)[:T_HAWKES].astype(np.float64)


def _hawkes_python():
    """Ogata thinning with the recursive exponential state, in plain Python."""
    rng = np.random.default_rng(SEED)
    exp_draws = iter(rng.standard_exponential(8 * HAWKES_EVENTS))
    unif_draws = iter(rng.random(8 * HAWKES_EVENTS))
    exp, a, b, mu, end = math.exp, HAWKES_ALPHA, HAWKES_BETA, MU, float(T_HAWKES)
    t = t_last = s = 0.0
    lam = mu
    events = []
    while True:
        bound = max(lam, mu) * 1.01 + 1e-10
        t += next(exp_draws) / bound
        if t >= end:
            break
        lam = exp((t_last - t) * b) * (a * s) + mu
        if lam / bound >= next(unif_draws):
            s = s * exp((t_last - t) * b) + 1.0
            t_last = t
            lam = a * s + mu
            events.append(t)
    return np.bincount(np.array(events, dtype=np.int64), minlength=T_HAWKES).astype(np.float64)


def _hawkes_peer():
    try:
        import tick.hawkes  # noqa: F401
    except ImportError:
        return _hawkes_python()
    return _hawkes_tick()


# --- Lorenz, dt 0.01, 1000 samples after a 1000-unit transient ---------------

N_LORENZ = 1000
SIGMA, RHO, LBETA = 10.0, 28.0, 8.0 / 3.0


def _lorenz_ours():
    return sp.chaotic_system(N_LORENZ, 0, SIGMA, RHO, LBETA, 0.01, 4.0, 0.2, 0.1, 10.0, 17, 0.0,
                             0.1, SEED)


def _lorenz_scipy():
    from scipy.integrate import solve_ivp

    def f(_, v):
        x, y, z = v
        return (SIGMA * (y - x), x * (RHO - z) - y, x * y - LBETA * z)

    horizon = float(N_LORENZ + 1000)
    sol = solve_ivp(f, (0.0, horizon), [1.0, 1.0, 1.0], method="RK45", rtol=1e-6,
                    t_eval=np.arange(1001.0, horizon + 1.0))
    return sol.y[0]


def _hawkes_peer_name():
    try:
        import tick.hawkes  # noqa: F401
    except ImportError:
        return "python ogata"
    return "tick"


CASES = [
    Case("stochastic: levy_process a1.7 b0.5 1e5 vs scipy levy_stable", _levy_ours, _levy_scipy,
         target="≤ 0.5", requires=("scipy",)),
    Case("stochastic: levy_process a1.7 b0.5 1e5 vs numpy CMS", _levy_ours, _levy_numpy),
    Case(f"stochastic: hawkes_process exp T=1e5 vs {_hawkes_peer_name()}", _hawkes_ours, _hawkes_peer,
         target="≤ 0.5", per_item=(HAWKES_EVENTS, "events"), max_repeats=3),
    Case("stochastic: chaotic_system lorenz dt0.01 1000 vs solve_ivp RK45", _lorenz_ours, _lorenz_scipy,
         target="≤ 0.05", requires=("scipy",), max_repeats=3),
]
