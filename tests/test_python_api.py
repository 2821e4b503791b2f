"""The Python layer over the native core: defaults, named choices, seeds,
array coercion, InternalFailure by name, docstrings."""

import doctest
import importlib
import inspect
import re
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import tidemark
from tidemark import _lib
from tidemark._convert import native_seed

SEED = 20261211
F = np.float64

# Each wrapper called with its defaults, and the native call with the same values
# spelt out: (module, function, native positional arguments after length, seed at "S").
DEFAULTS = [
    ("statistical", "random_walk", (0.0, 1.0, 0.0, "S", 0, 0.0)),
    ("statistical", "seasonal", (12, 1.0, 0.0, 0.1, 0.0, "S", 0, 0.0)),
    ("statistical", "sarima", (np.array([], F), np.array([], F), 0, 0, 12, 0.0, 0.0, 1.0, 100,
                               "S", 0, 0.0)),
    ("statistical", "ets", (0, 0, 0, 12, 10.0, 0.0, np.array([], F), 0.2, 0.05, 0.1, 0.98,
                            False, 1.0, "S", 0, 0.0)),
    ("statistical", "inar", (1, np.array([0.5]), 0, 2.0, 1.0, "S")),
    ("stochastic", "ornstein_uhlenbeck", (0.5, 0.0, 1.0, 0.0, 0.1, "S", 0, 0.0)),
    ("stochastic", "geometric_brownian_motion", (0.05, 0.2, 100.0, 1 / 252, "S", 0, 0.0)),
    ("stochastic", "jump_diffusion", (0.05, 0.2, 5.0, -0.02, 0.05, 100.0, 1 / 252, "S", 0,
                                      0.0)),
    ("stochastic", "poisson_process", (3.0, False, "S")),
    ("stochastic", "cyclic", (10.0, 0.01, 50.0, 10.0, 2.0, 0.5, 2, 0.3, "S", 0, 0.0)),
    ("stochastic", "garch", (1, 1, 0.05, np.array([0.1]), np.array([0.85]), 0.0, 1.0, "S", 0,
                             0.0)),
    ("stochastic", "hawkes_process", (0.5, 0.8, 1.2, 0, 3.0, 0, 100_000, "S")),
    ("stochastic", "chaotic_system", (0, 10.0, 28.0, 8 / 3, 0.01, 3.9, 0.2, 0.1, 10.0, 17, 0.0,
                                      0.1, "S")),
    ("stochastic", "bounded_process", (0, 0.9, 0.05, 20.0, 0.3, 0.5, 0.0, 1.0, "S")),
    ("stochastic", "levy_process", (1.7, 0.0, 1.0, 0.0, True, 0.0, "S")),
    ("volatility", "stochastic_volatility", (0, 100.0, 0.04, 0.05, 0.04, 2.0, 0.3, -0.7, 0.5,
                                             1 / 252, 0, "S", 0, 0.0)),
    ("volatility", "regime_switching", (2, np.array([0.0, 3.0]), np.array([1.0, 0.5]),
                                        np.array([0.5, 0.3]), np.array([0.95, 0.05, 0.1, 0.9]),
                                        np.array([0.5, 0.5]), 0, "S", 0, 0.0)),
    ("domain", "intermittent_demand", (0.3, 0, 5.0, 2.0, 0, 3, 12, 0.8, 1.0, "S")),
    ("domain", "daily_active_users", (10_000.0, 0.001, 0.7, True, 0.02, 1.2, 1.5, 0.3, 0.05,
                                      24.0, "S")),
    ("domain", "energy_load", (1000.0, 0, True, 200.0, True, 100.0, True, 150.0, True, 20.0,
                               15.0, 8, 19, 300.0, 0.3, np.array([0, 358], np.int32), 0.001,
                               1.3, 20.0, 1.0, "S")),
    ("domain", "vital_signs", (75.0, 5.0, 40.0, 200.0, True, 5.0, True, True, 0.002, 1, "S")),
    ("domain", "iot_sensor", (20.0, 0.0, 5.0, 24.0, 0.5, 0.0, 0.0, False, 1000.0, 0.001, 0.0,
                              0, 0.0, 1, None, 0.0, "S")),
    ("domain", "clickstream", (200.0, 1.0, 1.0, 1.0, 0.5, 0.03, 0.4, 4.0, True, True, 0.1, 0,
                               "S")),
    ("multivariate", "copula", (2, 0, 5.0, np.array([1.0, 0.5, 0.5, 1.0]), 0, 0.0, 1.0, "S")),
    ("multivariate", "var_process", (2, 1, np.array([0.5, 0.1, 0.0, 0.3]), np.array([0.0, 0.0]),
                                     np.array([1.0, 0.0, 0.0, 1.0]), "S", 0, 0.0)),
    ("multivariate", "state_space", (2, 1, np.array([1.0, 1.0, 0.0, 1.0]), np.array([1.0, 0.0]),
                                     np.array([0.1, 0.0, 0.0, 0.01]), np.array([0.5]),
                                     np.array([0.0, 0.0]), np.array([1.0, 0.0, 0.0, 0.1]), "S",
                                     0, 0.0)),
    ("multivariate", "fbm", (0.7, 1.0, 0.0, True, 2, "S")),
    ("multivariate", "gaussian_process", (0, 10.0, 1.0, 24.0, 0.0, 0.01, "S")),
]


