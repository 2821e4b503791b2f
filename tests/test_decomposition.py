"""Classical decomposition and the moving block bootstrap."""

import re

import numpy as np
import pytest

from tidemark._lib.augmentation import (
    classical_decompose,
    moving_block_bootstrap,
    moving_block_bootstrap_many,
)


def reference_decompose(x, period=None):
    """The decomposition written out literally: Kahan-summed moving averages of
    values shifted by the first one, repeated ends, centred phase means."""
    x = [float(v) for v in x]
    n = len(x)
    seasonal_mode = period is not None and period <= n // 2
    if seasonal_mode:
        w = period | 1
    else:
        w = (n // 10) | 1
        if w < 5:
            w = 3
    if w > n:
        w = n if n % 2 else n - 1
    even = seasonal_mode and period % 2 == 0
    d = w - 1 if even else w
    f = x[0]
    s = c = 0.0

    def add(y):
        nonlocal s, c
        y2 = y - c
        t = s + y2
        c = (t - s) - y2
        s = t

    for i in range(w):
        add(x[i] - f)
    averages = []
    for k in range(n - w + 1):
        if k > 0:
            add(-(x[k - 1] - f))
            add(x[k + w - 1] - f)
        h = (x[k + w - 1] - f) * 0.5 + (x[k] - f) * 0.5 if even else 0.0
        averages.append((s - h) / d + f)
    r = (w - 1) // 2
    trend = [averages[0]] * r + averages + [averages[-1]] * r
    seasonal = [0.0] * n
    if seasonal_mode:
        phases = []
        for j in range(period):
            acc, count = 0.0, 0
            for t in range(j, n, period):
                acc += x[t] - trend[t]
                count += 1
            phases.append(acc / count)
        total = -0.0
        for a in phases:
            total += a
        centre = total / period
        phases = [a - centre for a in phases]
        seasonal = [phases[t % period] for t in range(n)]
    residual = [(x[t] - trend[t]) - seasonal[t] for t in range(n)]
    return [np.array(v) for v in (trend, seasonal, residual)]


def noisy(n, seed=0, period=None):
    rng = np.random.default_rng(seed)
    t = np.arange(n)
    x = 5.0 + 0.03 * t + rng.normal(size=n)
    if period:
        x += 2.0 * np.sin(2 * np.pi * t / period)
    return x


@pytest.mark.parametrize(
    "n, period",
    [(3, None), (7, None), (30, None), (40, None), (60, None), (101, None), (1000, None),
     (8, 4), (9, 5), (24, 12), (25, 12), (100, 7), (100, 12), (4, 2), (1001, 2), (500, 250),
     (500, 251)],
)
def test_decomposition_matches_the_written_out_algorithm_bit_for_bit(n, period):
    x = noisy(n, seed=n, period=period)
    got = classical_decompose(x, period)
    want = reference_decompose(x, period)
    for g, w in zip(got, want):
        assert g.dtype == np.float64 and g.shape == (n,)
        assert g.tobytes() == w.tobytes()


def test_documented_small_cases():
    trend, seasonal, residual = classical_decompose(np.array([1.0, 2.0, 3.0]))
    assert trend.tolist() == [2.0, 2.0, 2.0]
    assert seasonal.tolist() == [0.0, 0.0, 0.0]
    assert residual.tolist() == [-1.0, 0.0, 1.0]

    # Linear series, no period: n = 30 gives w = 3, so only one point at
    # each end repeats the neighbouring average.
    line = np.arange(30, dtype=float) * 0.5
    trend = classical_decompose(line)[0]
    np.testing.assert_allclose(trend[1:-1], line[1:-1], rtol=0, atol=1e-12)
    assert trend[0] == trend[1] and trend[-1] == trend[-2]

    # period 4 on 8 values: seasonal mode, repeats every 4, phases sum to 0.
    x = noisy(8, period=4)
    _, seasonal, _ = classical_decompose(x, 4)
    assert seasonal[:4].tolist() == seasonal[4:].tolist()
    assert abs(seasonal[:4].sum()) < 1e-12
    assert np.any(seasonal != 0)


def test_too_long_period_is_no_period():
    x = noisy(9)
    a = classical_decompose(x, 5)  # 5 > 9 // 2
    b = classical_decompose(x, None)
    c = classical_decompose(x, 2**64 - 1)
    assert not np.any(a[1])
    for u, v, w in zip(a, b, c):
        assert u.tobytes() == v.tobytes() == w.tobytes()


def test_components_add_up():
    x = noisy(300, period=12)
    trend, seasonal, residual = classical_decompose(x, 12)
    np.testing.assert_allclose(trend + seasonal + residual, x, rtol=0, atol=1e-12)


@pytest.mark.parametrize(
    "values, period, message",
    [
        ([1.0, 2.0], None, "values must contain at least 3 observations"),
        ([], 4, "values must contain at least 3 observations"),
        ([1.0, np.nan, 3.0], None, "values must contain only finite observations"),
        ([1.0, 2.0, np.inf], 1, "values must contain only finite observations"),
        ([1.0, 2.0, 3.0], 1, "period must be >= 2 when provided"),
        ([1.0, 2.0, 3.0], 0, "period must be >= 2 when provided"),
    ],
)
def test_decomposition_failures(values, period, message):
    x = np.array(values, dtype=float)
    exact = f"^{re.escape(message)}$"
    with pytest.raises(ValueError, match=exact):
        classical_decompose(x, period)
    with pytest.raises(ValueError, match=exact):
        moving_block_bootstrap(x, 1, 0, period)  # decomposition errors come first
    with pytest.raises(ValueError, match=exact):
        moving_block_bootstrap_many(x, 1, [], period)


@pytest.mark.parametrize("bad", [-1, 2**64, 1.5, "3"])
def test_period_conversion(bad):
    with pytest.raises((TypeError, OverflowError)) as info:
        classical_decompose(np.arange(5.0), bad)
    assert "while processing 'period'" in info.value.__notes__


# --- moving block bootstrap ------------------------------------------------


@pytest.mark.parametrize("block_size", [0, 1, 21])
def test_block_size_bounds(block_size):
    x = noisy(20)
    msg = r"^block_size must be in \[2, len\(values\)\]$"
    with pytest.raises(ValueError, match=msg):
        moving_block_bootstrap(x, block_size, 1)
    with pytest.raises(ValueError, match=msg):
        moving_block_bootstrap_many(x, block_size, [])  # checked even with no seeds


@pytest.mark.parametrize("period", [None, 12])
def test_same_seed_same_bits_and_many_equals_single_calls(period):
    x = noisy(200, period=12)
    seeds = [0, 1, 2**64 - 1, np.uint64(12345)]
    many = moving_block_bootstrap_many(x, 7, seeds, period)
    assert isinstance(many, list) and len(many) == len(seeds)
    for s, draw in zip(seeds, many):
        single = moving_block_bootstrap(x, 7, s, period)
        assert draw.dtype == np.float64 and draw.shape == (200,)
        assert draw.tobytes() == single.tobytes()
        assert moving_block_bootstrap(x, 7, s, period).tobytes() == single.tobytes()
    assert many[0].tobytes() != many[1].tobytes()
    assert moving_block_bootstrap_many(x, 7, [], period) == []
    assert moving_block_bootstrap_many(x, 7, (5,), period)[0].tobytes() == \
        moving_block_bootstrap(x, 7, 5, period).tobytes()


def test_full_block_is_a_rotation_of_the_residual():
    x = noisy(50, period=5)
    trend, seasonal, residual = classical_decompose(x, 5)
    base = trend + seasonal
    for seed in range(5):
        out = moving_block_bootstrap(x, 50, seed, 5)
        assert any(out.tobytes() == (base + np.roll(residual, -o)).tobytes() for o in range(50))


def test_draws_keep_trend_and_season_and_reuse_residual_blocks():
    x = noisy(120, period=12)
    trend, seasonal, residual = classical_decompose(x, 12)
    out = moving_block_bootstrap(x, 10, 3, 12)
    resampled = out - (trend + seasonal)
    # Every resampled value is one of the residuals (up to the rounding of
    # the subtraction), and runs of them are contiguous residual stretches.
    nearest = np.abs(resampled[:, None] - residual[None, :]).argmin(axis=1)
    np.testing.assert_allclose(resampled, residual[nearest], rtol=0, atol=1e-12)
    assert np.mean(np.diff(nearest) == 1) > 0.8


@pytest.mark.parametrize("seeds, exc", [("12", TypeError), (5, TypeError), ([1, -1], OverflowError),
                                         ([1, 2.0], TypeError), ([2**64], OverflowError)])
def test_seed_sequence_conversion(seeds, exc):
    with pytest.raises(exc) as info:
        moving_block_bootstrap_many(noisy(20), 5, seeds)
    assert "while processing 'seeds'" in info.value.__notes__


def test_input_is_copied_and_not_modified():
    x = noisy(40)
    before = x.copy()
    moving_block_bootstrap_many(x, 4, [1, 2])
    classical_decompose(x, 4)
    assert x.tobytes() == before.tobytes()
