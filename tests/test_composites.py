"""Composite generators reached only through the batch engine: TSI (28),
TCM (29) and MAR (30)."""

import itertools

import numpy as np
import pytest

from conftest import internal_failure_type
from tidemark._lib.batch import generate_batch, generate_multi_batch

TSI, TCM, MAR = 28, 29, 30

# Slot layouts with values that give varied, healthy series.
MAR_RANDOM = [3, 3, 12, 1.0, 0.5, 0.1, 1.0, 100, 1, 0, 0, 0.0]
TCM_SLOTS = [2, 5, 1, 3, 0.1, 0.4, 0.1, 0.8, 1.0, 5.0, 0.5, 1.5, 0.3]
TCM_POOLS = [[0, 1, 2, 3, 4], [0, 1, 2, 3, 4]]
TSI_SLOTS = [0.5, 5.0, 0.5, 3.0, 1, 4, -1.0, 1.0, 0, 3, 0.2, 2.0, 0.3, 0.5, 0.05, 0.5,
             0.2, 0.9, 3.0, 10.0, 0.3, 0.5, 5.0]
TSI_POOLS = [[0, 1, 2, 3, 4, 5], [7, 12, 24, 52.5], [0, 1, 2, 3, 4]]
PATTERNS = {"changepoints": True, "num_changepoints": 2, "anomalies": True,
            "anomaly_types": ["spike", "dip"], "anomaly_fraction": 0.05,
            "missing_data": True, "missing_rate": 0.05}

CASES = {
    "mar-random": (MAR, MAR_RANDOM, []),
    "mar-fixed": (MAR, [1, 1, 0, 1, 0, 1, 1, 10, 0, 1, 2, 0.0],
                  [[0.6, 0.4], [2, 1], [0.5, -0.2, -0.7], [0.0, 1.0], [1.0, 0.5]]),
    "tcm": (TCM, TCM_SLOTS, TCM_POOLS),
    "tsi": (TSI, TSI_SLOTS, TSI_POOLS),
}


def seeds(n, offset=0):
    return (np.arange(n, dtype=np.uint64) * np.uint64(104729) + np.uint64(offset),
            np.arange(3 * n, dtype=np.uint64) + np.uint64(77 + offset))


def run(code, scalars, arrays=(), lengths=(64,), config=None, n_workers=0, seed_offset=0):
    gen_seeds, pi_seeds = seeds(len(lengths), seed_offset)
    return generate_batch(code, np.array(scalars, dtype=np.float64),
                          [np.array(a, dtype=np.float64) for a in arrays],
                          np.array(lengths, dtype=np.int32), gen_seeds, pi_seeds,
                          config or {}, n_workers)


def values(code, scalars, arrays=(), n=64, seed_offset=0):
    return run(code, scalars, arrays, (n,), seed_offset=seed_offset)[0]["values"]


def with_slots(base, **slots):
    out = list(base)
    for key, value in slots.items():
        out[int(key[1:])] = value
    return out


# ------------------------------------------------------------ all three codes

@pytest.mark.parametrize("case", CASES)
def test_same_seed_same_bits_and_independent_of_workers(case):
    code, scalars, arrays = CASES[case]
    lengths = (300, 1, 0, 2, 257, 64, 128, 5)
    reference = run(code, scalars, arrays, lengths, PATTERNS, n_workers=1)
    for n_workers in (0, 2, 3):
        again = run(code, scalars, arrays, lengths, PATTERNS, n_workers=n_workers)
        for a, b in zip(reference, again):
            for key in a:
                assert a[key].tobytes() == b[key].tobytes()
    other = run(code, scalars, arrays, lengths, PATTERNS, seed_offset=1)
    assert reference[0]["values"].tobytes() != other[0]["values"].tobytes()
    assert [len(d["values"]) for d in reference] == list(lengths)


