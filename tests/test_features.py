"""The feature set: basic features, the twelve-feature vector and its batch."""

import math
import re
import threading

import numpy as np
import pytest

from test_decomposition import reference_decompose
from tidemark._lib.augmentation import (
    compute_feature_set,
    compute_feature_set_batch,
    compute_features,
)

EPS = 2.220446049250313e-16
NAN = float("nan")


# --- a literal reference: left-to-right sums from -0.0 --------------------

def rsum(values):
    s = -0.0
    for v in values:
        s += v
    return s


def mean(y):
    return rsum(y) / len(y)


def pvar(y):
    mu = mean(y)
    return rsum((v - mu) * (v - mu) for v in y) / len(y)


def acf_ratio(y, k):
    m = len(y)
    if k >= m:
        return NAN
    mu = mean(y)
    s = rsum((v - mu) * (v - mu) for v in y)
    if s <= EPS:
        return 0.0
    return rsum((y[t + k] - mu) * (y[t] - mu) for t in range(m - k)) / s


def spectral_entropy(x):
    n = len(x)
    mu = mean(x)
    d = [v - mu for v in x]
    if n < 4 or pvar(d) <= EPS:
        return 0.0
    spectrum = np.fft.rfft(np.array(d))
    power = [float(c.real) ** 2 + float(c.imag) ** 2 for c in spectrum[1:n // 2 + 1]]
    total = rsum(power)
    if total <= EPS:
        return 0.0
    h = -0.0
    for p in power:
        if p > 0:
            q = p / total
            h = h - math.log(q) * q
    return min(1.0, max(0.0, h / math.log(n // 2)))


def strength(component, residual):
    combined = pvar([a + b for a, b in zip(component, residual)])
    if combined <= EPS:
        return 0.0
    return min(1.0, max(0.0, 1.0 - pvar(residual) / combined))


def basic(x, period):
    n = len(x)
    trend, seasonal, residual = (list(c) for c in reference_decompose(x, period))
    mu, v = mean(x), pvar(x)
    acf1 = 0.0 if v == 0 else rsum((x[t] - mu) * (x[t + 1] - mu) for t in range(n - 1)) / n / v
    seas = 0.0
    if period is not None and period <= n // 2 and any(s != 0.0 for s in seasonal):
        seas = strength(seasonal, residual)
    return [spectral_entropy(x), strength(trend, residual), seas, acf1], residual


def reference_feature_set(values, period=None, window=None):
    x = [float(v) for v in values]
    n = len(x)
    if n <= 2:
        return [NAN] * 12
    m = max(abs(v) for v in x)
    z = [0.0] * n
    if m != 0:
        u = [v / m for v in x]
        mu, var = mean(u), pvar(u)
        if var != 0:
            sd = math.sqrt(var)
            z = [(v - mu) / sd for v in u]
    long_period = period is not None and period > n // 2
    out, residual = basic(z, period)
    if long_period:
        out[1] = out[2] = NAN
    out.append(NAN if n < 11 else rsum(acf_ratio(z, k) ** 2 for k in range(1, 11)))
    out.append(acf_ratio([z[t + 1] - z[t] for t in range(n - 1)], 1))
    out.append(0.0 if period is None else acf_ratio(z, period))
    if long_period:
        out.append(NAN)
    else:
        rbar = rsum(residual) / n
        e = [r - rbar for r in residual]
        u = rsum(v * v for v in e)
        out.append(pvar([max(0.0, (u - (n / (n - 1)) * (v * v)) / (n - 1)) for v in e]))
    w = window if window is not None else period if period is not None else 10
    if n // 2 < w:
        out += [NAN, NAN, NAN]
    else:
        out.append(pvar([pvar(z[j * w:(j + 1) * w]) for j in range(n // w)]))
        s, q = rsum(z[:w]), rsum(v * v for v in z[:w])
        means, variances = [], []
        for i in range(n - w + 1):
            if i > 0:
                s = s + (z[i + w - 1] - z[i - 1])
                q = q + (z[i + w - 1] * z[i + w - 1] - z[i - 1] * z[i - 1])
            means.append(s / w)
            variances.append(max(0.0, q / w - (s / w) * (s / w)))
        for seq in (means, variances):
            best = 0.0
            for i in range(n - 2 * w + 1):
                d = abs(seq[i + w] - seq[i])
                if d > best:
                    best = d
            out.append(best)
    srt = sorted(z)
    med = srt[n // 2] if n % 2 else (srt[n // 2] + srt[n // 2 - 1]) * 0.5
    out.append(float(sum((z[t] <= med) != (z[t + 1] <= med) for t in range(n - 1))))
    return out


def assert_matches_reference(got, want):
    assert len(got) == 12
    assert got[0] == pytest.approx(want[0], abs=1e-12, nan_ok=True)
    for i in range(1, 12):
        g, w = got[i], want[i]
        assert (math.isnan(g) and math.isnan(w)) or g == w, (i, g, w)


def sample(n, seed=0, period=None):
    rng = np.random.default_rng(seed)
    t = np.arange(n)
    x = 3.0 + 0.02 * t + rng.standard_t(4, size=n)
    if period:
        x += 1.5 * np.sin(2 * np.pi * t / period)
    return x


CASES = [(3, None, None), (4, 2, None), (10, None, None), (11, None, None), (20, 12, None),
         (25, None, 3), (48, 4, None), (97, 12, None), (100, 7, 5), (120, 12, 24), (301, None, None),
         (64, 33, None), (500, 50, 2)]


@pytest.mark.parametrize("n, period, window", CASES)
def test_feature_set_matches_the_written_out_algorithm(n, period, window):
    x = sample(n, seed=n, period=period)
    got = compute_feature_set(x, period, window)
    assert isinstance(got, list) and all(type(v) is float for v in got)
    assert_matches_reference(got, reference_feature_set(x, period, window))
    basic4 = compute_features(x, period)
    assert isinstance(basic4, tuple) and len(basic4) == 4
    want, _ = basic(list(map(float, x)), period)
    assert basic4[0] == pytest.approx(want[0], abs=1e-12)
    assert list(basic4[1:]) == want[1:]


# --- edge cases ------------------------------------------------------------

def test_short_and_empty_series():
    with pytest.raises(ValueError, match="^values must contain at least 3 observations$"):
        compute_features(np.array([1.0, 2.0]))
    assert all(math.isnan(v) for v in compute_feature_set(np.array([1.0, 2.0])))
    assert all(math.isnan(v) for v in compute_feature_set(np.array([5.0])))
    with pytest.raises(ValueError, match="^values must be non-empty and finite$"):
        compute_feature_set(np.array([]))


def test_constant_series():
    assert compute_features(np.full(30, 4.0)) == (0.0, 0.0, 0.0, 0.0)
    got = compute_feature_set(np.full(30, 4.0))
    assert got[:4] == [0.0] * 4 and got[5:8] == [0.0] * 3 and got[11] == 0.0
    assert got[4] == 0.0 and got[8:11] == [0.0] * 3  # n = 30: acf10 and window stats defined
    short = compute_feature_set(np.full(10, -2.0))
    assert math.isnan(short[4]) and all(math.isnan(v) for v in short[8:11])
    # The exact-zero variance test: a mean that is not exact leaves acf1 non-zero,
    # as the written-out algorithm gives.
    x = np.array([0.1] * 10)
    assert compute_features(x)[3] == basic([0.1] * 10, None)[0][3] != 0.0


def test_values_whose_squares_overflow_give_nan_not_zero():
    x = np.array([1e200, -1e200, 3e199, 7e199, -2e200, 1e200, 0.0, 5e199])
    entropy, trend, _, _ = compute_features(x)
    assert math.isnan(entropy) and math.isnan(trend)
    # the z-normalised feature set is unaffected by the scale
    assert compute_feature_set(x)[:2] == pytest.approx(compute_feature_set(x * 1e-200)[:2])


def test_acf10_needs_eleven_values():
    assert math.isnan(compute_feature_set(sample(10))[4])
    assert not math.isnan(compute_feature_set(sample(11))[4])


def test_period_longer_than_half_the_series():
    x = sample(20, period=12)
    got = compute_feature_set(x, 12)
    assert all(math.isnan(got[i]) for i in (1, 2, 7, 8, 9, 10))
    assert not any(math.isnan(got[i]) for i in (0, 3, 4, 5, 6, 11))
    basic4 = compute_features(x, 12)
    assert basic4[2] == 0.0 and basic4[1] == compute_features(x)[1]


def test_periods_and_windows():
    for fn in (compute_features, compute_feature_set):
        with pytest.raises(ValueError, match="^period must be >= 2 when provided$"):
            fn(sample(30), 1)
        with pytest.raises(ValueError, match="^period must be >= 2 when provided$"):
            fn(sample(30), 0)
    with pytest.raises(ValueError, match="^window_size must be >= 2 when provided$"):
        compute_feature_set(sample(30), None, 1)
    assert compute_features(np.array([1.0, 3.0, 2.0, 5.0]), 2)[2] >= 0.0  # accepted
    # window defaults: 10 without a period, the period with one
    assert all(math.isnan(v) for v in compute_feature_set(sample(19))[8:11])
    assert not any(math.isnan(v) for v in compute_feature_set(sample(20))[8:11])
    x = sample(8, period=4)
    assert compute_feature_set(x, 4)[8:11] == compute_feature_set(x, 4, 4)[8:11]
    assert math.isnan(compute_feature_set(sample(30), 2**64 - 1)[6])  # lag beyond the series


@pytest.mark.parametrize("values, message", [
    (np.array([1.0, np.nan, 2.0, 3.0]), "values must contain only finite observations"),
    (np.array([1.0, 2.0, -np.inf]), "values must contain only finite observations"),
])
def test_non_finite_values(values, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        compute_features(values)
    with pytest.raises(ValueError, match="^values must be non-empty and finite$"):
        compute_feature_set(values)


@pytest.mark.parametrize("scale, shift", [(3.0, 0.0), (1e-6, 0.0), (2.5, 100.0), (1.0, -7.0)])
def test_feature_set_invariant_under_scaling_and_shifting(scale, shift):
    x = sample(200, period=12)
    base = np.array(compute_feature_set(x, 12))
    moved = np.array(compute_feature_set(x * scale + shift, 12))
    np.testing.assert_allclose(moved[:11], base[:11], rtol=1e-6, atol=1e-8)
    assert abs(moved[11] - base[11]) <= 2  # a value right at the median may change side


def test_spectral_entropy_of_a_bin_centred_sinusoid_and_of_white_noise():
    n = 256
    tone = np.sin(2 * np.pi * 16 * np.arange(n) / n)
    assert compute_features(tone)[0] < 1e-3
    assert compute_feature_set(tone)[0] < 1e-3
    noise = np.random.default_rng(5).normal(size=4096)
    assert compute_features(noise)[0] > 0.9


# --- batch -----------------------------------------------------------------

def panel(lengths, seed=1):
    rng = np.random.default_rng(seed)
    series = [rng.normal(size=n).cumsum() for n in lengths]
    offsets = np.concatenate([[0], np.cumsum(lengths)]).astype(np.int64)
    return np.concatenate(series) if series else np.empty(0), offsets


@pytest.mark.parametrize("period, window", [(None, None), (12, None), (7, 4)])
def test_batch_rows_equal_single_calls_for_any_worker_count(period, window):
    lengths = [50, 2, 300, 3, 24, 120, 50, 1, 1000, 11]
    values, offsets = panel(lengths)
    rows = compute_feature_set_batch(values, offsets, period, window)
    assert rows.dtype == np.float64 and rows.shape == (len(lengths) * 12,)
    for i in range(len(lengths)):
        single = np.array(compute_feature_set(values[offsets[i]:offsets[i + 1]], period, window))
        assert rows[12 * i:12 * i + 12].tobytes() == single.tobytes()
    for n_workers in (1, 2, 8):
        again = compute_feature_set_batch(values, offsets, period, window, n_workers)
        assert again.tobytes() == rows.tobytes()


def test_batch_of_one_series():
    x = sample(77)
    row = compute_feature_set_batch(x, np.array([0, 77], dtype=np.int64))
    assert row.tobytes() == np.array(compute_feature_set(x)).tobytes()


@pytest.mark.parametrize("offsets", [[0, 3, 3, 10], [0, 5], [1, 10], [0, 10, 5, 10], [0], [],
                                     [0, 11]])
def test_batch_offsets_must_run_strictly_from_zero_to_the_end(offsets):
    with pytest.raises(ValueError, match=r"^offsets must increase strictly from 0 to len\(values\)$"):
        compute_feature_set_batch(sample(10), np.array(offsets, dtype=np.int64))


def test_batch_offset_conversion_and_sign():
    with pytest.raises(ValueError, match="^offsets must be non-negative$"):
        compute_feature_set_batch(sample(10), np.array([-1, 5], dtype=np.int64))
    for bad in ([0, 10], np.array([0, 10], dtype=np.int32), np.array([[0, 10]], dtype=np.int64)):
        with pytest.raises(TypeError) as info:
            compute_feature_set_batch(sample(10), bad)
        assert "while processing 'offsets'" in info.value.__notes__
    with pytest.raises(TypeError, match="not contiguous"):
        compute_feature_set_batch(sample(10), np.array([0, 9, 10, 10], dtype=np.int64)[::2])


def test_batch_failures():
    values, offsets = panel([20, 20, 20, 20])
    values[45] = np.nan  # series 2
    with pytest.raises(ValueError, match="^values must be non-empty and finite$"):
        compute_feature_set_batch(values, offsets, n_workers=2)
    good, offsets = panel([20, 20])
    with pytest.raises(ValueError, match="^period must be >= 2 when provided$"):
        compute_feature_set_batch(good, offsets, 1)
    with pytest.raises(ValueError, match="^window_size must be >= 2 when provided$"):
        compute_feature_set_batch(good, offsets, None, 0)
    with pytest.raises(ValueError, match="^thread pool could not be built"):
        compute_feature_set_batch(good, offsets, n_workers=10**6)
    # the pool is chosen before the offsets are checked
    with pytest.raises(ValueError, match="^thread pool could not be built"):
        compute_feature_set_batch(good, np.array([0, 3], dtype=np.int64), n_workers=10**6)


def test_batch_doc_and_signature():
    import inspect

    sig = inspect.signature(compute_feature_set_batch)
    assert str(sig) == "(values, offsets, period=None, window_size=None, n_workers=0)"
    assert compute_feature_set_batch.__doc__.endswith(
        "Native feature rows for a flat panel in one call; returns n_series * 12 values.")
    assert str(inspect.signature(compute_feature_set)) == "(values, period=None, window_size=None)"
    assert str(inspect.signature(compute_features)) == "(values, period=None)"


# --- the FFT plan cache under many lengths and threads -----------------------

def test_more_than_sixteen_lengths_from_several_threads_give_stable_results():
    lengths = list(range(40, 80))  # 40 lengths: the cache keeps only 16 plans
    series = {n: sample(n, seed=n) for n in lengths}
    expected = {n: compute_features(x)[0] for n, x in series.items()}
    mismatches = []

    def worker(offset):
        for k in range(3 * len(lengths)):
            n = lengths[(offset + 7 * k) % len(lengths)]
            if compute_features(series[n])[0] != expected[n]:
                mismatches.append(n)

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(6)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert mismatches == []
    for n, x in series.items():
        assert expected[n] == pytest.approx(spectral_entropy(list(map(float, x))), abs=1e-12)
