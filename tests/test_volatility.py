import math

import numpy as np
import pytest

from conftest import internal_failure_type
from tidemark._lib.batch import generate_batch
from tidemark._lib.stochastic import cyclic
from tidemark._lib.volatility import regime_switching, stochastic_volatility


def shocks(n, seed, dist=0, param=0.0):
    """The first n unit-scale shocks of a seed's stream (a flat cyclic series
    without cycles is exactly its noise)."""
    return cyclic(n, 0.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0, 1.0, seed, dist, param)


def arr(values):
    return np.array(values, dtype=np.float64)


def batch(code, scalars, arrays, lengths, seeds, n_workers=0):
    n = len(lengths)
    return generate_batch(code, arr(scalars), [arr(a) for a in arrays],
                          np.array(lengths, dtype=np.int32), np.array(seeds, dtype=np.uint64),
                          np.arange(3 * n, dtype=np.uint64), {}, n_workers)


HESTON = dict(price=100.0, vol=0.04, drift=0.05, theta=0.05, kappa=2.0, xi=0.4, rho=-0.7,
              beta=0.5, dt=1 / 252)


def sv(n=300, model=0, output=0, seed=1, dist=0, param=0.0, **kw):
    p = {**HESTON, **kw}
    return stochastic_volatility(n, model, p["price"], p["vol"], p["drift"], p["theta"],
                                 p["kappa"], p["xi"], p["rho"], p["beta"], p["dt"], output, seed,
                                 dist, param)


def sv_reference(n, model, output, z, price, vol, drift, theta, kappa, xi, rho, beta, dt):
    s = [price]
    v = [math.sqrt(vol) if model == 1 else vol]
    sqdt, rho_bar = math.sqrt(dt), math.sqrt(1.0 - rho * rho)
    for i in range(1, n):
        z1, z2 = z[2 * i - 2], z[2 * i - 1]
        dw1, dw2 = z1 * sqdt, (z2 * rho_bar + rho * z1) * sqdt
        S, V = s[-1], v[-1]
        if model == 0:
            vp = max(V, 0.0)
            s.append(S + ((S * math.sqrt(vp)) * dw1 + (drift * S) * dt))
            v.append(V + ((math.sqrt(vp) * xi) * dw2 + ((theta - vp) * kappa) * dt))
        else:
            sf, f = max(V, 1e-10), max(abs(S), 1e-10)
            s.append(S + (f ** beta * sf) * dw1)
            v.append(V + (sf * xi) * dw2)
    if output == 0:
        return s
    if output == 1:
        return [0.0] + [math.log(b / a) if a > 0 and b > 0 else 0.0 for a, b in zip(s, s[1:])]
    return [math.sqrt(max(x, 0.0)) for x in v] if model == 0 else v


@pytest.mark.parametrize("model", [0, 1, 2])
@pytest.mark.parametrize("output", [0, 1, 2])
def test_stochastic_volatility_follows_its_recursion_bit_for_bit(model, output):
    n, seed = 600, 13
    z = shocks(2 * (n - 1), seed, 1, 6.0).tolist()
    # a large vol of vol drives the Heston variance below 0 now and then
    params = {**HESTON, "xi": 1.5, "vol": 0.25 if model else 0.04}
    expected = sv_reference(n, model, output, z, *params.values())
    assert sv(n, model, output, seed, 1, 6.0, **params).tolist() == expected


def test_length_one():
    assert sv(1, 0, 0).tolist() == [100.0]
    assert sv(1, 0, 1).tolist() == [0.0]
    assert sv(1, 0, 2, vol=0.25).tolist() == [0.5]
    assert sv(1, 0, 2, vol=-0.25).tolist() == [0.0]
    assert sv(1, 1, 5, vol=0.25).tolist() == [0.5]
    assert sv(1, 7, 5, vol=-0.25).tolist() == [-0.25]


def test_heston_without_vol_of_vol_keeps_the_variance():
    out = sv(500, 0, 2, vol=0.09, theta=0.09, xi=0.0)
    assert (out == 0.3).all()


def test_sabr_start_differs_only_by_the_square_root():
    for output in (0, 1, 2):
        assert sv(400, 1, output, vol=0.25).tobytes() == sv(400, 2, output, vol=0.5).tobytes()