def test_multi_batch_equals_single_batches():
    lengths = np.array([100, 3, 250], dtype=np.int32)
    specs, expected = [], []
    for j, (code, scalars, arrays) in enumerate(CASES.values()):
        gen_seeds, pi_seeds = seeds(len(lengths), 10 * j)
        specs.append({"gen_type": code, "scalar_params": np.array(scalars, dtype=np.float64),
                      "array_params": [np.array(a, dtype=np.float64) for a in arrays],
                      "lengths": lengths, "gen_seeds": gen_seeds, "pi_seeds": pi_seeds,
                      "pi_config": PATTERNS})
        expected.append(run(code, scalars, arrays, lengths, PATTERNS, seed_offset=10 * j))
    for got, want in zip(generate_multi_batch(specs, 2), expected):
        assert [d["values"].tobytes() for d in got] == [d["values"].tobytes() for d in want]


@pytest.mark.parametrize("code, name, n_scalars, n_arrays, message", [
    (MAR, "mar", 11, 0, "mar: expected >= 12 scalar params, got 11"),
    (TCM, "tcm", 12, 2, "tcm: expected >= 13 scalar params, got 12"),
    (TCM, "tcm", 13, 1, "tcm: expected >= 2 array params, got 1"),
    (TSI, "tsi", 22, 3, "tsi: expected >= 23 scalar params, got 22"),
    (TSI, "tsi", 23, 2, "tsi: expected >= 3 array params, got 2"),
])
def test_parameter_counts(code, name, n_scalars, n_arrays, message):
    arrays = [[1.0]] * n_arrays
    with pytest.raises(ValueError) as info:
        run(code, [1.0] * n_scalars, arrays)
    assert str(info.value) == message


@pytest.mark.parametrize("case", CASES)
def test_healthy_candidates_are_finite_bounded_and_varied(case):
    code, scalars, arrays = CASES[case]
    for d in run(code, scalars, arrays, (200,) * 40):
        v = d["values"]
        assert np.all(np.isfinite(v)) and np.abs(v).max() < 1e8 and v.std() > 1e-8


# ---------------------------------------------------------------------- MAR

def mar_fixed(weights, orders, coefficients, intercepts, sigmas, *, burn_in=0, standardise=0,
              innov=(0, 0.0)):
    scalars = [1, 1, 0, 1, 0, 1, 1, burn_in, standardise, 1, *innov]
    return scalars, [weights, orders, coefficients, intercepts, sigmas]


@pytest.mark.parametrize("slot, value", [
    (0, 0.5), (0, 1e6 + 1), (1, 0.0), (1, 2e6), (2, -0.5), (2, 1e9 + 1), (3, 0.0),
    (4, -1e-300), (5, 0.0), (6, 0.05), (7, -1.0), (7, 1e9 + 1),
])
def test_mar_ranges(slot, value):
    with pytest.raises(ValueError, match="^mar: invalid configuration$"):
        run(MAR, with_slots(MAR_RANDOM, **{f"s{slot}": value}))


@pytest.mark.parametrize("scalars", [
    MAR_RANDOM + [np.nan],
    with_slots(MAR_RANDOM, s0=np.inf),
    with_slots(MAR_RANDOM, s11=-np.inf),
    with_slots(MAR_RANDOM, s8=np.nan),
])
def test_mar_scalars_must_be_finite(scalars):
    with pytest.raises(ValueError, match="^mar: scalar params must be finite$"):
        run(MAR, scalars)


def test_mar_range_bounds_are_inclusive():
    # Fixed mode checks the random-mode slots too but does not use them, so
    # the largest counts can be accepted without being run.
    scalars, arrays = mar_fixed([1.0], [1], [0.5], [0.0], [1.0])
    at_bounds = [1e6, 1e6, 1e9, 1e-300, 0.0, 1e-3, 1e-3, 0, 0, 1, 0, 0.0]
    assert run(MAR, at_bounds, arrays)[0]["values"].size == 64


