import math

import numpy as np
import pytest

from conftest import internal_failure_type
from tidemark._lib.batch import generate_batch
from tidemark._lib.statistical import random_walk
from tidemark._lib.stochastic import (
    bounded_process,
    chaotic_system,
    hawkes_process,
    levy_process,
    poisson_process,
)

INF = math.inf
NAN = math.nan


def hawkes(length=200, mu=0.5, alpha=0.8, beta=1.2, kernel=0, p=1.5, output=0, max_events=10**6,
           seed=1):
    return hawkes_process(length, mu, alpha, beta, kernel, p, output, max_events, seed)


def chaotic(length=50, system=0, sigma=10.0, rho=28.0, beta=8.0 / 3.0, dt=0.01, r=3.9,
            mg_beta=0.2, mg_gamma=0.1, mg_n=10.0, mg_tau=17, noise=0.0, eps=0.1, seed=1):
    return chaotic_system(length, system, sigma, rho, beta, dt, r, mg_beta, mg_gamma, mg_n, mg_tau,
                          noise, eps, seed)


def bounded(length=200, model=0, phi=0.9, omega=0.05, kappa=20.0, sigma=0.3, init=0.5,
            lower=-2.0, upper=3.0, seed=1):
    return bounded_process(length, model, phi, omega, kappa, sigma, init, lower, upper, seed)


def levy(length=200, alpha=1.7, beta=0.5, scale=1.0, loc=0.0, cumulative=False, init=0.0, seed=1):
    return levy_process(length, alpha, beta, scale, loc, cumulative, init, seed)


# name -> call(length, seed); one entry per code path worth covering.
GENERATORS = {
    "poisson": lambda n, s: poisson_process(n, 2.5, False, s),
    "poisson cumulative": lambda n, s: poisson_process(n, 20.0, True, s),
    "hawkes exp counts": lambda n, s: hawkes(n, seed=s),
    "hawkes exp intensity": lambda n, s: hawkes(n, output=1, seed=s),
    "hawkes power indicators": lambda n, s: hawkes(n, alpha=0.5, beta=1.0, kernel=3, p=2.0,
                                                   output=7, seed=s),
    "hawkes power intensity": lambda n, s: hawkes(n, alpha=0.5, beta=1.0, kernel=1, p=2.0,
                                                  output=1, seed=s),
    "lorenz": lambda n, s: chaotic(n, seed=s),
    "logistic noisy": lambda n, s: chaotic(n, system=1, noise=0.05, seed=s),
    "mackey-glass": lambda n, s: chaotic(n, system=2, seed=s),
    "bounded beta": lambda n, s: bounded(n, seed=s),
    "bounded logistic": lambda n, s: bounded(n, model=1, phi=0.8, seed=s),
    "levy general": lambda n, s: levy(n, seed=s),
    "levy cauchy": lambda n, s: levy(n, alpha=1.0, beta=0.7, cumulative=True, init=3.0, seed=s),
    "levy gaussian": lambda n, s: levy(n, alpha=2.0, scale=0.5, seed=s),
}


@pytest.mark.parametrize("name", GENERATORS)
def test_same_seed_same_bits_other_seed_other_series(name):
    gen = GENERATORS[name]
    a, b, c = gen(150, 7), gen(150, 7), gen(150, 8)
    assert a.dtype == np.float64 and a.shape == (150,) and a.flags.c_contiguous
    assert a.tobytes() == b.tobytes()
    assert a.tobytes() != c.tobytes()


@pytest.mark.parametrize("name", ["poisson", "hawkes exp counts", "lorenz", "bounded beta",
                                  "levy general"])
@pytest.mark.parametrize("length", [0, -3])
def test_length_must_be_positive(name, length):
    with pytest.raises(ValueError, match="^length must be > 0$"):
        GENERATORS[name](length, 1)


# --- batch rows -------------------------------------------------------------

