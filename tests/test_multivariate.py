import math

import numpy as np
import pytest

from conftest import internal_failure_type
from tidemark._lib.batch import generate_batch
from tidemark._lib.distributions import gamma_ppf, norm_cdf, norm_ppf
from tidemark._lib.multivariate import copula, fbm, gaussian_process, state_space, var_process

A = np.array
EYE2 = np.eye(2).ravel()
# A positive definite 3 x 3 covariance and a stable VAR(2) on it.
SIGMA3 = A([1.0, 0.3, 0.1, 0.3, 2.0, -0.4, 0.1, -0.4, 1.5])
COEF3 = A([0.5, 0.1, 0.0, -0.2, 0.3, 0.1, 0.0, 0.2, 0.4,
           0.1, 0.0, 0.05, 0.0, -0.1, 0.0, 0.05, 0.0, 0.1])


def var3(length=200, seed=1, dist=0, param=0.0, intercept=A([1.0, -1.0, 0.5])):
    return var_process(length, 3, 2, COEF3, intercept, SIGMA3, seed, dist, param)


# Local level plus slope, observed with noise: S = 2, O = 1.
SS_ARRAYS = [A([1.0, 1.0, 0.0, 1.0]), A([1.0, 0.0]), A([0.1, 0.02, 0.02, 0.05]), A([0.5]),
             A([3.0, 0.1]), A([1.0, 0.0, 0.0, 0.2])]


def ss(length=200, seed=1, dist=0, param=0.0, arrays=SS_ARRAYS, s=2, o=1):
    return state_space(length, s, o, *arrays, seed, dist, param)


def cop(length=200, seed=1, k=2, ctype=0, df=5.0, corr=A([1.0, 0.6, 0.6, 1.0]), marginal=0,
        p1=0.0, p2=1.0):
    return copula(length, k, ctype, df, corr, marginal, p1, p2, seed)


def gp(length=200, seed=1, kernel=0, ell=5.0, amp=1.5, period=12.0, mean=0.0, noise=0.0):
    return gaussian_process(length, kernel, ell, amp, period, mean, noise, seed)


def fbm_call(length=200, seed=1, hurst=0.7, sigma=1.0, initial=0.0, cumulative=False, method=2):
    return fbm(length, hurst, sigma, initial, cumulative, method, seed)


GENERATORS = {
    "var_process": var3,
    "state_space": ss,
    "copula_gauss": cop,
    "copula_t_gamma": lambda **kw: cop(ctype=1, marginal=4, p1=2.0, p2=1.5, **kw),
    "gp_se": gp,
    "gp_periodic": lambda **kw: gp(length=60, kernel=4, noise=0.01, **kw),
    "fbm_hosking": lambda **kw: fbm_call(method=1, **kw),
    "fbm_davies_harte": fbm_call,
    "fbm_dense": lambda **kw: fbm_call(length=100, method=0, cumulative=True, **kw),
}