def _native_args(args, seed):
    return [seed if isinstance(a, str) and a == "S" else a for a in args]


def _same(a, b):
    if isinstance(a, tuple):
        return len(a) == len(b) and all(_same(x, y) for x, y in zip(a, b))
    return a.dtype == b.dtype and a.tobytes() == b.tobytes()


@pytest.mark.parametrize("module, name, args", DEFAULTS, ids=[d[1] for d in DEFAULTS])
def test_defaults_equal_the_native_call(module, name, args):
    wrapper = getattr(importlib.import_module(f"tidemark.{module}"), name)
    native = getattr(getattr(_lib, module), name)
    assert _same(wrapper(300, seed=SEED), native(300, *_native_args(args, SEED)))


def test_every_generator_has_a_defaults_case():
    covered = {(m, n) for m, n, _ in DEFAULTS}
    for module in ("statistical", "stochastic", "volatility", "domain", "multivariate"):
        assert {(module, n) for n in getattr(_lib, module).__all__} <= covered


# Native parameters the Python layer renames; every other one keeps its name.
RENAMED = {"innov_dist": "innovation", "innov_param": "innovation_param", "system_id": "system",
           "model_id": "model", "kernel_id": "kernel", "gen_type": "generator",
           "pi_config_dict": "pi_config"}


PUBLIC = ["statistical", "stochastic", "volatility", "multivariate", "domain",
          "pattern_injection", "distributions", "augmentation", "batch"]


@pytest.mark.parametrize("module", PUBLIC)
def test_wrappers_take_every_native_parameter(module):
    wrappers = importlib.import_module(f"tidemark.{module}")
    native = getattr(_lib, module)
    assert wrappers.__all__ == native.__all__
    for name in native.__all__:
        expected = {RENAMED.get(p, p) for p in inspect.signature(getattr(native, name)).parameters}
        assert set(inspect.signature(getattr(wrappers, name)).parameters) == expected, name