def test_mar_fixed_messages():
    scalars, arrays = mar_fixed([1.0], [1], [0.5], [0.0], [1.0])
    with pytest.raises(ValueError) as info:
        run(MAR, scalars, arrays[:4])
    assert str(info.value) == "mar: expected >= 5 array params in fixed mode, got 4"

    def message(weights, orders, coefficients, intercepts=None, sigmas=None):
        k = len(weights)
        scalars, arrays = mar_fixed(weights, orders, coefficients,
                                    [0.0] * k if intercepts is None else intercepts,
                                    [1.0] * k if sigmas is None else sigmas)
        with pytest.raises(ValueError) as info:
            run(MAR, scalars, arrays)
        return str(info.value)

    assert message([0.5, 0.5], [2, 1], [0.1, 0.2, 0.3, 0.4]) == "mar: unused fixed AR coefficients"
    assert message([0.5, 0.5], [2, 1], [0.1, 0.2]) == "mar: invalid fixed AR coefficient layout"
    for order in (1.5, 0.0, -1.0, np.nan, np.inf, 0.9):
        assert message([1.0], [order], [0.1]) == "mar: invalid fixed AR coefficient layout"
    assert message([1.0], [1e300], [0.1]) == "mar: invalid fixed AR coefficient layout"
    assert message([0.5, 0.5], [1, 1e300], [0.1]) == "mar: fixed AR coefficient offset overflow"
    assert message([], [], []) == "mar: inconsistent fixed component counts"
    assert message([1.0], [1, 1], [0.1, 0.2]) == "mar: inconsistent fixed component counts"
    assert message([1.0], [1], [0.1], [0.0, 0.0]) == "mar: inconsistent fixed component counts"
    assert message([1.0], [1], [0.1], sigmas=[]) == "mar: inconsistent fixed component counts"


def test_mar_fixed_explosive_component_fails_after_eight_attempts():
    scalars, arrays = mar_fixed([1.0], [1], [1.5], [0.0], [1.0])
    with pytest.raises(ValueError) as info:
        run(MAR, scalars, arrays, (200,))
    assert str(info.value) == ("mar: fixed configuration produced no finite, bounded, "
                               "non-constant series in 8 attempts")


def test_mar_fixed_weights_below_one_leave_the_rest_to_the_last_component():
    # With weights summing to 0 every step picks the last component, just as
    # when the last component holds all the weight.
    rest = [[1, 1], [0.5, -0.3], [0.0, 1.0], [1.0, 2.0]]
    a = values(MAR, *mar_fixed([0.0, 0.0], *rest), n=100)
    b = values(MAR, *mar_fixed([0.0, 1.0], *rest), n=100)
    c = values(MAR, *mar_fixed([1.0, 0.0], *rest), n=100)
    assert a.tobytes() == b.tobytes() and a.tobytes() != c.tobytes()


def test_mar_fixed_refused_scale_fails_only_when_its_component_is_chosen():
    laplace = (2, 0.0)
    scalars, arrays = mar_fixed([0.0, 1.0], [1, 1], [0.5, 0.5], [0.0, 0.0], [np.nan, 1.0],
                                innov=laplace)
    assert np.all(np.isfinite(values(MAR, scalars, arrays)))
    scalars, arrays = mar_fixed([0.5, 0.5], [1, 1], [0.5, 0.5], [0.0, 0.0], [np.nan, 1.0],
                                innov=laplace)
    with pytest.raises(internal_failure_type(), match="invalid laplace param"):
        run(MAR, scalars, arrays)


def test_mar_standardise():
    scalars = with_slots(MAR_RANDOM, s8=1)
    for v in (d["values"] for d in run(MAR, scalars, lengths=(2, 50, 500))):
        assert abs(v.mean()) < 1e-12 and abs(v.std() - 1.0) < 1e-12
    # A single value is never standardised; an empty series is fine.
    raw = run(MAR, with_slots(MAR_RANDOM, s8=0), lengths=(1, 0))
    std = run(MAR, scalars, lengths=(1, 0))
    assert raw[0]["values"].tobytes() == std[0]["values"].tobytes()
    assert std[1]["values"].size == 0


