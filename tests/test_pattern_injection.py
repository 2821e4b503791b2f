import threading

import numpy as np
import pytest

from tidemark._lib.pattern_injection import add_anomalies, add_changepoints, add_missingness

EMPTY = np.empty(0)


def test_result_is_the_same_object_modified_in_place(series):
    values, info = add_anomalies(series, 3, ["spike"], 0.05, 10.0, 0.0, 0.0, 0)
    assert values is series
    idx = info["anomaly_indices"]
    assert idx.dtype == np.int64 and len(idx) == 5 and len(set(idx.tolist())) == 5
    expected = np.linspace(0.0, 9.9, 100)
    expected[idx] += 10.0
    assert np.array_equal(series, expected)


def test_same_seed_same_bits():
    def run():
        v = np.linspace(-1, 1, 300)
        add_changepoints(v, 11, 3, EMPTY, "mixed", EMPTY, EMPTY, EMPTY)
        add_anomalies(v, 12, ["spike", "dip", "level_shift"], 0.05, 3.0, -3.0, 2.0, 7)
        add_missingness(v, 13, "seasonal", 0.2, 1, 24)
        return v

    assert run().tobytes() == run().tobytes()


@pytest.mark.parametrize(
    "pattern, rate, block, period, expected_count",
    [
        ("random", 0.35, 1, 1, 3),
        ("block", 0.5, 8, 1, 5),  # n = 5: one block from 0 covers everything
        ("nonsense", 1.5, 1, 1, 10),
        ("random", 0.0, 1, 1, 0),
        ("seasonal", -1.0, 1, 1, 0),
        ("random", float("nan"), 1, 1, 0),
    ],
)
def test_missingness_counts(pattern, rate, block, period, expected_count):
    n = 5 if pattern == "block" else 10
    values = np.arange(float(n))
    _, info = add_missingness(values, 5, pattern, rate, block, period)
    idx = info["missing_indices"]
    assert len(idx) == expected_count
    assert np.all(np.diff(idx) > 0)
    assert np.isnan(values[idx]).all() and not np.isnan(np.delete(values, idx)).any()
    # missing values are the canonical quiet NaN
    assert all(v.tobytes() == np.float64("nan").tobytes() for v in values[idx])


@pytest.mark.parametrize(
    "pattern, block, period, message",
    [
        ("seasonal", 1, 0, "missing_seasonal_period must be > 0 for seasonal pattern"),
        ("block", 0, 1, "missing_block_size must be > 0 for block pattern"),
    ],
)
def test_missingness_validation(series, pattern, block, period, message):
    before = series.copy()
    with pytest.raises(ValueError, match=f"^{message}$"):
        add_missingness(series, 1, pattern, 0.2, block, period)
    assert np.array_equal(series, before)


def test_changepoint_locations_keep_given_order_and_clamp():
    values = np.zeros(100)
    _, info = add_changepoints(values, 1, 3, np.array([0.8, 0.2, 1.5]), "Level", EMPTY, EMPTY,
                               EMPTY)
    assert info["changepoint_indices"].tolist() == [80, 20, 99]
    assert not values.any()  # an unknown kind leaves the series alone


def test_level_changepoint_with_given_amount():
    values = np.zeros(100)
    add_changepoints(values, 1, 1, np.array([0.4]), "level", np.array([5.0]), EMPTY, EMPTY)
    assert not values[:40].any() and (values[40:] == 5.0).all()


def test_drawn_changepoint_positions_ascend():
    _, info = add_changepoints(np.zeros(1000), 9, 6, EMPTY, "trend", EMPTY, EMPTY, EMPTY)
    idx = info["changepoint_indices"]
    assert np.all(np.diff(idx) >= 0) and idx.min() >= 100 and idx.max() < 900


def test_dips_and_level_shift_at_the_end():
    values = np.zeros(10)
    _, info = add_anomalies(values, 4, ["dip"], 0.3, 0.0, -3.0, 0.0, 0)
    assert (values[info["anomaly_indices"]] == -3.0).all() and (values == -3.0).sum() == 3
    values = np.zeros(50)
    _, info = add_anomalies(values, 4, ["bogus"], 0.5, 1.0, 1.0, 1.0, 5)
    assert len(info["anomaly_indices"]) == 25 and not values.any()


def test_anomalies_without_kinds_fail_internally():
    from conftest import internal_failure_type

    with pytest.raises(internal_failure_type(), match="invalid integer range: requires low < high"):
        add_anomalies(np.zeros(10), 1, [], 0.5, 1.0, 1.0, 1.0, 0)
    values, info = add_anomalies(np.zeros(10), 1, [], 0.0, 1.0, 1.0, 1.0, 0)
    assert len(info["anomaly_indices"]) == 0


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda v: add_changepoints(v, 1, -1, EMPTY, "level", EMPTY, EMPTY, EMPTY),
         "num_changepoints must be >= 0"),
        (lambda v: add_anomalies(v, 1, ["spike"], -0.1, 1.0, 0.0, 0.0, 0),
         "anomaly_fraction must be >= 0"),
        (lambda v: add_anomalies(v, 1, ["level_shift"], 0.1, 1.0, 0.0, 1.0, -2),
         "level_shift_duration must be >= 0"),
    ],
)
def test_negative_counts_are_refused(series, call, message):
    before = series.copy()
    with pytest.raises(ValueError, match=f"^{message}$"):
        call(series)
    assert np.array_equal(series, before)


def test_concurrent_threads_match_sequential_calls():
    def work(seed):
        v = np.sin(np.arange(5000) / 10.0)
        add_changepoints(v, seed, 4, EMPTY, "mixed", EMPTY, EMPTY, EMPTY)
        add_anomalies(v, seed + 1, ["spike", "dip", "level_shift"], 0.02, 4.0, -4.0, 1.5, 20)
        add_missingness(v, seed + 2, "random", 0.1, 1, 1)
        return v.tobytes()

    seeds = list(range(0, 80, 5))
    sequential = [work(s) for s in seeds]
    results = [None] * len(seeds)

    def run(i):
        for _ in range(3):
            results[i] = work(seeds[i])

    threads = [threading.Thread(target=run, args=(i,)) for i in range(len(seeds))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == sequential