@pytest.mark.parametrize("call, native", [
    (lambda s: tidemark.statistical.random_walk(200, innovation="student_t", seed=s),
     lambda s: _lib.statistical.random_walk(200, 0.0, 1.0, 0.0, s, 1, 5.0)),
    (lambda s: tidemark.statistical.random_walk(200, innovation="skew_normal",
                                                innovation_param=-2.0, seed=s),
     lambda s: _lib.statistical.random_walk(200, 0.0, 1.0, 0.0, s, 4, -2.0)),
    (lambda s: tidemark.statistical.seasonal(200, innovation="uniform", seed=s),
     lambda s: _lib.statistical.seasonal(200, 12, 1.0, 0.0, 0.1, 0.0, s, 3, 0.0)),
    (lambda s: tidemark.statistical.ets(200, error_type="multiplicative",
                                        trend_type="multiplicative", seasonal_type="additive",
                                        damped=True, innovation="laplace", seed=s),
     lambda s: _lib.statistical.ets(200, 1, 2, 1, 12, 10.0, 0.0, np.array([], F), 0.2, 0.05,
                                    0.1, 0.98, True, 1.0, s, 2, 0.0)),
    (lambda s: tidemark.stochastic.chaotic_system(200, system="mackey_glass", seed=s),
     lambda s: _lib.stochastic.chaotic_system(200, 2, 10.0, 28.0, 8 / 3, 0.01, 3.9, 0.2, 0.1,
                                              10.0, 17, 0.0, 0.1, s)),
    (lambda s: tidemark.stochastic.hawkes_process(200, kernel_type="power_law",
                                                  output_type="indicators", seed=s),
     lambda s: _lib.stochastic.hawkes_process(200, 0.5, 0.8, 1.2, 1, 3.0, 2, 100_000, s)),
    (lambda s: tidemark.volatility.stochastic_volatility(200, model_type="sabr",
                                                         output_type="volatility", seed=s),
     lambda s: _lib.volatility.stochastic_volatility(200, 2, 100.0, 0.04, 0.05, 0.04, 2.0, 0.3,
                                                     -0.7, 0.5, 1 / 252, 2, s, 0, 0.0)),
    (lambda s: tidemark.domain.iot_sensor(200, failure_mode="stuck", failure_probability=0.05,
                                          stuck_value=-1.0, seed=s),
     lambda s: _lib.domain.iot_sensor(200, 20.0, 0.0, 5.0, 24.0, 0.5, 0.0, 0.0, False, 1000.0,
                                      0.001, 0.0, 3, 0.05, 1, -1.0, 0.0, s)),
    (lambda s: tidemark.multivariate.copula(200, copula_type="student_t", df=4.0,
                                            marginal_distribution="gamma", marginal_param1=2.0,
                                            seed=s),
     lambda s: _lib.multivariate.copula(200, 2, 1, 4.0, np.array([1.0, 0.5, 0.5, 1.0]), 4, 2.0,
                                        1.0, s)),
    (lambda s: tidemark.multivariate.gaussian_process(200, kernel="matern52", seed=s),
     lambda s: _lib.multivariate.gaussian_process(200, 3, 10.0, 1.0, 24.0, 0.0, 0.01, s)),
    (lambda s: tidemark.multivariate.fbm(200, method="hosking", cumulative=False, seed=s),
     lambda s: _lib.multivariate.fbm(200, 0.7, 1.0, 0.0, False, 1, s)),
], ids=["student_t", "skew_normal", "uniform", "ets_codes", "mackey_glass", "hawkes_codes",
        "sabr", "iot_stuck", "t_copula", "matern52", "hosking"])
def test_named_choices_give_their_codes(call, native):
    assert _same(call(SEED), native(SEED))


def test_an_unknown_choice_lists_the_valid_names():
    with pytest.raises(ValueError, match=r"innovation must be one of 'normal', 'student_t'"):
        tidemark.statistical.random_walk(5, innovation="cauchy", seed=1)  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="trend_type must be one of"):
        tidemark.statistical.ets(5, trend_type=1, seed=1)  # type: ignore[arg-type]


# ---- seeds -----------------------------------------------------------------------------

def test_seed_forms_map_to_the_documented_native_seed():
    assert native_seed(0) == 0
    assert native_seed(2**64 - 1) == 2**64 - 1
    assert native_seed(np.uint64(2**63)) == 2**63
    assert native_seed(np.int32(7)) == 7
    sequence = np.random.SeedSequence(1234)
    expected = int(sequence.generate_state(1, np.uint64)[0])
    assert native_seed(sequence) == expected == native_seed(sequence)  # the sequence is unchanged
    generator, twin = np.random.default_rng(99), np.random.default_rng(99)
    first = native_seed(generator)
    assert first == int(twin.integers(0, 2**64, dtype=np.uint64))
    assert native_seed(generator) == int(twin.integers(0, 2**64, dtype=np.uint64)) != first
    fresh = {native_seed(None) for _ in range(4)}
    assert len(fresh) == 4 and all(0 <= s < 2**64 for s in fresh)