def test_mar_random_mode_never_fails():
    # Scales of 1e9 push every candidate past the bound: the fallback is
    # white noise, standardised on request.
    huge = with_slots(MAR_RANDOM, s5=1e9, s6=1e9, s8=0)
    v = values(MAR, huge, n=2000)
    assert np.abs(v).max() < 7 and abs(v.std() - 1) < 0.1
    w = values(MAR, with_slots(huge, s8=1), n=2000)
    assert abs(w.mean()) < 1e-12 and abs(w.std() - 1) < 1e-12


def test_mar_long_burn_in_and_seasonal_factor():
    # Burn-ins longer than the simulation window and seasonal orders both
    # give healthy series that stay deterministic.
    scalars = with_slots(MAR_RANDOM, s2=52, s7=20000, s8=0)
    a = run(MAR, scalars, lengths=(300, 5000))
    b = run(MAR, scalars, lengths=(300, 5000), n_workers=2)
    for x, y in zip(a, b):
        assert x["values"].tobytes() == y["values"].tobytes()
        assert np.all(np.isfinite(x["values"]))


def test_mar_fixed_ar1_follows_its_recursion():
    # x[t] = 0.5 x[t-1] + e[t]: the residuals of the recursion are the
    # innovations, uncorrelated with the past and of unit variance.
    v = values(MAR, *mar_fixed([1.0], [1], [0.5], [0.0], [1.0]), n=20000)
    e = v[1:] - 0.5 * v[:-1]
    assert abs(e.std() - 1.0) < 0.03
    assert abs(np.corrcoef(e, v[:-1])[0, 1]) < 0.03


# ---------------------------------------------------------------------- TCM

def test_tcm_empty_series_needs_no_pools():
    assert run(TCM, TCM_SLOTS, [[], []], (0, 0))[1]["values"].size == 0


@pytest.mark.parametrize("pools, message", [
    ([[], [0]], "tcm: edge kind pool is empty"),
    ([[], []], "tcm: edge kind pool is empty"),
    ([[0], []], "tcm: noise type pool is empty"),
])
def test_tcm_empty_pools(pools, message):
    with pytest.raises(internal_failure_type(), match=message):
        run(TCM, TCM_SLOTS, pools)


def test_tcm_clip_bound_limits_the_output():
    v = run(TCM, with_slots(TCM_SLOTS, s9=1.0, s10=3.0, s11=5.0), TCM_POOLS, (300,) * 20)
    for d in v:
        assert np.abs(d["values"]).max() <= 1.0


def test_tcm_every_attempt_failing_falls_back_to_ar1():
    # A clip bound of 0 makes every state 0 or NaN; the fallback is an AR(1)
    # with coefficient 0.7.
    scalars = with_slots(TCM_SLOTS, s9=0.0)
    v = values(TCM, scalars, TCM_POOLS, n=20000)
    assert v.tobytes() == values(TCM, scalars, TCM_POOLS, n=20000).tobytes()
    assert abs(np.corrcoef(v[1:], v[:-1])[0, 1] - 0.7) < 0.03
    e = v[1:] - 0.7 * v[:-1]
    assert abs(e.std() - 1.0) < 0.03
    # A single value can never show spread, so it always comes from the fallback.
    one = values(TCM, TCM_SLOTS, TCM_POOLS, n=1)
    assert one.shape == (1,) and np.isfinite(one[0])


def test_tcm_refused_noise_scale_is_an_internal_failure():
    with pytest.raises(internal_failure_type(), match="invalid normal innovation param"):
        run(TCM, with_slots(TCM_SLOTS, s10=np.inf, s11=np.inf), TCM_POOLS)
    with pytest.raises(internal_failure_type(), match="invalid uniform params"):
        run(TCM, with_slots(TCM_SLOTS, s4=np.nan), TCM_POOLS)


# ---------------------------------------------------------------------- TSI

