import math

import numpy as np
import pytest

from conftest import internal_failure_type
from tidemark._lib.batch import generate_batch
from tidemark._lib.stochastic import (cyclic, geometric_brownian_motion, jump_diffusion,
                                      ornstein_uhlenbeck)


def shocks(n, seed, dist=0, param=0.0):
    """The first n unit-scale shocks of a seed's stream: a flat cyclic series
    without cycles is exactly its noise."""
    return cyclic(n, 0.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0, 1.0, seed, dist, param)


def batch(code, scalars, lengths, seeds, n_workers=0):
    n = len(lengths)
    return generate_batch(code, np.array(scalars, dtype=np.float64), [],
                          np.array(lengths, dtype=np.int32), np.array(seeds, dtype=np.uint64),
                          np.arange(3 * n, dtype=np.uint64), {}, n_workers)


def ou(n, seed, dist=0, param=0.0, theta=0.7, mu=2.0, sigma=0.5, x0=-1.0, dt=0.1):
    return ornstein_uhlenbeck(n, theta, mu, sigma, x0, dt, seed, dist, param)


def gbm(n, seed, dist=0, param=0.0, mu=0.05, sigma=0.3, x0=100.0, dt=1 / 252):
    return geometric_brownian_motion(n, mu, sigma, x0, dt, seed, dist, param)


def jd(n, seed, dist=0, param=0.0, mu=0.05, sigma=0.3, lam=20.0, jmean=-0.01, jstd=0.05,
       x0=100.0, dt=1 / 252):
    return jump_diffusion(n, mu, sigma, lam, jmean, jstd, x0, dt, seed, dist, param)


@pytest.mark.parametrize("dist, param", [(0, 0.0), (1, 4.0), (2, 0.0), (3, 0.0), (4, 3.0)])
def test_ou_and_gbm_follow_their_recursions_bit_for_bit(dist, param):
    n, seed = 5000, 17  # several blocks of the GBM exponent pass
    e = shocks(n - 1, seed, dist, param).tolist()

    theta, mu, sigma, x, dt = 0.7, 2.0, 0.5, -1.0, 0.1
    v = sigma * math.sqrt(dt)
    expected = [x]
    for eps in e:
        x = eps * v + ((mu - x) * theta * dt + x)
        expected.append(x)
    assert ou(n, seed, dist, param).tolist() == expected

    mu, sigma, x, dt = 0.05, 0.3, 100.0, 1 / 252
    a = (mu + (-0.5 * sigma) * sigma) * dt
    v = math.sqrt(dt) * sigma
    expected = [x]
    for eps in e:
        x = x * math.exp(eps * v + a)
        expected.append(x)
    assert gbm(n, seed, dist, param).tolist() == expected


def test_same_seed_same_bits_other_seed_other_path():
    for gen in (ou, gbm, jd):
        a, b, c = gen(500, 3), gen(500, 3), gen(500, 4)
        assert a.dtype == np.float64 and a.size == 500
        assert a.tobytes() == b.tobytes() and a.tobytes() != c.tobytes()


@pytest.mark.parametrize("gen", [ou, gbm, jd])
def test_length_one_is_the_initial_value_and_short_lengths_refused(gen):
    assert gen(1, 5).tolist() == [gen(2, 5)[0]]
    for n in (0, -3):
        with pytest.raises(ValueError, match="^length must be > 0$"):
            gen(n, 5)


def test_deterministic_ou_jumps_to_the_mean():
    out = ou(50, 9, theta=1.0, mu=3.25, sigma=0.0, x0=10.0, dt=1.0)
    assert out[0] == 10.0
    assert np.allclose(out[1:], 3.25, rtol=0, atol=1e-15)


@pytest.mark.parametrize("gen", [gbm, jd])
def test_multiplicative_paths_keep_zero_and_sign(gen):
    assert (gen(300, 2, x0=0.0) == 0.0).all()
    neg = gen(300, 2, x0=-5.0)
    assert (neg < 0).all()


@pytest.mark.parametrize("lam", [0.0, -4.0, -math.inf])
def test_jump_diffusion_without_jumps_is_gbm(lam):
    for dist, param in [(0, 0.0), (1, 5.0), (3, 0.0)]:
        assert jd(3000, 8, dist, param, lam=lam).tobytes() == gbm(3000, 8, dist, param).tobytes()


