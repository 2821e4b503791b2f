import math

import numpy as np
import pytest

from conftest import internal_failure_type
from tidemark._lib.batch import generate_batch
from tidemark._lib.stochastic import cyclic, garch

TWO_PI = 6.283185307179586


def shocks(n, seed, dist=0, param=0.0):
    """The first n unit-scale shocks of a seed's stream (a flat cyclic series
    without cycles is exactly its noise)."""
    return cyclic(n, 0.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0, 1.0, seed, dist, param)


def batch(code, scalars, arrays, lengths, seeds, n_workers=0):
    n = len(lengths)
    return generate_batch(code, np.array(scalars, dtype=np.float64),
                          [np.array(a, dtype=np.float64) for a in arrays],
                          np.array(lengths, dtype=np.int32), np.array(seeds, dtype=np.uint64),
                          np.arange(3 * n, dtype=np.uint64), {}, n_workers)


def cyc(n=300, seed=1, base=5.0, trend=0.02, pmean=40.0, pstd=5.0, amean=2.0, astd=0.5, k=3,
        noise=0.3, dist=0, param=0.0):
    return cyclic(n, base, trend, pmean, pstd, amean, astd, k, noise, seed, dist, param)


def g(n=300, p=1, q=1, omega=0.1, alpha=(0.1,), beta=(0.8,), mu=0.5, var0=1.0, seed=1, dist=0,
      param=0.0):
    return garch(n, p, q, omega, np.array(alpha, dtype=np.float64),
                 np.array(beta, dtype=np.float64), mu, var0, seed, dist, param)


def garch_reference(n, p, q, omega, alpha, beta, mu, var0, z):
    total = n + 100
    m = max(p, q)
    y, e, s = [0.0] * total, [0.0] * total, [var0] * total
    draws = iter(z)
    for t in range(m, total):
        sigma2 = omega
        for j in range(q):
            sigma2 += (e[t - 1 - j] * e[t - 1 - j]) * alpha[j]
        for j in range(p):
            sigma2 += beta[j] * s[t - 1 - j]
        s[t] = sigma2
        e[t] = math.sqrt(sigma2) * next(draws)
        y[t] = e[t] + mu
    return y[100:]


def test_cyclic_without_cycles_or_noise_is_the_trend_line():
    out = cyc(n=500, k=0, noise=0.0)
    assert out.tolist() == [t * 0.02 + 5.0 for t in range(500)]
    noisy = cyc(n=500, k=0, noise=1.0, seed=4, dist=1, param=6.0)
    z = shocks(500, 4, 1, 6.0)
    assert noisy.tolist() == [zt + (t * 0.02 + 5.0) for t, zt in enumerate(z.tolist())]


def test_cyclic_cycle_follows_the_wobbling_phase():
    # One cycle of fixed period and amplitude: recover the drawn start phase
    # from the first sample, then the whole series must follow the recursion.
    period, amp, n = 25.0, 3.0, 400
    out = cyc(n=n, base=0.0, trend=0.0, pmean=period, pstd=0.0, amean=amp, astd=0.0, k=1,
              noise=0.0, seed=6)
    assert np.abs(out).max() <= amp
    best = None
    first = math.asin(max(-1.0, min(1.0, out[0] / amp)))
    for phase1 in (first, math.pi - first):
        phase = phase1 - TWO_PI / period  # the first sample already carries one step
        expected = []
        for t in range(n):
            wobble = math.sin((t * TWO_PI) / (period + period))
            phase = phase + TWO_PI / ((wobble * 0.2 + 1.0) * period)
            expected.append(math.sin(phase) * amp)
        err = np.abs(np.array(expected) - out).max()
        best = err if best is None else min(best, err)
    assert best < 1e-6


def test_cyclic_period_sign_is_irrelevant_and_amplitude_may_be_negative():
    kw = dict(pstd=0.0, astd=0.0, noise=0.0)
    assert cyc(pmean=-30.0, **kw).tobytes() == cyc(pmean=30.0, **kw).tobytes()
    pos, neg = cyc(amean=2.0, **kw), cyc(amean=-2.0, **kw)
    trend = np.array([t * 0.02 + 5.0 for t in range(300)])
    assert np.allclose(pos - trend, trend - neg, atol=1e-12)


def test_garch_matches_its_recursion_bit_for_bit():
    n, seed = 9000, 21  # long enough for the lag window to slide twice
    z = shocks(n + 100, seed, 1, 5.0).tolist()
    alpha, beta = (0.08, 0.05, 99.0), (0.6, 0.2, 99.0)  # extra entries are ignored
    out = g(n, 2, 2, 0.05, alpha, beta, 0.3, 0.5, seed, 1, 5.0)
    assert out.tolist() == garch_reference(n, 2, 2, 0.05, alpha, beta, 0.3, 0.5, z)
    out = g(n, 1, 1, 0.1, (0.1,), (0.8,), 0.5, 1.0, seed)
    assert out.tolist() == garch_reference(n, 1, 1, 0.1, (0.1,), (0.8,), 0.5, 1.0,
                                           shocks(n + 100, seed).tolist())