# (code, scalar slots, the equivalent direct call of (length, seed))
ROWS = [
    (8, [2.5, 0.0], lambda n, s: poisson_process(n, 2.5, False, s)),
    (8, [20.0, NAN], lambda n, s: poisson_process(n, 20.0, True, s)),
    (11, [0.5, 0.8, 1.2, 0.9, 1.5, 0.0, 1e6], lambda n, s: hawkes(n, seed=s)),
    (11, [0.5, 0.5, 1.0, 2.7, 2.0, 1.9, 500.5],
     lambda n, s: hawkes(n, alpha=0.5, beta=1.0, kernel=2, p=2.0, output=1, max_events=500,
                         seed=s)),
    (12, [-0.5, 10.0, 28.0, 8.0 / 3.0, 0.01, 3.9, 0.2, 0.1, 10.0, 17.0, 0.5, 0.1],
     lambda n, s: chaotic(n, noise=0.5, seed=s)),
    (12, [1.99, 10.0, 28.0, 8.0 / 3.0, 0.01, 3.9, 0.2, 0.1, 10.0, 17.0, 0.0, 0.1],
     lambda n, s: chaotic(n, system=1, seed=s)),
    (12, [2.0, 10.0, 28.0, 8.0 / 3.0, 0.01, 3.9, 0.2, 0.1, 10.0, 17.9, 0.01, 0.1],
     lambda n, s: chaotic(n, system=2, noise=0.01, seed=s)),
    (13, [0.0, 0.9, 0.05, 20.0, 0.3, 0.5, -2.0, 3.0], lambda n, s: bounded(n, seed=s)),
    (13, [1.5, 0.8, 0.05, 20.0, 0.3, 0.5, -2.0, 3.0],
     lambda n, s: bounded(n, model=1, phi=0.8, seed=s)),
    (14, [1.7, 0.5, 1.0, 0.0, 0.0, 0.0], lambda n, s: levy(n, seed=s)),
    (14, [1.0, 0.7, 1.0, 0.0, -1.0, 3.0],
     lambda n, s: levy(n, alpha=1.0, beta=0.7, cumulative=True, init=3.0, seed=s)),
    (14, [2.0, 0.5, 0.5, 0.0, 0.0, 0.0], lambda n, s: levy(n, alpha=2.0, scale=0.5, seed=s)),
]


def run_batch(code, scalars, lengths, n_workers=0):
    n = len(lengths)
    gen_seeds = np.arange(n, dtype=np.uint64) * np.uint64(7919) + np.uint64(11)
    pi_seeds = np.arange(3 * n, dtype=np.uint64)
    out = generate_batch(code, np.array(scalars, dtype=np.float64), [],
                         np.array(lengths, dtype=np.int32), gen_seeds, pi_seeds, {}, n_workers)
    return out, gen_seeds


@pytest.mark.parametrize("code, scalars, direct", ROWS)
def test_batch_equals_direct_call_and_ignores_worker_count(code, scalars, direct):
    lengths = (60, 1, 0, 130)
    out, gen_seeds = run_batch(code, scalars, lengths)
    for d, n, s in zip(out, lengths, gen_seeds):
        if n == 0:
            assert d["values"].dtype == np.float64 and d["values"].size == 0
        else:
            assert d["values"].tobytes() == direct(n, int(s)).tobytes()
    for workers in (1, 3):
        again, _ = run_batch(code, scalars, lengths, workers)
        assert [d["values"].tobytes() for d in again] == [d["values"].tobytes() for d in out]


@pytest.mark.parametrize("code, minimum", [(8, 2), (11, 7), (12, 12), (13, 8), (14, 6)])
def test_batch_rows_need_their_scalars(code, minimum):
    name = {8: "poisson_process", 11: "hawkes_process", 12: "chaotic_system",
            13: "bounded_process", 14: "levy_process"}[code]
    with pytest.raises(ValueError, match=f"^{name}: expected >= {minimum} scalar params, got "
                                         f"{minimum - 1}$"):
        run_batch(code, [0.5] * (minimum - 1), (5,))


def test_batch_bounded_row_skips_the_bound_check():
    out, seeds = run_batch(13, [1.0, 0.8, 0.0, 0.0, 0.3, 0.5, 3.0, -2.0], (40,))
    values = out[0]["values"]
    # The interval is mapped the other way round.
    assert np.all((values <= 3.0) & (values >= -2.0))


@pytest.mark.parametrize("scalars", [
    [INF, 0.0, 1.0, 0.0, 1.0, 0.0, 10.0],     # infinite bound from the start
    [0.5, 1e308, 1.0, 0.0, 1.0, 0.0, 10.0],   # the bound overflows mid-run
    [0.5, 0.8, 1.2, 0.0, 1.0, 0.0, -1.0],     # negative max_events
])
def test_batch_hawkes_failures_are_internal_failures(scalars):
    with pytest.raises(internal_failure_type()):
        run_batch(11, scalars, (20, 20))


# --- poisson_process --------------------------------------------------------