def test_every_seed_form_reaches_the_generator():
    def native(s):
        return _lib.statistical.random_walk(50, 0.0, 1.0, 0.0, s, 0, 0.0)

    rw = tidemark.statistical.random_walk
    sequence = np.random.SeedSequence(5)
    assert _same(rw(50, seed=sequence), native(int(sequence.generate_state(1, np.uint64)[0])))
    twin = np.random.default_rng(3)
    assert _same(rw(50, seed=np.random.default_rng(3)),
                 native(int(twin.integers(0, 2**64, dtype=np.uint64))))
    assert _same(rw(50, seed=2**64 - 1), native(2**64 - 1))
    assert not _same(rw(50), rw(50))


@pytest.mark.parametrize("seed, error", [
    (-1, ValueError), (2**64, ValueError), (True, TypeError), (1.0, TypeError), ("7", TypeError),
])
def test_bad_seeds_are_refused(seed, error):
    with pytest.raises(error, match="seed"):
        native_seed(seed)


# ---- arrays ------------------------------------------------------------------------------

BASE = np.array([0.2, -0.1, 0.05])


@pytest.mark.parametrize("given", [
    [0.2, -0.1, 0.05], (0.2, -0.1, 0.05), BASE.astype(">f8"),
    np.repeat(BASE, 2)[::2], np.array([0.2, 0.0, -0.1, 0.0, 0.05])[::2],
], ids=["list", "tuple", "big_endian", "strided_copy", "strided_view"])
def test_array_likes_are_converted(given):
    expected = tidemark.statistical.sarima(100, full_ar_poly=BASE, seed=1)
    assert _same(tidemark.statistical.sarima(100, full_ar_poly=given, seed=1), expected)


def test_other_dtypes_are_converted():
    ints = tidemark.distributions.norm_cdf(np.array([-1, 0, 2], dtype=np.int64))
    floats32 = tidemark.distributions.norm_cdf(np.array([-1, 0, 2], dtype=np.float32))
    expected = _lib.distributions.norm_cdf(np.array([-1.0, 0.0, 2.0]))
    assert _same(ints, expected) and _same(floats32, expected)
    hours = tidemark.domain.energy_load(48, holiday_days=[0.0, 358.0], seed=1)
    assert _same(hours, tidemark.domain.energy_load(48, holiday_days=np.array([0, 358]), seed=1))


@pytest.mark.parametrize("call, name", [
    (lambda: tidemark.statistical.sarima(10, full_ar_poly=[[0.5]], seed=1), "full_ar_poly"),
    (lambda: tidemark.distributions.norm_cdf(np.zeros((2, 2))), "x"),
    (lambda: tidemark.distributions.norm_cdf(0.5), "x"),
    (lambda: tidemark.pattern_injection.add_missingness(np.zeros((3, 3)), seed=1), "values"),
    (lambda: tidemark.augmentation.dtw_distance([1.0], [[1.0, 2.0]]), "b"),
    (lambda: tidemark.domain.energy_load(10, holiday_days=[[1]], seed=1), "holiday_days"),
], ids=["sarima", "norm_cdf", "scalar", "missingness", "dtw", "int32"])
def test_non_one_dimensional_input_is_refused_by_name(call, name):
    with pytest.raises(ValueError, match=rf"^{name} must be one-dimensional, got an array of shape"):
        call()


def test_integer_arrays_are_exact_and_refuse_fractions():
    # A list mixing 2**64 - 1 with small ints is float64 to NumPy; seeds must stay exact.
    out = tidemark.batch.generate_batch("random_walk", [0, 1, 0, 0, 0], lengths=[5, 5.0],
                                        gen_seeds=[2**64 - 1, 5])
    assert _same(out[0]["values"],
                 _lib.statistical.random_walk(5, 0.0, 1.0, 0.0, 2**64 - 1, 0, 0.0))
    for bad in ([1.5], [np.nan], [2**31], [-(2**31) - 1]):
        with pytest.raises(ValueError, match="holiday_days must hold whole numbers"):
            tidemark.domain.energy_load(10, holiday_days=bad, seed=1)
    for bad in ([-1], [2**64], np.array([2.0**64]), ["7"]):
        with pytest.raises(ValueError, match="gen_seeds must hold whole numbers"):
            tidemark.batch.generate_batch("random_walk", [0, 1, 0, 0, 0], lengths=[5],
                                          gen_seeds=bad)


