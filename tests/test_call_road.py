"""Argument binding and conversion, exercised through the pattern-injection
functions (every conversion kind of the call road appears there or in the
statistical generators)."""

import warnings

import numpy as np
import pytest

from tidemark._lib.batch import generate_batch
from tidemark._lib.pattern_injection import add_anomalies, add_changepoints, add_missingness
from tidemark._lib.statistical import random_walk, seasonal, ets

EMPTY = np.empty(0)


def anomalies(**overrides):
    kwargs = dict(values=np.zeros(10), seed=1, anomaly_types=["spike"], anomaly_fraction=0.2,
                  spike_magnitude=1.0, dip_magnitude=0.0, level_shift_magnitude=0.0,
                  level_shift_duration=0)
    kwargs.update(overrides)
    return add_anomalies(**kwargs)


def changepoints(**overrides):
    kwargs = dict(values=np.zeros(10), seed=1, num_changepoints=1, locations=EMPTY,
                  changepoint_type="level", level_changes=EMPTY, trend_changes=EMPTY,
                  variance_changes=EMPTY)
    kwargs.update(overrides)
    return add_changepoints(**kwargs)


CONVERSION_FAILURES = [
    # (call, overrides, exception, message fragment, parameter named in the note)
    (changepoints, dict(num_changepoints=1.0), TypeError, "cannot be interpreted as an integer",
     "num_changepoints"),
    (changepoints, dict(num_changepoints=2**31), OverflowError,
     "number too large to fit in target type", "num_changepoints"),
    (changepoints, dict(num_changepoints=-2**31 - 1), OverflowError,
     "number too small to fit in target type", "num_changepoints"),
    (changepoints, dict(num_changepoints=2**70), OverflowError, "", "num_changepoints"),
    (anomalies, dict(seed=-1), OverflowError, "", "seed"),
    (anomalies, dict(seed=2**64), OverflowError, "", "seed"),
    (anomalies, dict(seed=1.0), TypeError, "", "seed"),
    (anomalies, dict(anomaly_fraction="0.5"), TypeError, "", "anomaly_fraction"),
    (anomalies, dict(anomaly_fraction=10**400), OverflowError, "", "anomaly_fraction"),
    (anomalies, dict(anomaly_types="spike"), TypeError, "str", "anomaly_types"),
    (anomalies, dict(anomaly_types=5), TypeError, "'int' object is not an instance of 'Sequence'",
     "anomaly_types"),
    (anomalies, dict(anomaly_types=["spike", 3]), TypeError, "", "anomaly_types"),
    (anomalies, dict(values=[0.0, 1.0]), TypeError, "float64", "values"),
    (anomalies, dict(values=np.zeros(3, dtype=np.int64)), TypeError, "int64", "values"),
    (anomalies, dict(values=np.zeros((2, 2))), TypeError, "2-dimensional", "values"),
    (changepoints, dict(changepoint_type=None), TypeError, "str", "changepoint_type"),
    (changepoints, dict(changepoint_type="\ud800"), TypeError, "lone surrogate",
     "changepoint_type"),
    (anomalies, dict(anomaly_types=["spike", "\udfff"]), TypeError, "lone surrogate",
     "anomaly_types"),
    (changepoints, dict(locations=[0.5]), TypeError, "", "locations"),
    (lambda **kw: ets(20, 0, 0, 0, 1, 1.0, 0.0, EMPTY, 0.1, 0.1, 0.1, 1.0, kw["damped"], 0.0, 1,
                      0, 0.0), dict(damped=1), TypeError, "bool", "damped"),
    (lambda **kw: seasonal(10, 4, 1.0, 0.0, 0.1, 0.0, 1, innov_dist=kw["innov_dist"]),
     dict(innov_dist=None), TypeError, "", "innov_dist"),
]


@pytest.mark.parametrize("call, overrides, exc, fragment, param", CONVERSION_FAILURES)
def test_conversion_failures_carry_the_parameter_note(call, overrides, exc, fragment, param):
    with pytest.raises(exc) as info:
        call(**overrides)
    assert fragment in str(info.value)
    assert info.value.__notes__ == [f"while processing '{param}'"]