def test_jumps_add_the_expected_drift():
    # log-increments: drift a per step plus lambda*dt*jump_mean on average
    dt, lam, jmean = 0.01, 30.0, 0.02
    out = jd(20_001, 4, mu=0.0, sigma=0.1, lam=lam, jmean=jmean, jstd=0.01, x0=1.0, dt=dt)
    steps = np.diff(np.log(out))
    a = (0.0 + (-0.5 * 0.1) * 0.1) * dt
    assert abs(steps.mean() - (a + lam * dt * jmean)) < 5e-4


def test_failures_surface_as_internal_failure():
    failure = internal_failure_type()
    cases = [
        (lambda: ou(10, 1, dist=1, param=2.0), "Student's t df must be > 2 for finite variance"),
        (lambda: jd(10, 1, lam=math.nan), "invalid poisson param: lambda must be finite"),
        (lambda: jd(10, 1, lam=math.inf), "invalid poisson param: lambda must be finite"),
        # the jump-size spec (uniform, scale 0) is checked when a jump is drawn
        (lambda: jd(100, 1, dist=3, lam=50.0, jstd=0.0),
         "invalid uniform innovation param: scale must be > 0"),
    ]
    for call, message in cases:
        with pytest.raises(failure) as info:
            call()
        assert str(info.value).startswith(message)
    # nothing is drawn for one value, and no jump means no jump-size check
    assert jd(1, 1, lam=math.nan).tolist() == [100.0]
    assert jd(100, 1, dist=3, lam=0.0, jstd=0.0).size == 100


def test_negative_dt_gives_nan_after_the_start():
    out = ou(20, 1, dt=-0.1)
    assert out[0] == -1.0 and np.isnan(out[1:]).all()


# (code, scalar slots, direct call of (length, seed))
ROWS = [
    (5, [0.7, 2.0, 0.5, -1.0, 0.1, 1, 5.0], lambda n, s: ou(n, s, 1, 5.0)),
    (6, [0.05, 0.3, 100.0, 1 / 252, 2.9, 0.0], lambda n, s: gbm(n, s, 2, 0.0)),
    (7, [0.05, 0.3, 20.0, -0.01, 0.05, 100.0, 1 / 252, 4, -2.0],
     lambda n, s: jd(n, s, 4, -2.0)),
]


@pytest.mark.parametrize("code, scalars, direct", ROWS)
def test_batch_equals_direct_call_for_any_worker_count(code, scalars, direct):
    lengths, seeds = [300, 1, 2, 1000, 0], [11, 12, 13, 14, 15]
    runs = [batch(code, scalars + [99.0], lengths, seeds, w) for w in (0, 1, 3)]
    for i, (n, s) in enumerate(zip(lengths, seeds)):
        expected = direct(n, s).tobytes() if n else b""
        for run in runs:
            assert run[i]["values"].tobytes() == expected


@pytest.mark.parametrize("code, minimum, name",
                         [(5, 7, "ornstein_uhlenbeck"), (6, 6, "geometric_brownian_motion"),
                          (7, 9, "jump_diffusion")])
def test_batch_scalar_count(code, minimum, name):
    with pytest.raises(ValueError, match=f"^{name}: expected >= {minimum} scalar params, "
                                         f"got {minimum - 1}$"):
        batch(code, [0.1] * (minimum - 1), [10], [1])


def test_batch_innovation_slot_is_truncated_and_saturated():
    base = batch(5, [0.7, 2.0, 0.5, -1.0, 0.1, 1.9, 5.0], [50], [3])[0]["values"]
    assert np.array_equal(base, ou(50, 3, 1, 5.0))
    for slot in (math.nan, 1e12, -1e12):  # 0, INT32_MAX, INT32_MIN: all normal
        out = batch(5, [0.7, 2.0, 0.5, -1.0, 0.1, slot, 5.0], [50], [3])[0]["values"]
        assert np.array_equal(out, ou(50, 3, 0, 0.0))


def test_signatures_have_no_defaults():
    import inspect

    from tidemark._lib.stochastic import garch

    expected = {
        ornstein_uhlenbeck: "length theta mu sigma initial_value dt seed innov_dist innov_param",
        geometric_brownian_motion: "length mu sigma initial_value dt seed innov_dist innov_param",
        jump_diffusion: "length mu sigma lambda_jump jump_mean jump_std initial_value dt seed "
                        "innov_dist innov_param",
        cyclic: "length base_level trend cycle_period_mean cycle_period_std "
                "cycle_amplitude_mean cycle_amplitude_std num_cycles noise_std seed innov_dist "
                "innov_param",
        garch: "length p q omega alpha_arr beta_arr mu initial_variance seed innov_dist "
               "innov_param",
    }
    for fn, names in expected.items():
        params = inspect.signature(fn).parameters
        assert list(params) == names.split()
        assert all(p.default is p.empty for p in params.values())