@pytest.mark.parametrize("rate", [0.0, -3.0, -INF])
@pytest.mark.parametrize("cumulative", [False, True])
def test_poisson_non_positive_rate_is_all_zeros(rate, cumulative):
    assert not poisson_process(30, rate, cumulative, 4).any()


@pytest.mark.parametrize("rate", [0.7, 40.0])  # both sampling methods
def test_poisson_cumulative_is_the_running_sum_of_counts(rate):
    counts = poisson_process(500, rate, False, 9)
    cumulative = poisson_process(500, rate, True, 9)
    assert np.array_equal(counts, np.floor(counts)) and counts.min() >= 0
    assert np.all(np.diff(cumulative) >= 0)
    assert np.array_equal(cumulative, np.cumsum(counts))
    assert abs(counts.mean() - rate) < 4 * math.sqrt(rate / 500)


@pytest.mark.parametrize("rate", [INF, NAN])
def test_poisson_non_finite_rate_fails(rate):
    with pytest.raises(internal_failure_type(), match="lambda must be finite"):
        poisson_process(5, rate, False, 1)


# --- hawkes_process ---------------------------------------------------------


@pytest.mark.parametrize("kernel", [0, 1])
def test_hawkes_without_events(kernel):
    assert not hawkes(50, kernel=kernel, max_events=0).any()
    assert not hawkes(50, kernel=kernel, output=2, max_events=0).any()
    assert np.array_equal(hawkes(50, mu=0.3, kernel=kernel, output=1, max_events=0),
                          np.full(50, 0.3))


def test_hawkes_without_excitation_is_homogeneous_poisson():
    counts = hawkes(20000, mu=2.0, alpha=0.0)
    intensity = hawkes(20000, mu=2.0, alpha=0.0, output=1)
    assert abs(counts.mean() - 2.0) < 0.05
    assert np.array_equal(intensity, np.full(20000, 2.0))


@pytest.mark.parametrize("kernel, alpha, beta, p, rate", [
    (0, 0.8, 1.2, 0.0, 1.5),   # branching ratio alpha / beta = 2/3
    (1, 0.5, 1.0, 2.0, 1.0),   # integral alpha / (beta (p - 1)) = 1/2
])
def test_hawkes_stationary_event_rate(kernel, alpha, beta, p, rate):
    counts = hawkes(4000, mu=0.5, alpha=alpha, beta=beta, kernel=kernel, p=p)
    assert abs(counts.mean() / rate - 1.0) < 0.15


def test_hawkes_outputs_describe_the_same_events():
    counts = hawkes(300, seed=5)
    indicators = hawkes(300, output=-1, seed=5)
    assert np.array_equal(indicators, (counts > 0).astype(np.float64))


@pytest.mark.parametrize("kernel", [0, 4])
def test_hawkes_intensity_without_decay_counts_past_events(kernel):
    # With beta = 0 each event adds exactly alpha (both kernels).
    mu, alpha = 0.25, 0.5
    counts = hawkes(200, mu=mu, alpha=alpha, beta=0.0, kernel=kernel, max_events=60, seed=3)
    intensity = hawkes(200, mu=mu, alpha=alpha, beta=0.0, kernel=kernel, output=1, max_events=60,
                       seed=3)
    past = (intensity - mu) / alpha
    assert np.array_equal(past, np.round(past))
    below = np.concatenate(([0.0], np.cumsum(counts)[:-1]))
    assert np.all(past >= below) and np.all(past <= np.cumsum(counts))
    assert counts.sum() == 60  # an explosive process stops at max_events


@pytest.mark.parametrize("max_events", [1, 7, 100])
def test_hawkes_never_exceeds_max_events(max_events):
    counts = hawkes(100, mu=5.0, max_events=max_events)
    assert counts.sum() == max_events


@pytest.mark.parametrize("kwargs, message", [
    ({"mu": -1.0, "alpha": 0.0}, "^invalid exponential param: lambda must be > 0 and finite$"),
    ({"mu": NAN, "alpha": 0.0}, "^invalid exponential param: lambda must be > 0 and finite$"),
    ({"mu": INF}, "bound is infinite"),
    ({"mu": 1.0, "alpha": 1e308}, "bound is infinite"),  # overflows after a few events
    ({"kernel": 1, "mu": 1.0, "alpha": 1e308, "beta": 0.0}, "bound is infinite"),
    ({"max_events": -1}, "max_events"),
])
def test_hawkes_unbounded_inputs_end_with_an_error(kwargs, message):
    with pytest.raises(internal_failure_type(), match=message):
        hawkes(100, **kwargs)