def tsi(trend=(1,), periods=(12,), irregular=(0,), **slots):
    base = [2.0, 2.0, 1.0, 1.0, 1, 1, 0.0, 0.0, 0, 0, 1.0, 1.0, 0.0, 0.0, 0.0, 0.0,
            0.5, 0.5, 5.0, 5.0, 0.0, 1.0, 1.0]
    return with_slots(base, **slots), [list(trend), list(periods), list(irregular)]


def test_tsi_empty_series_needs_no_pools():
    assert run(TSI, TSI_SLOTS, [[], [], []], (0,))[0]["values"].size == 0


@pytest.mark.parametrize("pools, message", [
    ([[], [], []], "tsi: trend type pool is empty"),
    ([[1], [], []], "tsi: seasonal period pool is empty"),
    ([[1], [12], []], "tsi: irregular type pool is empty"),
])
def test_tsi_empty_pools(pools, message):
    with pytest.raises(internal_failure_type(), match=message):
        run(TSI, TSI_SLOTS, pools)


def test_tsi_linear_trend_without_noise_is_exact():
    n = 50
    scalars, arrays = tsi(s21=3.0, s22=3.0)
    x = np.arange(n) / (n - 1)
    expected = (((x * 2.0 + 0.0) + 0.0) + 0.0) * 3.0
    assert values(TSI, scalars, arrays, n=n).tobytes() == expected.tobytes()


def test_tsi_level_alone_plus_a_pure_sine():
    scalars, arrays = tsi(trend=(9,), s6=5.0, s7=5.0, s8=1, s9=1, s21=2.0, s22=2.0)
    v = values(TSI, scalars, arrays, n=120)
    np.testing.assert_allclose(v[12:], v[:-12], rtol=0, atol=1e-12)
    peak = np.abs(v - 10.0).max()  # twice the largest |sin| on a 12-point grid
    assert abs(v.mean() - 10.0) < 1e-12 and 2 * np.cos(np.pi / 12) - 1e-12 <= peak <= 2.0


def test_tsi_multiplicative_shifts_a_non_positive_trend():
    n = 120
    scalars, arrays = tsi(s0=-2.0, s1=-2.0, s8=1, s9=1, s20=1.0)
    v = values(TSI, scalars, arrays, n=n)
    trend = np.arange(n) / (n - 1) * -2.0
    shift = 0.1 * (2.0 + 1.0) + 2.0
    ratio = v / (trend + shift) - 1.0  # the seasonal part over its divisor
    assert abs(np.abs(ratio).max() - 0.8) < 1e-12
    np.testing.assert_allclose(ratio[12:], ratio[:-12], rtol=0, atol=1e-12)


def test_tsi_flat_structure_takes_the_ratio_as_noise_scale():
    scalars, arrays = tsi(trend=(9,), s6=5.0, s7=5.0, s14=0.5, s15=0.5)
    v = values(TSI, scalars, arrays, n=20000)
    assert abs(v.mean() - 5.0) < 0.02 and abs(v.std() - 0.5) < 0.02


@pytest.mark.parametrize("irregular", [0, 1, 4, 2, 7])
def test_tsi_noise_that_cannot_be_drawn_is_retried(irregular):
    # A zero period makes the structure NaN, so its spread (and the noise
    # scale) is NaN; an infinite ratio gives an infinite scale.  Either way the
    # candidate is redrawn, and after eight failures comes white noise.
    for scalars, arrays in (tsi(periods=(0,), irregular=(irregular,), s8=1, s9=1),
                            tsi(irregular=(irregular,), s14=np.inf, s15=np.inf)):
        v = values(TSI, scalars, arrays, n=4000)
        assert np.abs(v).max() < 7 and abs(v.std() - 1.0) < 0.06


def test_tsi_checks_that_remain_internal_failures():
    with pytest.raises(internal_failure_type(), match="Student's t df must be > 2"):
        run(TSI, *tsi(irregular=(3,), s14=0.5, s15=0.5, s18=2.0, s19=2.0))
    with pytest.raises(internal_failure_type(), match="invalid uniform params"):
        run(TSI, *tsi(s0=np.nan))
    with pytest.raises(internal_failure_type(), match="invalid uniform params"):
        run(TSI, *tsi(s8=1, s9=1, s10=0.0, s11=1.0))  # log range from 0