@pytest.mark.parametrize("name", GENERATORS)
def test_same_seed_same_bits_other_seed_other_series(name):
    gen = GENERATORS[name]
    a, b, c = gen(seed=7), gen(seed=7), gen(seed=8)
    assert a.dtype == np.float64 and a.flags.c_contiguous and np.isfinite(a).all()
    assert a.tobytes() == b.tobytes()
    assert a.tobytes() != c.tobytes()


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: var_process(0, 0, 0, A([]), A([]), A([]), 1, 0, 0.0), "length must be > 0"),
        (lambda: var_process(5, 0, 0, A([]), A([]), A([]), 1, 0, 0.0), "n_variables must be > 0"),
        (lambda: var_process(5, 1, -1, A([]), A([]), A([]), 1, 0, 0.0), "order must be > 0"),
        (lambda: ss(length=-1, s=0, o=0), "length must be > 0"),
        (lambda: ss(s=0, o=0), "state_dim must be > 0"),
        (lambda: ss(o=0), "obs_dim must be > 0"),
        (lambda: cop(length=0, k=0), "length must be > 0"),
        (lambda: cop(k=-3), "n_variables must be > 0"),
        (lambda: gp(length=0), "length must be > 0"),
        (lambda: fbm_call(length=-2), "length must be > 0"),
    ],
)
def test_binding_checks_in_order(call, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        call()


@pytest.mark.parametrize(
    "call, fragment",
    [
        (lambda: var_process(5, 2, 2, np.zeros(7), np.zeros(2), EYE2, 1, 0, 0.0), "coef_matrices"),
        (lambda: var_process(5, 2, 1, np.zeros(4), np.zeros(3), EYE2, 1, 0, 0.0), "intercept"),
        (lambda: var_process(5, 2, 1, np.zeros(4), np.zeros(2), np.eye(3).ravel(), 1, 0, 0.0),
         "innovation_cov"),
        (lambda: ss(arrays=[A([1.0])] + SS_ARRAYS[1:]), "f_mat"),
        (lambda: ss(arrays=SS_ARRAYS[:1] + [A([1.0, 0.0, 0.0])] + SS_ARRAYS[2:]), "h_mat"),
        (lambda: ss(arrays=SS_ARRAYS[:3] + [A([])] + SS_ARRAYS[4:]), "r_mat"),
        (lambda: ss(arrays=SS_ARRAYS[:4] + [A([1.0])] + SS_ARRAYS[5:]), "initial_state"),
        (lambda: ss(arrays=SS_ARRAYS[:5] + [np.eye(3).ravel()]), "initial_state_cov"),
        (lambda: cop(corr=A([1.0, 0.5, 1.0])), "correlation_matrix"),
        (lambda: cop(ctype=1, df=0.0),
         "invalid gamma params: shape and scale must be > 0 and finite"),
        (lambda: cop(ctype=-4, df=math.nan),
         "invalid gamma params: shape and scale must be > 0 and finite"),
        (lambda: var3(dist=1, param=2.0), "Student's t df must be > 2"),
        (lambda: ss(dist=1, param=1.0), "Student's t df must be > 2"),
        # 8 TB of dense covariance: refused, not attempted.
        (lambda: gp(length=1 << 20, kernel=4), "cannot be allocated"),
        (lambda: fbm_call(length=1 << 20, method=0), "cannot be allocated"),
    ],
)
def test_unscreened_inputs_fail_as_internal_failure(call, fragment):
    with pytest.raises(internal_failure_type(), match=fragment):
        call()


def white_noise(n, seed, sigma=1.0):
    """n standard normals of the seed's stream: at H = 0.5 every Durbin–Levinson
    coefficient is 0, so Hosking's method returns σ times the draws themselves
    (the dense method agrees bit for bit, checked below)."""
    return fbm(n, 0.5, sigma, 0.0, False, 1, seed)


# --- VAR ----------------------------------------------------------------


def test_var_white_noise_case_is_intercept_plus_the_shocks():
    z = white_noise(150, 11)
    out = var_process(50, 1, 1, A([0.0]), A([2.5]), A([1.0]), 11, 0, 0.0)
    assert np.array_equal(out, z[100:] + 2.5)  # the first 100 vectors are burn-in


def test_var_first_variable_ignores_the_decoupled_second_one():
    def run(c1, a11, s11):
        return var_process(300, 2, 1, A([0.6, 0.0, 0.0, a11]), A([1.0, c1]),
                           A([2.0, 0.0, 0.0, s11]), 5, 0, 0.0)
    base = run(0.0, 0.5, 1.0)
    for other in [(7.0, 0.5, 1.0), (0.0, -0.9, 1.0), (0.0, 0.5, 9.0)]:
        assert run(*other).tobytes() == base.tobytes()


def test_var_prefix_is_stable_across_lengths():
    long = var3(length=500, seed=3)
    for n in (1, 37, 499):
        assert var3(length=n, seed=3).tobytes() == long[:n].tobytes()


def test_var_stationary_mean_and_singular_covariance():
    out = var3(length=50_000, seed=2)
    a1, a2 = COEF3[:9].reshape(3, 3), COEF3[9:].reshape(3, 3)
    mu = np.linalg.solve(np.eye(3) - a1 - a2, [1.0, -1.0, 0.5])
    assert abs(out.mean() - mu[0]) < 0.05
    singular = var_process(400, 2, 1, A([0.5, 0.0, 0.0, 0.5]), np.zeros(2), np.ones(4), 4, 0, 0.0)
    assert np.isfinite(singular).all() and singular.std() > 0.5


def test_var_order_beyond_the_run_reads_only_reachable_lags():
    # 150 lags of one variable, all but the first zero: the same as order 1.
    coef = np.zeros(150)
    coef[0] = 0.4
    long_order = var_process(20, 1, 150, coef, A([0.0]), A([1.0]), 9, 0, 0.0)
    order_one = var_process(20, 1, 1, coef[:1], A([0.0]), A([1.0]), 9, 0, 0.0)
    assert long_order.tobytes() == order_one.tobytes()


# --- state space --------------------------------------------------------


def test_state_space_scalar_case_is_an_ar1_from_the_initial_state():
    # R = 0 and P0 = 0 are repaired to variance 1e-10; Q = 0 too.
    out = state_space(40, 1, 1, A([0.8]), A([1.0]), A([0.0]), A([0.0]), A([5.0]), A([0.0]),
                      3, 0, 0.0)
    assert np.allclose(out, 5.0 * 0.8 ** np.arange(40), atol=1e-4)
    assert not np.array_equal(out, 5.0 * 0.8 ** np.arange(40))  # noise of sd 1e-5 is there


def test_state_space_observation_noise_is_gaussian_whatever_the_innovation():
    # With Q = 0 the state noise is tiny, so Laplace shocks change little.
    arrays = [A([0.5]), A([1.0]), A([0.0]), A([1.0]), A([0.0]), A([1.0])]
    a = ss(length=2000, s=1, arrays=arrays, dist=0)
    b = ss(length=2000, s=1, arrays=arrays, dist=2)
    assert 0.9 < a.std() < 1.1 and 0.9 < b.std() < 1.1


# --- copula -------------------------------------------------------------


def test_gaussian_copula_of_one_variable_is_the_clamped_normal_cdf():
    z = white_noise(500, 21)
    u = cop(length=500, seed=21, k=1, corr=A([1.0]), marginal=3, p1=0.0, p2=1.0)
    assert np.array_equal(u, np.clip(norm_cdf(z), 1e-15, 0.999999999999999))


@pytest.mark.parametrize(
    "marginal, p1, p2, transform",
    [
        (0, 2.0, 3.0, lambda v: norm_ppf(v) * 3.0 + 2.0),
        (1, 0.5, 2.0, lambda v: np.exp(norm_ppf(v) * 0.5) * 2.0),
        (2, 1.5, 0.0, lambda v: np.log(1.0 - v) * -1.5),
        (3, -1.0, 4.0, lambda v: v * 4.0 - 1.0),
        (4, 2.5, 1.5, lambda v: gamma_ppf(v, 2.5, 1.5)),
        (4, 0.3, 2.0, lambda v: gamma_ppf(v, 0.3, 2.0)),
        (-1, 9.0, 9.0, norm_ppf),
        (5, 9.0, 9.0, norm_ppf),
    ],
)
@pytest.mark.parametrize("ctype", [0, 1])
def test_copula_marginals_transform_the_same_uniforms(marginal, p1, p2, transform, ctype):
    corr = A([1.0, 0.7, 0.2, 0.7, 1.0, 0.1, 0.2, 0.1, 1.0])
    v = cop(length=300, seed=4, k=3, ctype=ctype, df=4.0, corr=corr, marginal=3, p1=0.0, p2=1.0)
    out = cop(length=300, seed=4, k=3, ctype=ctype, df=4.0, corr=corr, marginal=marginal, p1=p1,
              p2=p2)
    if marginal in (1, 2):  # NumPy's exp and log may differ from libm's in the last bit
        assert np.allclose(out, transform(v), rtol=1e-14, atol=0.0)
    else:
        assert np.array_equal(out, transform(v))


def test_copula_ranges_and_clamping():
    assert (cop(length=2000, marginal=2, p1=1.0) >= 0.0).all()
    u = cop(length=2000, marginal=3, p1=2.0, p2=0.5)
    assert ((u >= 2.0) & (u <= 2.5)).all()
    # Extreme correlation scale pushes draws far out; the clamp bounds them.
    big = cop(length=2000, k=1, corr=A([1e6]), marginal=0, p1=1.0, p2=2.0)
    assert big.max() <= norm_ppf(A([0.999999999999999]))[0] * 2.0 + 1.0
    assert big.min() >= norm_ppf(A([1e-15]))[0] * 2.0 + 1.0


def test_copula_accepts_singular_correlation_and_ignores_df_when_gaussian():
    out = cop(length=500, k=2, corr=np.ones(4), marginal=3)
    assert np.isfinite(out).all() and 0.4 < out.mean() < 0.6
    assert cop(ctype=0, df=0.0).tobytes() == cop(ctype=0, df=math.nan).tobytes()


def test_t_copula_has_heavier_joint_tails_than_gaussian():
    # Same correlation; the t copula's uniforms still cover (0, 1) evenly.
    u = cop(length=20_000, ctype=1, df=3.0, marginal=3)
    assert abs(u.mean() - 0.5) < 0.02 and abs(u.var() - 1 / 12) < 0.005


# --- Gaussian process ---------------------------------------------------


def test_gp_length_one_uses_a_two_point_embedding():
    z1, z2 = white_noise(2, 8)
    ell, amp, mean, noise = 3.0, 1.5, 0.25, 0.1
    c0 = amp * amp * math.exp(0.0) + noise
    c1 = amp * amp * math.exp((1.0 / ell * -0.5) * (1.0 / ell))
    expected = ((math.sqrt(c0 + c1) * z1 + math.sqrt(c0 - c1) * z2) / 2) * math.sqrt(2) + mean
    out = gp(length=1, seed=8, ell=ell, amp=amp, mean=mean, noise=noise)
    assert out.shape == (1,) and out[0] == pytest.approx(expected, rel=1e-14)


@pytest.mark.parametrize("kernel", [0, 1, 2, 3, 9])
def test_gp_zero_amplitude_returns_the_mean(kernel):
    assert np.array_equal(gp(length=33, kernel=kernel, amp=0.0, mean=4.5), np.full(33, 4.5))


def test_gp_periodic_zero_amplitude_is_repaired_to_tiny_noise():
    out = gp(length=200, kernel=4, amp=0.0, mean=4.5)
    assert abs(out.mean() - 4.5) < 1e-5 and 0.5e-5 < out.std() < 2e-5


def test_gp_periodic_kernel_repeats_with_its_period():
    # k(6) = a²: the covariance is singular, the repair keeps x[i+6] ≈ x[i].
    out = gp(length=48, kernel=4, period=6.0, ell=1.0, amp=2.0)
    assert np.abs(out[6:] - out[:-6]).max() < 1e-3 and out.std() > 0.5


def test_gp_unlisted_kernel_ids_are_squared_exponential():
    base = gp(kernel=0)
    for other in (5, -1, 2**31 - 1):
        assert gp(kernel=other).tobytes() == base.tobytes()


@pytest.mark.parametrize(
    "kernel, lag1",
    [(0, math.exp(-0.5 / 25)), (1, math.exp(-1 / 5)),
     (2, (1 + math.sqrt(3) / 5) * math.exp(-math.sqrt(3) / 5)),
     (3, (1 + math.sqrt(5) / 5 + 5 / 75) * math.exp(-math.sqrt(5) / 5))],
)
def test_gp_circulant_samples_have_the_kernel_covariance(kernel, lag1):
    runs = generate_batch(21, A([kernel, 5.0, 1.5, 12.0, 0.0, 0.0]), [],
                          np.full(64, 512, np.int32), np.arange(64, dtype=np.uint64),
                          np.zeros(192, np.uint64), {})
    x = np.stack([r["values"] for r in runs])
    var = (x * x).mean()
    assert var == pytest.approx(2.25, rel=0.08)
    assert (x[:, 1:] * x[:, :-1]).mean() / var == pytest.approx(lag1, abs=0.03)


# --- fractional Brownian motion -----------------------------------------


def test_fbm_at_hurst_half_is_white_noise_for_every_method():
    dense = fbm_call(length=1500, hurst=0.5, sigma=2.0, method=0)
    hosking = fbm_call(length=1500, hurst=0.5, sigma=2.0, method=1)
    davies_harte = fbm_call(length=1500, hurst=0.5, sigma=2.0, method=2)
    assert np.array_equal(dense, 2.0 * fbm_call(length=1500, hurst=0.5, sigma=1.0, method=0))
    assert np.array_equal(hosking, dense)
    for g in (dense, davies_harte):
        assert g.std() == pytest.approx(2.0, rel=0.08)
        assert abs(np.corrcoef(g[1:], g[:-1])[0, 1]) < 0.08


@pytest.mark.parametrize("hurst", [0.3, 0.7, 0.9])
def test_fbm_hosking_and_dense_factor_agree(hurst):
    # Durbin–Levinson is the Cholesky factor of the Toeplitz covariance,
    # applied to the same draws.
    h = fbm_call(length=300, hurst=hurst, method=1)
    d = fbm_call(length=300, hurst=hurst, method=0)
    assert np.allclose(h, d, rtol=1e-8, atol=1e-10)


@pytest.mark.parametrize("method", [1, 2])
def test_fbm_increments_have_the_fgn_autocovariance(method):
    hurst = 0.7
    runs = generate_batch(20, A([hurst, 1.0, 0.0, 0.0, method]), [],
                          np.full(64, 1024, np.int32), np.arange(64, dtype=np.uint64) + 5,
                          np.zeros(192, np.uint64), {})
    g = np.stack([r["values"] for r in runs])
    gamma1 = 0.5 * (2 ** (2 * hurst) - 2)
    assert (g * g).mean() == pytest.approx(1.0, abs=0.05)
    assert (g[:, 1:] * g[:, :-1]).mean() == pytest.approx(gamma1, abs=0.04)


@pytest.mark.parametrize("method", [0, 1, 2])
def test_fbm_cumulative_is_the_running_sum(method):
    inc = fbm_call(length=257, method=method)
    path = fbm_call(length=257, method=method, cumulative=True)
    assert np.array_equal(path, np.cumsum(inc))
    shifted = fbm_call(length=257, method=method, cumulative=True, initial=10.0)
    assert np.allclose(shifted - path, 10.0, atol=1e-9)
    assert fbm_call(length=257, method=method, initial=10.0).tobytes() == inc.tobytes()


def test_fbm_method_aliases_select_the_dense_factor():
    base = fbm_call(length=64, method=0)
    for alias in (3, -1, 2**31 - 1):
        assert fbm_call(length=64, method=alias).tobytes() == base.tobytes()


# --- batch rows ---------------------------------------------------------

SS_SCALARS = [2.9, 1.0, 2, 0.0]  # state_dim truncates to 2; Laplace shocks


def gen_batch(code, scalars, arrays=(), lengths=(50, 80, 1, 120), n_workers=0):
    gen_seeds = np.arange(len(lengths), dtype=np.uint64) * np.uint64(7919) + np.uint64(3)
    return generate_batch(code, np.array(scalars, dtype=np.float64),
                          [np.asarray(a, dtype=np.float64) for a in arrays],
                          np.array(lengths, dtype=np.int32), gen_seeds,
                          np.zeros(3 * len(lengths), np.uint64), {}, n_workers), gen_seeds


@pytest.mark.parametrize(
    "code, scalars, arrays, direct",
    [
        (19, SS_SCALARS, SS_ARRAYS, lambda n, s: ss(length=n, seed=s, dist=2)),
        (20, [0.3, 1.5, 2.0, np.nan, 1.9], [], lambda n, s: fbm(n, 0.3, 1.5, 2.0, True, 1, s)),
        (20, [0.8, 1.0, 0.0, 0.0, 2], [], lambda n, s: fbm(n, 0.8, 1.0, 0.0, False, 2, s)),
        (20, [0.6, 1.0, 0.0, 1.0, -7], [], lambda n, s: fbm(n, 0.6, 1.0, 0.0, True, 0, s)),
        (21, [1.7, 4.0, 2.0, 10.0, 1.0, 0.1], [],
         lambda n, s: gaussian_process(n, 1, 4.0, 2.0, 10.0, 1.0, 0.1, s)),
        (21, [4, 2.0, 1.0, 7.0, 0.0, 0.05], [],
         lambda n, s: gaussian_process(n, 4, 2.0, 1.0, 7.0, 0.0, 0.05, s)),
    ],
)
def test_batch_equals_direct_call_for_any_worker_count(code, scalars, arrays, direct):
    one, gen_seeds = gen_batch(code, scalars, arrays, n_workers=1)
    many, _ = gen_batch(code, scalars, arrays, n_workers=3)
    for a, b, n, s in zip(one, many, (50, 80, 1, 120), gen_seeds):
        assert a["values"].tobytes() == direct(n, int(s)).tobytes()
        assert a["values"].tobytes() == b["values"].tobytes()


@pytest.mark.parametrize("code, scalars", [(20, [0.7, 1.0, 0.0, 1.0, m]) for m in (0, 1, 2)]
                         + [(21, [k, 5.0, 1.0, 12.0, 0.0, 0.0]) for k in (0, 4)])
def test_batch_rows_of_length_zero_are_empty(code, scalars):
    out, _ = gen_batch(code, scalars, lengths=(0, 3))
    assert out[0]["values"].size == 0 and out[1]["values"].size == 3


@pytest.mark.parametrize(
    "code, n_scalars, n_arrays, message",
    [
        (19, 3, 6, "state_space: expected >= 4 scalar params, got 3"),
        (19, 4, 5, "state_space: expected >= 6 array params, got 5"),
        (20, 4, 0, "fbm: expected >= 5 scalar params, got 4"),
        (21, 5, 0, "gaussian_process: expected >= 6 scalar params, got 5"),
    ],
)
def test_batch_count_messages(code, n_scalars, n_arrays, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        gen_batch(code, np.ones(n_scalars), [[1.0]] * n_arrays)


@pytest.mark.parametrize(
    "dims, fragment",
    [
        ([1.0, 0.0], "obs_dim must be > 0"),
        ([1.0, -3.0], "obs_dim must be > 0"),
        ([1.0, math.nan], "obs_dim must be > 0"),
        # 2^32 each: the products overflow 64 bits instead of wrapping to 0.
        ([2.0**32, 2.0**32], "dimensions overflow"),
        ([1e300, 1.0], "dimensions overflow"),
        ([3.0, 1.0], "f_mat"),
    ],
)
def test_state_space_batch_row_dimensions_are_checked(dims, fragment):
    with pytest.raises(internal_failure_type(), match=fragment):
        gen_batch(19, dims + [0, 0.0], [[]] * 6)


def test_state_space_batch_row_without_a_state_observes_noise_only():
    out, _ = gen_batch(19, [0.0, 1.0, 0, 0.0], [[], [], [], [4.0], [], []], lengths=(2000,))
    assert out[0]["values"].std() == pytest.approx(2.0, rel=0.1)


def test_non_finite_covariances_end_with_nan_series():
    assert np.isnan(gp(length=30, kernel=4, ell=0.0)).all()
    assert np.isnan(fbm_call(length=30, hurst=math.nan, method=0)).all()
    assert np.isnan(var_process(5, 1, 1, A([0.5]), A([0.0]), A([math.inf]), 1, 0, 0.0)).all()


@pytest.mark.parametrize("name", ["state_space", "fbm", "gaussian_process"])
def test_catalog_defaults_give_sensible_series(name):
    from tidemark.catalog import CATALOG

    spec = CATALOG[name]
    out, _ = gen_batch(spec.gen_type, [v for _, v in spec.scalars],
                       [v for _, v in spec.arrays], lengths=(300,))
    values = out[0]["values"]
    assert np.isfinite(values).all() and values.std() > 0.01