def test_hawkes_event_list_grows_with_events_not_max_events():
    # 2^31 - 1 reserved times would be 16 GiB; a few events need almost nothing.
    counts = hawkes(50, mu=0.2, alpha=0.0, max_events=2**31 - 1)
    assert 0 < counts.sum() < 50


# --- levy_process -----------------------------------------------------------


def test_levy_alpha_two_is_gaussian_with_variance_two_scale_squared():
    x = levy(40000, alpha=2.0, beta=0.9, scale=3.0, loc=1.0)
    assert abs(x.mean() - 1.0) < 0.1
    assert abs(x.var() / 18.0 - 1.0) < 0.03
    # One normal draw per value: the same first normal as a random walk's.
    z = random_walk(1, 0.0, 1.0, 0.0, 77, 0, 0.0)[0]
    assert levy(1, alpha=2.0, scale=1.0, seed=77)[0] == z * 1.4142135623730951


def test_levy_alpha_one_symmetric_is_standard_cauchy():
    x = levy(40000, alpha=1.0, beta=0.0)
    assert abs(np.mean(np.abs(x) < 1.0) - 0.5) < 0.01
    assert abs(np.median(x)) < 0.03


def test_levy_matches_scipy_stable_distribution():
    stats = pytest.importorskip("scipy.stats")
    ours = levy(20000, alpha=1.7, beta=0.5, seed=2)
    theirs = stats.levy_stable.rvs(1.7, 0.5, size=20000, random_state=np.random.default_rng(3))
    assert stats.ks_2samp(ours, theirs).pvalue > 1e-3


def test_levy_cumulative_is_the_running_sum_of_increments():
    inc = levy(300, cumulative=False, init=5.0, seed=4)
    assert np.array_equal(levy(300, cumulative=True, init=0.0, seed=4), np.cumsum(inc))
    shifted = levy(300, cumulative=True, init=5.0, seed=4)
    assert np.allclose(shifted - np.cumsum(inc), 5.0, atol=1e-9 * np.abs(np.cumsum(inc)).max())


# --- bounded_process --------------------------------------------------------


@pytest.mark.parametrize("model", [0, 1])
@pytest.mark.parametrize("kappa, sigma, phi", [(20.0, 0.3, 0.9), (1e-3, 30.0, 1.0),
                                              (1e6, 1e-3, 0.2)])
def test_bounded_stays_within_its_interval(model, kappa, sigma, phi):
    # kappa = 1e-3 underflows both gammas to 0: the proportion clamps instead of NaN.
    y = bounded(2000, model=model, phi=phi, kappa=kappa, sigma=sigma, lower=-1.5, upper=4.0)
    assert np.all((y >= -1.5) & (y <= 4.0))


def test_bounded_logistic_without_noise_is_constant():
    y = bounded(50, model=1, phi=1.0, sigma=0.0, init=0.3, lower=10.0, upper=20.0)
    z = math.log(0.3 / (1.0 - 0.3))
    assert np.array_equal(y, np.full(50, 1.0 / (math.exp(-z) + 1.0) * 10.0 + 10.0))


def test_bounded_logistic_reaches_upper_only_past_the_logit_bound():
    y = bounded(60, model=1, phi=0.0, sigma=1e6, lower=0.0, upper=1.0, seed=6)
    # |z| is far beyond 500 at every step: upper exactly, or the floor exp(-500).
    assert np.all((y == 1.0) | (y < 1e-200))
    assert (y == 1.0).any() and (y < 1.0).any()
    assert np.all(bounded(2000, model=1, phi=0.9, sigma=3.0) < 3.0)


@pytest.mark.parametrize("lower, upper", [(1.0, 1.0), (2.0, 1.0)])
def test_bounded_lower_must_be_below_upper(lower, upper):
    with pytest.raises(ValueError, match="^lower must be < upper$"):
        bounded(lower=lower, upper=upper)


def test_bounded_nan_bound_passes():
    assert np.isnan(bounded(5, lower=NAN)).all()


@pytest.mark.parametrize("kappa", [0.0, -1.0, NAN])
def test_bounded_beta_needs_positive_kappa(kappa):
    with pytest.raises(internal_failure_type(),
                       match="^invalid gamma params: shape and scale must be > 0 and finite$"):
        bounded(kappa=kappa)


