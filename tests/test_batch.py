import threading

import numpy as np
import pytest

from conftest import internal_failure_type
from tidemark._lib.batch import generate_batch, generate_multi_batch
from tidemark._lib.pattern_injection import add_anomalies, add_changepoints, add_missingness
from tidemark._lib.statistical import ets, inar, random_walk, sarima, seasonal

EMPTY = np.empty(0)
PATTERNS = {
    "changepoints": True, "num_changepoints": 2, "changepoint_type": "mixed",
    "anomalies": True, "anomaly_types": ["spike", "dip", "level_shift"],
    "anomaly_fraction": 0.02, "spike_magnitude": 5.0, "dip_magnitude": -5.0,
    "level_shift_magnitude": 2.0, "level_shift_duration": 10,
    "missing_data": True, "missing_pattern": "block", "missing_rate": 0.05,
    "missing_block_size": 4,
}


def seeds(n, offset=0):
    return (np.arange(n, dtype=np.uint64) * np.uint64(7919) + np.uint64(offset),
            np.arange(3 * n, dtype=np.uint64) + np.uint64(1000 + offset))


def batch(gen_type, scalars, arrays=(), lengths=(50, 80, 0, 120), config=None, n_workers=0):
    gen_seeds, pi_seeds = seeds(len(lengths))
    return generate_batch(gen_type, np.array(scalars, dtype=np.float64),
                          [np.asarray(a, dtype=np.float64) for a in arrays],
                          np.array(lengths, dtype=np.int32), gen_seeds, pi_seeds,
                          config or {}, n_workers)


# (code, scalar slots, arrays, the equivalent direct call of (length, seed))
ROWS = [
    (0, [0.1, 1.5, 3.0, 1, 5.0], [], lambda n, s: random_walk(n, 0.1, 1.5, 3.0, s, 1, 5.0)),
    (1, [12.9, 2.0, 0.01, 0.3, 5.0, 2, 0.0], [],
     lambda n, s: seasonal(n, 12, 2.0, 0.01, 0.3, 5.0, s, 2, 0.0)),
    (2, [1, 1, 12.7, 0.0, 0.2, 1.0, 30, 0, 0.0], [[0.5, -0.1], [0.3]],
     lambda n, s: sarima(n, np.array([0.5, -0.1]), np.array([0.3]), 1, 1, 12, 0.0, 0.2, 1.0,
                         30, s, 0, 0.0)),
    (3, [1, 1, 2, 4, 20.0, 0.5, 0.3, 0.1, 0.2, 0.9, np.nan, 0.05, 4, 3.0],
     [[1.1, 0.9, 1.05, 0.95]],
     lambda n, s: ets(n, 1, 1, 2, 4, 20.0, 0.5, np.array([1.1, 0.9, 1.05, 0.95]), 0.3, 0.1,
                      0.2, 0.9, True, 0.05, s, 4, 3.0)),
    (4, [2, 1, 3.0, 2.0], [[0.3, 0.2]],
     lambda n, s: inar(n, 2, np.array([0.3, 0.2]), 1, 3.0, 2.0, s)),
]


@pytest.mark.parametrize("code, scalars, arrays, direct", ROWS)
def test_batch_equals_direct_call(code, scalars, arrays, direct):
    lengths = (50, 80, 1, 120)
    out = batch(code, scalars, arrays, lengths)
    gen_seeds, _ = seeds(len(lengths))
    assert len(out) == len(lengths)
    for d, n, s in zip(out, lengths, gen_seeds):
        assert list(d) == ["values", "cp_indices", "anom_indices", "miss_indices"]
        assert d["values"].tobytes() == direct(n, int(s)).tobytes()
        for key in ("cp_indices", "anom_indices", "miss_indices"):
            assert d[key].dtype == np.int64 and d[key].size == 0


def test_patterns_use_their_own_seeds_in_order():
    lengths = (200, 300)
    out = batch(0, [0.0, 1.0, 0.0, 0, 0.0], lengths=lengths, config=PATTERNS)
    gen_seeds, pi_seeds = seeds(2)
    for i, d in enumerate(out):
        v = random_walk(lengths[i], 0.0, 1.0, 0.0, int(gen_seeds[i]), 0, 0.0)
        _, cp = add_changepoints(v, int(pi_seeds[3 * i]), 2, EMPTY, "mixed", EMPTY, EMPTY, EMPTY)
        _, an = add_anomalies(v, int(pi_seeds[3 * i + 1]), ["spike", "dip", "level_shift"], 0.02,
                              5.0, -5.0, 2.0, 10)
        _, mi = add_missingness(v, int(pi_seeds[3 * i + 2]), "block", 0.05, 4, 1)
        assert np.array_equal(d["values"], v, equal_nan=True)
        assert np.array_equal(d["cp_indices"], cp["changepoint_indices"])
        assert np.array_equal(d["anom_indices"], an["anomaly_indices"])
        assert np.array_equal(d["miss_indices"], mi["missing_indices"])