def test_log_returns_are_zero_where_prices_are_not_positive():
    # SABR with a large vol drives prices through zero
    prices = sv(2000, 2, 0, price=1.0, vol=2.0, beta=0.0, xi=0.0, seed=3)
    returns = sv(2000, 2, 1, price=1.0, vol=2.0, beta=0.0, xi=0.0, seed=3)
    assert (prices <= 0).any() and (prices > 0).any()
    bad = np.r_[True, (prices[1:] <= 0) | (prices[:-1] <= 0)]
    assert (returns[bad] == 0.0).all()
    good = ~bad
    ratio = prices[1:][good[1:]] / prices[:-1][good[1:]]
    assert np.allclose(returns[good], np.log(ratio))


@pytest.mark.parametrize("model", [0, 2])
def test_correlation_beyond_one_gives_nan_paths(model):
    # the first step still uses the finite starting volatility
    out = sv(50, model, 0, rho=1.5)
    assert out[0] == 100.0 and np.isfinite(out[1]) and np.isnan(out[2:]).all()
    vol = sv(50, model, 2, rho=1.5)
    if model == 0:  # a NaN variance is reported as volatility 0
        assert (vol[1:] == 0.0).all()
    else:
        assert np.isnan(vol[1:]).all()


# --- regime switching -------------------------------------------------------

def test_signatures_and_regime_switching_doc():
    import inspect

    assert list(inspect.signature(regime_switching).parameters) == [
        "length", "n_regimes", "regime_means", "regime_variances", "regime_ar_coeffs",
        "transition_matrix", "stationary_probs", "initial_regime", "seed", "innov_dist",
        "innov_param"]
    assert regime_switching.__doc__ == (
        "`initial_regime < 0` draws the starting regime from `stationary_probs`\n"
        "(which must then have at least `n_regimes` entries).")
    params = inspect.signature(stochastic_volatility).parameters
    assert len(params) == 15 and all(p.default is p.empty for p in params.values())


MEANS, VARS, PHIS = arr([0.0, 5.0, -3.0]), arr([1.0, 0.5, 2.0]), arr([0.5, 0.2, -0.3])
P3 = arr([0.9, 0.05, 0.05, 0.1, 0.8, 0.1, 0.2, 0.2, 0.6])
PI3 = arr([0.2, 0.3, 0.5])


def rs(n=300, k=3, means=MEANS, variances=VARS, phis=PHIS, trans=P3, pi=PI3, start=0, seed=1,
       dist=0, param=0.0):
    return regime_switching(n, k, means, variances, phis, trans, pi, start, seed, dist, param)


def test_regime_switching_same_seed_same_bits():
    a, b, c = rs(seed=4, start=-1), rs(seed=4, start=-1), rs(seed=5, start=-1)
    assert a.tobytes() == b.tobytes() and a.tobytes() != c.tobytes()
    assert a.size == 300 and a.dtype == np.float64


def test_deterministic_chain_visits_regimes_in_order():
    # rows that move 0 -> 1 -> 2 -> 0 with probability one, no noise, phi 0
    cycle = arr([0, 1, 0, 0, 0, 1, 1, 0, 0])
    out = rs(9, means=arr([1.0, 2.0, 3.0]), variances=arr([0, 0, 0]), phis=arr([0, 0, 0]),
             trans=cycle, start=1)
    assert out.tolist() == [2.0, 3.0, 1.0] * 3
    # an all-zero row sends the chain to the last regime
    out = rs(5, means=arr([1.0, 2.0, 3.0]), variances=arr([0, 0, 0]), phis=arr([0, 0, 0]),
             trans=arr([0] * 9), start=0)
    assert out.tolist() == [1.0, 3.0, 3.0, 3.0, 3.0]


def test_stationary_draw_picks_the_start_and_costs_one_uniform():
    flat = dict(means=arr([1.0, 2.0, 3.0]), variances=arr([0, 0, 0]), phis=arr([0, 0, 0]))
    assert rs(1, pi=arr([0.0, 0.0, 1.0]), start=-1, **flat).tolist() == [3.0]
    assert rs(1, pi=arr([0.0, 0.0, 0.0, 1.0]), start=-1, **flat).tolist() == [3.0]
    # With uniform shocks every draw is one word: the stationary draw shifts
    # the shock stream by one word against an explicit start.
    one = dict(k=1, means=arr([0.0]), variances=arr([1.0]), phis=arr([0.0]), trans=arr([1.0]),
               pi=arr([1.0]), dist=3)
    explicit, drawn = rs(400, start=0, **one), rs(400, start=-1, **one)
    z = shocks(801, 1, 3)
    assert explicit.tolist() == [0.0 + zt for zt in z[0::2].tolist()][:400]
    assert drawn.tolist() == [0.0 + zt for zt in z[1::2].tolist()][:400]