ACCEPTED = [
    (anomalies, dict(seed=2**64 - 1)),
    (anomalies, dict(seed=np.uint64(7))),
    (anomalies, dict(seed=True)),
    (anomalies, dict(anomaly_fraction=np.float32(0.2))),
    (anomalies, dict(anomaly_fraction=1)),
    (anomalies, dict(anomaly_types=("spike",))),
    (anomalies, dict(level_shift_duration=np.int16(3))),
    (anomalies, dict(level_shift_duration=True)),
    (anomalies, dict(values=np.empty(0))),
    (changepoints, dict(num_changepoints=np.int64(2))),
]


@pytest.mark.parametrize("call, overrides", ACCEPTED)
def test_accepted_conversions(call, overrides):
    values, _ = call(**overrides)
    assert values.dtype == np.float64


def test_numpy_bool_and_python_bool_are_flags():
    args = (20, 0, 0, 0, 1, 1.0, 0.0, EMPTY, 0.1, 0.1, 0.1, 1.0)
    a = ets(*args, np.True_, 0.0, 1, 0, 0.0)
    b = ets(*args, True, 0.0, 1, 0, 0.0)
    assert np.array_equal(a, b)


BINDING_ERRORS = [
    (lambda: add_missingness(np.zeros(3), 1),
     "add_missingness() missing 4 required positional arguments: 'pattern', 'missing_rate', "
     "'missing_block_size', and 'missing_seasonal_period'"),
    (lambda: add_missingness(np.zeros(3), 1, "random", 0.1, 1),
     "add_missingness() missing 1 required positional argument: 'missing_seasonal_period'"),
    (lambda: add_missingness(np.zeros(3), 1, "random", 0.1, 1, 1, 7),
     "add_missingness() takes 6 positional arguments but 7 were given"),
    (lambda: seasonal(1, 2, 3, 4, 5, 6, 7, 8, 9, 10),
     "seasonal() takes from 7 to 9 positional arguments but 10 were given"),
    (lambda: add_missingness(np.zeros(3), 1, "random", 0.1, 1, 1, rate=0.2),
     "add_missingness() got an unexpected keyword argument 'rate'"),
    (lambda: add_missingness(np.zeros(3), 1, "random", 0.1, 1, 1, seed=2),
     "add_missingness() got multiple values for argument 'seed'"),
]


@pytest.mark.parametrize("call, message", BINDING_ERRORS)
def test_binding_errors_use_cpython_wording(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_strided_array_is_refused_at_copy_time_without_note():
    with pytest.raises(TypeError) as info:
        anomalies(values=np.zeros(20)[::2])
    assert str(info.value) == "The given array is not contiguous or is misaligned."
    assert not getattr(info.value, "__notes__", None)


def test_conversion_precedes_validation():
    # length is invalid too, but the bad last argument is reported first.
    with pytest.raises(TypeError):
        random_walk(0, 0.0, 1.0, 0.0, 1, 0, "x")
    with pytest.raises(ValueError, match="^length must be > 0$"):
        random_walk(0, 0.0, 1.0, 0.0, 1, 0, 0.0)


def test_read_only_values_are_refused_and_untouched():
    values = np.zeros(10)
    values.flags.writeable = False
    with pytest.raises(TypeError):
        anomalies(values=values)
    assert not values.any()


def test_results_own_their_buffers():
    out = random_walk(1000, 0.0, 1.0, 0.0, 3, 0, 0.0)
    assert out.flags.c_contiguous and out.flags.writeable and not out.flags.owndata
    assert out.base is not None
    view = out[10:20]
    del out
    assert view.base.base is not None  # the buffer lives as long as any view
    assert np.isfinite(view).all()


class ReassignsDtype:
    """An integer whose conversion reinterprets an array already converted."""

    def __init__(self, array, value):
        self.array, self.value = array, value

    def __index__(self):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            self.array.dtype = np.float32  # twice the elements, same bytes
        return self.value


@pytest.mark.parametrize("call", [
    lambda v: add_missingness(v, ReassignsDtype(v, 1), "random", 1.0, 1, 1),
    lambda v: generate_batch(0, v, [], np.array([5], np.int32), np.array([1], np.uint64),
                             np.zeros(3, np.uint64), {}, ReassignsDtype(v, 1)),
])
def test_array_reinterpreted_by_a_later_conversion_is_refused(call):
    values = np.zeros(6)
    with pytest.raises(TypeError, match="dtype or shape changed"):
        call(values)
    assert values.dtype == np.float32 and not values.any()