def test_output_independent_of_n_workers():
    lengths = tuple(range(0, 400, 7))
    runs = [batch(0, [0.01, 1.0, 5.0, 0, 0.0], lengths=lengths, config=PATTERNS, n_workers=w)
            for w in (0, 1, 2, 8, 3, 8)]
    first = runs[0]
    for other in runs[1:]:
        for a, b in zip(first, other):
            for key in a:
                assert a[key].tobytes() == b[key].tobytes()


def test_multi_batch_spreads_specs_and_keeps_order():
    def spec(code, scalars, arrays, lengths, offset):
        g, p = seeds(len(lengths), offset)
        return {"gen_type": code, "scalar_params": np.array(scalars, dtype=np.float64),
                "array_params": [np.array(a, dtype=np.float64) for a in arrays],
                "lengths": np.array(lengths, dtype=np.int32), "gen_seeds": g, "pi_seeds": p,
                "pi_config": PATTERNS, "ignored": 1}

    specs = [spec(0, [0, 1, 0, 0, 0], [], [30] * 40, 0),
             spec(1, [7, 1, 0, 0.1, 0, 0, 0], [], [], 5),
             spec(4, [1, 0, 2.0, 0], [[0.5]], [300, 10], 9)]
    out = generate_multi_batch(specs, 2)
    assert [len(group) for group in out] == [40, 0, 2]
    single = generate_batch(4, specs[2]["scalar_params"], specs[2]["array_params"],
                            specs[2]["lengths"], specs[2]["gen_seeds"], specs[2]["pi_seeds"],
                            PATTERNS)
    for a, b in zip(out[2], single):
        assert all(np.array_equal(a[k], b[k], equal_nan=True) for k in a)
    assert generate_multi_batch([]) == []


def test_empty_lengths_skip_every_check():
    assert batch(17, [], lengths=()) == []
    with pytest.raises(TypeError):  # conversion still comes first
        generate_batch(0, np.zeros(5), [], np.zeros(0, np.int32), np.zeros(0, np.uint64),
                       np.zeros(0, np.int64), {})


def test_short_gen_seeds_yield_fewer_series():
    out = generate_batch(0, np.zeros(5), [], np.array([5, 5, 5], np.int32),
                         np.array([1, 2], np.uint64), np.zeros(9, np.uint64), {})
    assert len(out) == 2