def test_patterns_change_a_float64_array_in_place_and_convert_anything_else():
    values = np.zeros(200)
    out, info = tidemark.pattern_injection.add_anomalies(values, anomaly_fraction=0.05, seed=3)
    assert out is values and info["anomaly_indices"].size == 10
    frozen = np.zeros(200)
    frozen.flags.writeable = False
    out, _ = tidemark.pattern_injection.add_missingness(frozen, missing_rate=0.1, seed=3)
    assert out is not frozen and not np.isnan(frozen).any() and np.isnan(out).sum() == 20
    from_list, _ = tidemark.pattern_injection.add_changepoints([0.0] * 50, level_changes=[2.0],
                                                               seed=4)
    native, _ = _lib.pattern_injection.add_changepoints(
        np.zeros(50), 4, 1, np.array([], F), "level", np.array([2.0]), np.array([], F),
        np.array([], F))
    assert _same(from_list, native)


def test_matrices_are_taken_whole_or_flat():
    mv = tidemark.multivariate
    a1, a2 = np.array([[0.5, 0.1], [0.0, 0.3]]), np.array([[0.2, 0.0], [0.1, 0.1]])
    stacked = mv.var_process(100, coef_matrices=np.stack([a1, a2]), seed=1)
    native = _lib.multivariate.var_process(100, 2, 2, np.concatenate([a1.ravel(), a2.ravel()]),
                                           np.zeros(2), np.eye(2).ravel(), 1, 0, 0.0)
    assert _same(stacked, native)
    assert _same(mv.var_process(100, coef_matrices=np.concatenate([a1, a2], axis=None), order=2,
                                seed=1), native)
    # A transposed (Fortran-ordered) matrix is flattened by rows all the same.
    corr = np.array([[1.0, 0.3, 0.1], [0.3, 1.0, 0.2], [0.1, 0.2, 1.0]])
    assert _same(mv.copula(50, correlation_matrix=np.asfortranarray(corr), seed=2),
                 _lib.multivariate.copula(50, 3, 0, 5.0, corr.ravel(), 0, 0.0, 1.0, 2))
    assert _same(tidemark.volatility.regime_switching(50, transition_matrix=[0.95, 0.05, 0.1, 0.9],
                                                      seed=3),
                 tidemark.volatility.regime_switching(50, seed=3))
    with pytest.raises(ValueError, match=r"^correlation_matrix must have 1 to 2 dimensions"):
        mv.copula(10, correlation_matrix=np.ones((1, 2, 2)), seed=1)