# ------------------------------------------------------------- slot fuzzing

SPECIALS = [np.nan, np.inf, -np.inf, -1.0, 0.0, -1e300, 3e9, 0.5]


def fuzz_slots(base, slots, rng, rounds):
    for _ in range(rounds):
        scalars = list(base)
        for slot in rng.choice(slots, size=3, replace=False):
            scalars[slot] = SPECIALS[rng.integers(len(SPECIALS))]
        yield scalars


def outcome(code, scalars, arrays, lengths=(0, 1, 2, 40)):
    try:
        out = run(code, scalars, arrays, lengths)
    except (ValueError, internal_failure_type()) as exc:
        return type(exc).__name__
    assert [d["values"].size for d in out] == list(lengths)
    return "ok"


@pytest.mark.parametrize("code, base, arrays, slots", [
    # Counts and orders are fuzzed freely where a huge value is refused or
    # cheap; TSI's seasonal count and knots stay finite there (their work
    # grows with the count itself).
    (TCM, TCM_SLOTS, TCM_POOLS, range(13)),
    (TSI, TSI_SLOTS, TSI_POOLS, [0, 1, 2, 3, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                 21, 22]),
    (MAR, MAR_RANDOM, [], range(12)),
])
def test_fuzzed_slots_never_crash(code, base, arrays, slots):
    rng = np.random.default_rng(code)
    seen = {outcome(code, s, arrays) for s in fuzz_slots(base, list(slots), rng, 150)}
    assert "ok" in seen


@pytest.mark.parametrize("low, high",
                         list(itertools.product([np.nan, -np.inf, -3e9, -5.0, 0.0, 3.0],
                                                [np.nan, -3e9, -1.0, 0.0, 2.0])))
def test_tsi_counts_fuzzed(low, high):
    for knots_or_seasons in (4, 8):
        scalars = with_slots(TSI_SLOTS, **{f"s{knots_or_seasons}": low,
                                          f"s{knots_or_seasons + 1}": high})
        assert outcome(TSI, scalars, TSI_POOLS) in ("ok", "InternalFailure")


@pytest.mark.parametrize("pools", [
    [[np.nan, -1, 1e300, 7], [np.nan, -5, 3e9]],
    [[3], [4]],
    [[-np.inf], [np.inf]],
])
def test_tcm_odd_pool_codes(pools):
    assert outcome(TCM, TCM_SLOTS, pools) in ("ok", "InternalFailure")


@pytest.mark.parametrize("pools", [
    [[np.nan, -1, 1e300], [np.nan, np.inf, -3.0, 1e-300], [np.nan, -7, 3e9]],
    [[2], [0.25], [2]],
])
def test_tsi_odd_pool_codes(pools):
    assert outcome(TSI, TSI_SLOTS, pools) in ("ok", "InternalFailure")


def test_mar_fixed_mode_fuzzed_arrays():
    rng = np.random.default_rng(5)
    pool = [np.nan, np.inf, -np.inf, 0.0, -0.0, 1.0, -1.0, 1e300, 2.0, 0.5]
    for _ in range(200):
        k = int(rng.integers(0, 3))
        arrays = [rng.choice(pool, size=int(rng.integers(0, 4))) for _ in range(5)]
        arrays[1] = rng.choice([1.0, 2.0, 0.0, np.nan, 1e300, 1.5], size=k)
        scalars = [1, 1, 0, 1, 0, 1, 1, 3, 1, 1, int(rng.integers(-1, 6)), 3.0]
        assert outcome(MAR, scalars, arrays) in ("ok", "ValueError", "InternalFailure")


def test_huge_systems_are_refused_not_attempted():
    # E^2 F lag coefficients beyond the machine's memory.
    scalars = with_slots(TCM_SLOTS, s0=3e9, s1=3e9)
    with pytest.raises(ValueError, match="could not allocate memory"):
        run(TCM, scalars, TCM_POOLS)