@pytest.mark.parametrize(
    "code, n_scalars, n_arrays, message",
    [
        (17, 10, 0, "unknown generator type: 17"),
        (-1, 10, 0, "unknown generator type: -1"),
        (31, 10, 0, "unknown generator type: 31"),
        (2, 8, 0, "sarima: expected >= 9 scalar params, got 8"),
        (2, 9, 1, "sarima: expected >= 2 array params, got 1"),
        (3, 14, 0, "ets: expected >= 1 array params, got 0"),
        (0, 4, 0, "random_walk: expected >= 5 scalar params, got 4"),
    ],
)
def test_dispatch_errors(code, n_scalars, n_arrays, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        batch(code, np.ones(n_scalars), [[0.5]] * n_arrays, lengths=(10, 10))


def test_seed_and_length_refusals():
    with pytest.raises(ValueError, match="^pi_seeds length 5 < 6 \\(n_series \u00d7 3\\)$"):
        generate_batch(0, np.zeros(5), [], np.array([5, 5], np.int32),
                       np.array([1, 2], np.uint64), np.zeros(5, np.uint64), {})
    with pytest.raises(ValueError, match="lengths"):
        batch(0, np.zeros(5), lengths=(5, -1))
    with pytest.raises(ValueError, match="seasonal_period must be > 0"):
        batch(3, np.zeros(14), [[]], lengths=(5,))
    with pytest.raises(ValueError, match="anomaly_fraction must be >= 0"):
        batch(0, np.zeros(5), config={"anomalies": True, "anomaly_fraction": -0.5})


def test_multi_batch_refuses_bad_specs_before_generating():
    good = {"gen_type": 0, "scalar_params": np.zeros(5), "array_params": [],
            "lengths": np.array([5], np.int32), "gen_seeds": np.array([1], np.uint64),
            "pi_seeds": np.zeros(3, np.uint64), "pi_config": {}}
    missing = {k: v for k, v in good.items() if k != "pi_seeds"}
    with pytest.raises(ValueError, match="^missing pi_seeds$"):
        generate_multi_batch([good, missing])
    with pytest.raises(ValueError, match="gen_seeds"):
        generate_multi_batch([{**good, "gen_seeds": np.zeros(0, np.uint64)}])
    with pytest.raises(ValueError, match="pi_seeds length 2 < 3"):
        generate_multi_batch([{**good, "pi_seeds": np.zeros(2, np.uint64)}])
    with pytest.raises(TypeError) as info:
        generate_multi_batch([{**good, "lengths": np.array([5], np.int64)}])
    assert info.value.__notes__ == ["while processing 'lengths'"]
    with pytest.raises(TypeError):
        generate_multi_batch([good, "not a dict"])
    with pytest.raises(TypeError):
        generate_multi_batch((good,))


def test_pool_size_cap_is_a_value_error():
    with pytest.raises(ValueError, match="thread pool could not be built"):
        batch(0, np.zeros(5), n_workers=100_000)


def test_internal_failures_end_the_whole_batch():
    with pytest.raises(internal_failure_type(), match="Student's t df must be > 2"):
        batch(0, [0, 1, 0, 1, 2.0])
    cfg = {"missing_data": True, "missing_pattern": "block", "missing_rate": 0.5,
           "missing_block_size": 0}
    with pytest.raises(internal_failure_type(), match="missing_block_size must be > 0"):
        batch(0, np.zeros(5), config=cfg)


def test_bad_config_values_fall_back_to_defaults():
    junk = {"changepoints": 1, "anomalies": "yes", "missing_data": np.True_,
            "missing_rate": "high", "num_changepoints": 3.0}
    out = batch(0, [0, 1, 0, 0, 0], config=junk, lengths=(20,))
    assert out[0]["cp_indices"].size == 0 and out[0]["anom_indices"].size == 0
    assert out[0]["miss_indices"].size == 0  # the rate fell back to 0


def test_config_list_emptied_by_an_item_conversion_is_read_whole():
    locations = []

    class ClearsTheList:
        def __float__(self):
            locations.clear()
            return 0.5

    locations.extend([ClearsTheList()] + [0.25] * 100)
    cfg = {"changepoints": True, "num_changepoints": 2, "changepoint_type": "level",
           "changepoint_locations": locations}
    out = batch(0, [0, 1, 0, 0, 0], config=cfg, lengths=(10,))
    assert out[0]["cp_indices"].tolist() == [5, 2]


def test_zero_length_series_with_patterns():
    out = batch(0, [0, 1, 0, 0, 0], lengths=(0,), config=PATTERNS)
    assert out[0]["values"].shape == (0,) and out[0]["cp_indices"].tolist() == [0, 0]


def test_concurrent_batches_from_threads():
    lengths = tuple(range(1, 200, 3))
    expected = batch(1, [7, 1.0, 0.01, 0.2, 0.0, 0, 0.0], lengths=lengths, config=PATTERNS)
    results = []

    def run(w):
        results.append(batch(1, [7, 1.0, 0.01, 0.2, 0.0, 0, 0.0], lengths=lengths,
                             config=PATTERNS, n_workers=w))

    threads = [threading.Thread(target=run, args=(w % 3,)) for w in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for result in results:
        for a, b in zip(result, expected):
            assert all(np.array_equal(a[k], b[k], equal_nan=True) for k in a)


def test_results_adopt_buffers_without_copy():
    out = batch(0, [0, 1, 0, 0, 0], lengths=(1000,))
    values = out[0]["values"]
    assert values.base is not None and not values.flags.owndata and values.flags.writeable


def test_batch_larger_than_memory_is_refused_before_generating():
    n = 64  # 64 series of 2**31 - 1 values: about 1 TiB
    lengths = np.full(n, 2**31 - 1, np.int32)
    with pytest.raises(ValueError, match="bytes of memory"):
        generate_batch(0, np.zeros(5), [], lengths, np.arange(n, dtype=np.uint64),
                       np.zeros(3 * n, np.uint64), {})


def test_a_lone_surrogate_in_pi_config_is_an_unknown_name():
    plain = batch(0, [0.0, 1.0, 0.0, 0, 0.0], lengths=(60,))[0]["values"]
    for key in ("missing_pattern", "changepoint_type"):
        config = {"missing_data": True, "missing_rate": 0.5, "changepoints": True,
                  "num_changepoints": 2, key: "\ud800"}
        unknown = batch(0, [0.0, 1.0, 0.0, 0, 0.0], lengths=(60,),
                        config={**config, key: "no-such-name"})[0]
        surrogate = batch(0, [0.0, 1.0, 0.0, 0, 0.0], lengths=(60,), config=config)[0]
        for k in unknown:
            assert surrogate[k].tobytes() == unknown[k].tobytes()
    assert plain.size == 60