# --- chaotic_system ---------------------------------------------------------


def rk4_lorenz(n, sigma, rho, beta, h, stride):
    """The reference integration, in the same arithmetic, from (1, 1, 1)."""
    def f(x, y, z):
        return sigma * (y - x), x * (rho - z) - y, x * y - beta * z

    x = y = z = 1.0
    half, weight = 0.5 * h, h / 6.0
    out = []
    for rec in range(n + 1000):
        for _ in range(stride):
            k1 = f(x, y, z)
            k2 = f(x + half * k1[0], y + half * k1[1], z + half * k1[2])
            k3 = f(x + half * k2[0], y + half * k2[1], z + half * k2[2])
            k4 = f(x + h * k3[0], y + h * k3[1], z + h * k3[2])
            x, y, z = (v + ((2.0 * c + (a + 2.0 * b)) + d) * weight
                       for v, a, b, c, d in zip((x, y, z), k1, k2, k3, k4))
        if rec >= 1000:
            out.append(x)
    return np.array(out)


def test_lorenz_is_rk4_sampled_once_per_unit():
    got = chaotic(8, sigma=10.0, rho=0.5, beta=2.0, dt=0.25, eps=0.0)
    assert got.tobytes() == rk4_lorenz(8, 10.0, 0.5, 2.0, 0.25, 4).tobytes()


@pytest.mark.parametrize("system", [0, 3, -1, 2**31 - 1])
def test_lorenz_is_the_default_system(system):
    assert chaotic(30, system=system).tobytes() == chaotic(30, system=0).tobytes()


def test_logistic_map_at_r4_from_one_half_falls_to_zero():
    assert not chaotic(40, system=1, r=4.0, eps=0.0).any()


def test_logistic_map_iterates_after_the_transient():
    r, x = 3.7, 0.5
    for _ in range(500):
        x = (1.0 - x) * (r * x)
    expected = []
    for _ in range(20):
        x = (1.0 - x) * (r * x)
        expected.append(x)
    assert chaotic(20, system=1, r=r, eps=0.0).tolist() == expected


def test_logistic_map_nan_start_stays_nan():
    assert np.isnan(chaotic(5, system=1, eps=NAN)).all()


def mackey_glass_reference(n, beta, gamma, p, tau):
    ring = [1.2] * (tau + 1)
    x, out = 1.2, []
    for k in range(n + 500):
        d = ring[k % (tau + 1)]
        x = x + ((beta * d) / (math.pow(d, p) + 1.0) - gamma * x)
        ring[k % (tau + 1)] = x
        out.append(x)
    return out[500:]


@pytest.mark.parametrize("tau", [0, 3, 17])
def test_mackey_glass_matches_its_recursion(tau):
    got = chaotic(60, system=2, mg_beta=0.2, mg_gamma=0.1, mg_n=9.65, mg_tau=tau, eps=0.0)
    assert got.tolist() == mackey_glass_reference(60, 0.2, 0.1, 9.65, tau)


def test_mackey_glass_at_rest_and_with_a_delay_beyond_the_run():
    assert np.array_equal(chaotic(20, system=2, mg_beta=0.0, mg_gamma=0.0, eps=0.0),
                          np.full(20, 1.2))
    # Every delayed value is the start: a huge delay needs no huge history.
    long_delay = chaotic(20, system=2, mg_tau=2**31 - 1)
    assert long_delay.tobytes() == chaotic(20, system=2, mg_tau=519).tobytes()


def test_observation_noise_is_drawn_after_the_system():
    clean = chaotic(400, system=2)
    assert chaotic(400, system=2, noise=0.0).tobytes() == clean.tobytes()
    assert chaotic(400, system=2, noise=NAN).tobytes() == clean.tobytes()
    assert chaotic(400, system=2, noise=-1.0).tobytes() == clean.tobytes()
    noise = chaotic(400, system=2, noise=0.5) - clean
    assert abs(noise.std() / 0.5 - 1.0) < 0.15


@pytest.mark.parametrize("kwargs, message", [
    ({"noise": INF}, "^invalid normal params: std must be finite and >= 0$"),
    ({"system": 2, "mg_tau": -1}, "mg_tau"),
    ({"system": 2, "mg_tau": -(2**31)}, "mg_tau"),
])
def test_chaotic_failures(kwargs, message):
    with pytest.raises(internal_failure_type(), match=message):
        chaotic(10, **kwargs)
