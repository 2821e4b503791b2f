"""GARCH, stochastic volatility and regime switching against arch and
NumPy-driven Python loops of the same recursions."""

import math
from functools import cache

import numpy as np

from tidemark._lib import stochastic as sto
from tidemark._lib import volatility as vol

from harness import Case

SEED = 20240601

# --- GARCH(1,1) with standardised Student t shocks ------------------------
# Our garch counts p lagged variances (beta) and q squared shocks (alpha);
# arch's GARCH(p, o, q) counts p squared shocks and q lagged variances.
N_GARCH = 100_000
OMEGA, ALPHA, BETA, NU = 0.1, 0.1, 0.8, 8.0  # unconditional variance 1


def _garch_ours():
    return sto.garch(N_GARCH, 1, 1, OMEGA, np.array([ALPHA]), np.array([BETA]), 0.0, 1.0,
                     SEED, 1, NU)


def _garch_arch():
    from arch.univariate import GARCH, ConstantMean, StudentsT

    ours_p, ours_q = 1, 1
    model = ConstantMean(None, volatility=GARCH(p=ours_q, o=0, q=ours_p),
                         distribution=StudentsT(seed=np.random.default_rng(SEED)))
    return model.simulate([0.0, OMEGA, ALPHA, BETA, NU], N_GARCH, burn=100)["data"].to_numpy()


@cache
def _check_same_model():
    """Both simulate one model: their sample variances agree within 5 %."""
    ours, peer = np.var(_garch_ours()), np.var(_garch_arch())
    if abs(ours / peer - 1.0) > 0.05:
        raise AssertionError(f"sample variances differ: ours {ours:.4f}, arch {peer:.4f}")
    return True


def _garch_peer():
    _check_same_model()
    return _garch_arch()


# --- Heston stochastic volatility -----------------------------------------
N_SV = 100_000
S0, V0, MU, THETA, KAPPA, XI, RHO, DT = 100.0, 0.04, 0.05, 0.04, 2.0, 0.3, -0.7, 1.0 / 252.0


def _heston_ours():
    return vol.stochastic_volatility(N_SV, 0, S0, V0, MU, THETA, KAPPA, XI, RHO, 0.5, DT, 0, SEED,
                                     0, 0.0)


def _heston_peer():
    z = np.random.default_rng(SEED).standard_normal((N_SV - 1, 2)).tolist()
    sq_dt, rho_bar = math.sqrt(DT), math.sqrt(1.0 - RHO * RHO)
    s, v = S0, V0
    out = [s]
    for z1, z2 in z:
        dw1 = z1 * sq_dt
        dw2 = (z2 * rho_bar + RHO * z1) * sq_dt
        vp = v if v > 0.0 else 0.0
        vol_now = math.sqrt(vp)
        s, v = (s + (s * vol_now * dw1 + MU * s * DT),
                v + (vol_now * XI * dw2 + (THETA - vp) * KAPPA * DT))
        out.append(s)
    return np.array(out)


# --- Markov-switching AR(1), 3 regimes --------------------------------------
N_RS = 1_000_000
RS_MEANS = [0.0, 2.0, -1.0]
RS_VARS = [1.0, 0.25, 2.0]
RS_PHIS = [0.5, 0.8, 0.2]
RS_P = [0.95, 0.03, 0.02, 0.05, 0.9, 0.05, 0.1, 0.1, 0.8]


def _regime_ours():
    return vol.regime_switching(N_RS, 3, np.array(RS_MEANS), np.array(RS_VARS),
                                np.array(RS_PHIS), np.array(RS_P), np.array([1 / 3] * 3), 0,
                                SEED, 0, 0.0)


def _regime_peer():
    rng = np.random.default_rng(SEED)
    u = rng.random(N_RS).tolist()
    z = rng.standard_normal(N_RS).tolist()
    rows = [RS_P[3 * i:3 * i + 3] for i in range(3)]
    sd = [math.sqrt(v) for v in RS_VARS]
    r = 0
    x = RS_MEANS[r] + sd[r] * z[0]
    out = [x]
    for t in range(1, N_RS):
        row, ut, c, nxt = rows[r], u[t], 0.0, 2
        for j in range(3):
            c += row[j]
            if c >= ut:
                nxt = j
                break
        r = nxt
        m = RS_MEANS[r]
        x = (x - m) * RS_PHIS[r] + m + z[t] * sd[r]
        out.append(x)
    return np.array(out)


CASES = [
    Case("stoch/garch(1,1) student-t 1e5 vs arch", _garch_ours, _garch_peer, target="≤ 0.02",
         requires=("arch",), max_repeats=3),
    Case("stoch/stochastic_volatility heston 1e5 vs numpy loop", _heston_ours, _heston_peer,
         max_repeats=3),
    Case("stoch/regime_switching 3 regimes 1e6 vs numpy loop", _regime_ours, _regime_peer,
         max_repeats=2),
]