def test_one_regime_without_memory_is_scaled_noise():
    out = rs(500, k=1, means=arr([2.0]), variances=arr([4.0]), phis=arr([0.0]), trans=arr([1.0]),
             seed=9)
    assert out[0] != out[1]
    assert abs(out.mean() - 2.0) < 0.3 and abs(out.std() - 2.0) < 0.3


@pytest.mark.parametrize("kw, message", [
    (dict(n=0), "length must be > 0"),
    (dict(k=0), "n_regimes must be > 0"),
    (dict(k=-2), "n_regimes must be > 0"),
    (dict(pi=arr([0.5, 0.5]), start=-1), "stationary_probs must have n_regimes entries when "
                                          "initial_regime < 0"),
])
def test_regime_switching_validations(kw, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        rs(**kw)
    # a short stationary_probs is fine when the start is given
    assert rs(pi=arr([]), start=2).size == 300


@pytest.mark.parametrize("kw", [
    dict(start=3),                                 # start past every array
    dict(start=2, means=MEANS[:2]),                # start past the means
    dict(start=2, variances=VARS[:2]),             # start past the variances
    dict(start=0, phis=PHIS[:1]),                  # a reached regime has no AR coefficient
    dict(start=2, trans=P3[:8]),                   # the start's row is incomplete
    dict(start=0, k=4, trans=P3),                  # rows of 4 entries: reaches regime 3
])
def test_unreachable_regime_entries_raise_internal_failure(kw):
    with pytest.raises(internal_failure_type()) as info:
        rs(**kw)
    assert str(info.value).startswith("regime_switching:")


def test_only_reached_regimes_need_entries():
    # a chain that stays in regime 0 needs neither row 1 nor regime 1's entries
    out = rs(100, k=2, means=arr([1.0]), variances=arr([1.0]), phis=arr([0.5]),
             trans=arr([1.0, 0.0]), start=0)
    assert np.isfinite(out).all()


SV_SLOTS = [0, 100.0, 0.04, 0.05, 0.05, 2.0, 0.4, -0.7, 0.5, 1 / 252, 2, 1, 6.0]
RS_SLOTS = [3.7, -1, 4, 2.0]
RS_ARRAYS = [MEANS, VARS, PHIS, P3, PI3]


@pytest.mark.parametrize("code, scalars, arrays, direct", [
    (15, SV_SLOTS, [], lambda n, s: sv(n, 0, 2, s, 1, 6.0)),
    (15, [2.5] + SV_SLOTS[1:10] + [1.2] + SV_SLOTS[11:], [], lambda n, s: sv(n, 2, 1, s, 1, 6.0)),
    (16, RS_SLOTS, RS_ARRAYS, lambda n, s: rs(n, start=-1, seed=s, dist=4, param=2.0)),
])
def test_batch_equals_direct_call_for_any_worker_count(code, scalars, arrays, direct):
    lengths, seeds = [300, 1, 0, 1000], [5, 6, 7, 8]
    runs = [batch(code, scalars + [9.0], arrays + [[1.0]], lengths, seeds, w) for w in (0, 1, 3)]
    for i, (n, s) in enumerate(zip(lengths, seeds)):
        expected = direct(n, s).tobytes() if n else b""
        for run in runs:
            assert run[i]["values"].tobytes() == expected


@pytest.mark.parametrize("code, scalars, arrays, message", [
    (15, SV_SLOTS[:12], [], "stochastic_volatility: expected >= 13 scalar params, got 12"),
    (16, RS_SLOTS[:3], [], "regime_switching: expected >= 4 scalar params, got 3"),
    (16, RS_SLOTS, RS_ARRAYS[:4], "regime_switching: expected >= 5 array params, got 4"),
])
def test_batch_count_messages(code, scalars, arrays, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        batch(code, scalars, arrays, [10], [1])


@pytest.mark.parametrize("n_regimes, start", [(0, 0), (0, -1), (-5, -1), (-1e12, -1),
                                              (1e12, 0), (3, 1e12)])
def test_batch_regime_rows_fail_cleanly(n_regimes, start):
    with pytest.raises(internal_failure_type()) as info:
        batch(16, [n_regimes, start, 0, 0.0], RS_ARRAYS, [50], [1])
    assert str(info.value).startswith("regime_switching:")
    # length-0 rows produce empty series without touching the arrays
    out = batch(16, [n_regimes, start, 0, 0.0], [[]] * 5, [0, 0], [1, 2])
    assert [d["values"].size for d in out] == [0, 0]