def test_garch_without_terms_is_iid_and_shorter_series_are_prefixes():
    z = shocks(350, 2)[100:]
    out = g(250, 0, 0, 4.0, (), (), 1.5, 1.0, seed=2)
    assert out.tolist() == [2.0 * zt + 1.5 for zt in z.tolist()]
    assert g(80, seed=3).tobytes() == g(200, seed=3)[:80].tobytes()


def test_garch_long_orders_leave_zeros():
    beta = (0.01,) * 150
    assert (g(40, 150, 0, 0.1, (), beta) == 0.0).all()
    out = g(50, 120, 1, 0.1, (0.1,), beta)
    assert (out[:20] == 0.0).all() and (out[20:] != 0.0).all()
    n, alpha = 9000, (0.001,) * 130
    z = shocks(n + 100 - 130, 5).tolist()
    assert g(n, 120, 130, 0.1, alpha, beta, 0.0, 2.0, 5).tolist() == garch_reference(
        n, 120, 130, 0.1, alpha, beta, 0.0, 2.0, z)


def test_garch_negative_variance_gives_nan():
    out = g(20, 0, 0, -1.0, (), ())
    assert np.isnan(out).all()


@pytest.mark.parametrize("call, message", [
    (lambda: cyc(k=-1), "cyclic: num_cycles must be >= 0"),
    (lambda: cyc(pstd=math.inf), "invalid normal params: std must be finite and >= 0"),
    (lambda: cyc(astd=math.nan), "invalid normal params: std must be finite and >= 0"),
    (lambda: cyc(noise=math.inf), "invalid normal params: std must be finite and >= 0"),
    (lambda: g(q=2), "garch: q exceeds"),
    (lambda: g(p=2), "garch: p exceeds"),
    (lambda: g(p=-1), "garch: p and q must be >= 0"),
    (lambda: g(q=-3), "garch: p and q must be >= 0"),
    (lambda: g(p=0, q=1, alpha=()), "garch: q exceeds"),
    (lambda: g(dist=1, param=2.0), "Student's t df must be > 2 for finite variance"),
])
def test_internal_failures(call, message):
    with pytest.raises(internal_failure_type()) as info:
        call()
    assert str(info.value).startswith(message)


def test_unused_cycle_parameters_are_not_checked():
    assert np.isfinite(cyc(k=0, pstd=math.inf, astd=math.nan)).all()


@pytest.mark.parametrize("call", [lambda n: cyc(n=n), lambda n: g(n=n)])
def test_length_must_be_positive(call):
    for n in (0, -1):
        with pytest.raises(ValueError, match="^length must be > 0$"):
            call(n)


CYCLIC_SLOTS = [5.0, 0.02, 40.0, 5.0, 2.0, 0.5, 3.9, 0.3, 2, 0.0]
GARCH_SLOTS = [1.7, 2.2, 0.05, 0.3, 0.5, 1, 5.0]
GARCH_ARRAYS = [[0.08, 0.05], [0.6]]


@pytest.mark.parametrize("code, scalars, arrays, direct", [
    (9, CYCLIC_SLOTS, [], lambda n, s: cyc(n, s, 5.0, 0.02, 40.0, 5.0, 2.0, 0.5, 3, 0.3, 2, 0.0)),
    (10, GARCH_SLOTS, GARCH_ARRAYS,
     lambda n, s: g(n, 1, 2, 0.05, (0.08, 0.05), (0.6,), 0.3, 0.5, s, 1, 5.0)),
])
def test_batch_equals_direct_call_for_any_worker_count(code, scalars, arrays, direct):
    lengths, seeds = [300, 1, 0, 1000], [5, 6, 7, 8]
    runs = [batch(code, scalars + [7.0], arrays + [[1.0]], lengths, seeds, w) for w in (0, 1, 3)]
    for i, (n, s) in enumerate(zip(lengths, seeds)):
        expected = direct(n, s).tobytes() if n else b""
        for run in runs:
            assert run[i]["values"].tobytes() == expected


@pytest.mark.parametrize("code, scalars, arrays, message", [
    (9, CYCLIC_SLOTS[:9], [], "cyclic: expected >= 10 scalar params, got 9"),
    (10, GARCH_SLOTS[:6], [], "garch: expected >= 7 scalar params, got 6"),
    (10, GARCH_SLOTS, GARCH_ARRAYS[:1], "garch: expected >= 2 array params, got 1"),
])
def test_batch_count_messages(code, scalars, arrays, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        batch(code, scalars, arrays, [10], [1])


@pytest.mark.parametrize("code, scalars, arrays, message", [
    (9, CYCLIC_SLOTS[:6] + [-2.0] + CYCLIC_SLOTS[7:], [], "cyclic: num_cycles"),
    (10, [3, 1] + GARCH_SLOTS[2:], GARCH_ARRAYS, "garch: p exceeds"),
    (10, [1, 3] + GARCH_SLOTS[2:], GARCH_ARRAYS, "garch: q exceeds"),
    (10, [-1e10, 1] + GARCH_SLOTS[2:], GARCH_ARRAYS, "garch: p and q"),
])
def test_batch_rows_refuse_unservable_orders(code, scalars, arrays, message):
    with pytest.raises(internal_failure_type()) as info:
        batch(code, scalars, arrays, [10, 0], [1, 2])
    assert str(info.value).startswith(message)