def test_analysis_and_batch_wrappers_match_native_calls():
    a, b = [0.0, 1.0, 3.0, 2.0], np.array([0.0, 2.0, 2.0], np.float32)
    assert tidemark.augmentation.dtw_alignment(a, b, band=1) == _lib.augmentation.dtw_alignment(
        np.array(a), b.astype(F), 1)
    series = [np.sin(np.arange(20) * k) for k in (0.1, 0.2, 0.3)]
    assert tidemark.augmentation.nearest_dtw_neighbors(series, n_neighbors=2) == \
        _lib.augmentation.nearest_dtw_neighbors(series, 0.1, 2)
    bary = tidemark.augmentation.dba_barycenter(series[0], series[1:], n_iterations=3)
    assert _same(bary, _lib.augmentation.dba_barycenter(series[0], series[1:],
                                                        np.ones(3), 3, None))
    many = tidemark.augmentation.dba_barycenters(series[0], series[1:], [[1, 0, 0], [0.5, 0.5, 1]])
    assert len(many) == 2 and _same(many[1], tidemark.augmentation.dba_barycenter(
        series[0], series[1:], weights=[0.5, 0.5, 1]))
    x = np.sin(np.arange(60) / 3.0) + np.arange(60) / 30.0
    aug = tidemark.augmentation
    assert all(_same(a, b) for a, b in zip(aug.classical_decompose(list(x), period=12),
                                           _lib.augmentation.classical_decompose(x, 12)))
    assert aug.compute_features(x) == _lib.augmentation.compute_features(x, None)
    assert _same(np.array(aug.compute_feature_set(x, period=6, window_size=5)),
                 np.array(_lib.augmentation.compute_feature_set(x, 6, 5)))
    rows = aug.compute_feature_set_batch(x, [0, 25, 60], period=6)
    assert rows.shape == (2, 12) and _same(rows.ravel(), _lib.augmentation.compute_feature_set_batch(
        x, np.array([0, 25, 60]), 6, None, 0))
    sequence = np.random.SeedSequence(11)
    assert _same(aug.moving_block_bootstrap(x, 6, seed=sequence, period=12),
                 _lib.augmentation.moving_block_bootstrap(x, 6, native_seed(sequence), 12))
    many = aug.moving_block_bootstrap_many(x, 6, [1, sequence])
    assert _same(many[1], aug.moving_block_bootstrap(x, 6, seed=sequence))
    out = tidemark.batch.generate_batch("random_walk", [0.1, 1.0, 0.0, 0, 0.0],
                                        lengths=[30, 40], gen_seeds=[5, 6])
    assert _same(out[1]["values"], _lib.statistical.random_walk(40, 0.1, 1.0, 0.0, 6, 0, 0.0))
    multi = tidemark.batch.generate_multi_batch([
        {"generator": "garch", "scalar_params": [1, 1, 0.05, 0.0, 1.0, 0, 0.0],
         "array_params": [[0.1], [0.85]], "lengths": [25], "gen_seeds": [7]}], n_workers=2)
    assert _same(multi[0][0]["values"], tidemark.stochastic.garch(25, seed=7))


# ---- InternalFailure, import, docs ----------------------------------------------------------

def test_internal_failure_is_catchable_by_name():
    from tidemark import InternalFailure

    assert InternalFailure is tidemark.InternalFailure
    assert issubclass(InternalFailure, BaseException)
    assert not issubclass(InternalFailure, Exception)
    with pytest.raises(tidemark.InternalFailure, match="Student's t df must be > 2"):
        tidemark.statistical.random_walk(10, innovation="student_t", innovation_param=2.0,
                                         seed=1)
    assert "InternalFailure" not in _lib.__all__ and not hasattr(_lib, "InternalFailure")


def test_import_tidemark_stays_cheap():
    code = ("import sys, tidemark; "
            "print('numpy' in sys.modules, 'tidemark._lib' in sys.modules); "
            "tidemark.statistical; print('tidemark._lib' in sys.modules)")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         check=True).stdout.split()
    assert out == ["False", "False", "True"]


@pytest.mark.parametrize("module", PUBLIC)
def test_docstrings_are_complete_and_their_examples_run(module):
    mod = importlib.import_module(f"tidemark.{module}")
    for name in mod.__all__:
        # Python 3.13 and later dedent docstrings when compiling.
        doc = inspect.cleandoc(getattr(mod, name).__doc__ or "")
        for section in ("Parameters", "Returns", "Examples"):
            assert f"\n{section}\n---" in doc, (name, section)
    assert doctest.testmod(mod, raise_on_error=False).failed == 0


def test_native_seed_examples_run():
    assert doctest.testmod(importlib.import_module("tidemark._convert")).failed == 0


def test_readme_api_examples_run(capsys):
    # The examples of the module's and the Python API's sections; the command-line
    # section's examples read files and clusters that the command line makes.
    readme = (Path(__file__).resolve().parent.parent / "README.md").read_text()
    sections = re.split(r"^## ", readme, flags=re.M)
    chosen = [s for s in sections if s.startswith(("What it is", "The Python API"))]
    blocks = [b for s in chosen for b in re.findall(r"```python\n(.*?)```", s, re.S)]
    assert len(blocks) == 2
    for block in blocks:
        exec(compile(block, "README.md", "exec"), {})
    assert "Student's t df must be > 2" in capsys.readouterr().out
