"""The MAR feature scoring batch: candidates drawn at several lengths and
scored, a failed candidate reported as None without failing the call."""

import numpy as np
import pytest

from tidemark._lib.augmentation import compute_features, mar_features_batch
from tidemark._lib.batch import generate_batch

RANDOM = [3, 3, 12, 1.0, 0.5, 0.1, 1.0, 100, 1, 0, 0, 0.0]
# Fixed mode, one AR(1) component; the coefficient decides its fate.
FIXED = [1, 1, 0, 1, 0, 1, 1, 10, 0, 1, 0, 0.0]


def fixed_arrays(phi, sigma=1.0):
    return [[1.0], [1.0], [phi], [0.0], [sigma]]


def mar_series(scalars, arrays, n, seed):
    return generate_batch(30, np.array(scalars, dtype=float),
                          [np.array(a, dtype=float) for a in arrays], np.array([n], np.int32),
                          np.array([seed], np.uint64), np.zeros(3, np.uint64), {})[0]["values"]


def test_each_entry_is_the_features_of_the_generated_series():
    lengths, seeds = [50, 300], [[11, 12], [21, 22]]
    candidates = [(RANDOM, []), (FIXED, fixed_arrays(0.6))]
    scores = mar_features_batch([c[0] for c in candidates], [c[1] for c in candidates], lengths,
                                seeds, period=12)
    for (scalars, arrays), row, candidate_seeds in zip(candidates, scores, seeds):
        assert len(row) == len(lengths)
        for draw, n, seed in zip(row, lengths, candidate_seeds):
            assert draw == list(compute_features(mar_series(scalars, arrays, n, seed), 12))


def test_failed_candidates_are_none_and_do_not_fail_the_call():
    student_t_df_2 = FIXED[:10] + [1, 2.0]  # an innovation the sampler refuses
    scalars = [RANDOM, [np.nan] + RANDOM[1:], FIXED, student_t_df_2, RANDOM]
    arrays = [[], [], fixed_arrays(1.5),           # explosive: eight failed attempts
              fixed_arrays(0.5), []]
    seeds = [[1, 2]] * len(scalars)
    scores = mar_features_batch(scalars, arrays, [40, 80], seeds)
    assert [s is None for s in scores] == [False, True, True, True, False]
    assert scores[0] == mar_features_batch([RANDOM], [[]], [40, 80], [[1, 2]])[0]


def test_period_one_fails_every_candidate_and_none_never_does():
    assert mar_features_batch([RANDOM] * 2, [[], []], [30], [[1], [2]], period=1) == [None, None]
    assert all(s is not None for s in mar_features_batch([RANDOM] * 3, [[]] * 3, [30],
                                                         [[1], [2], [3]]))


@pytest.mark.parametrize("scalars, arrays, lengths, seeds", [
    ([RANDOM], [[]], [], [[]]),
    ([RANDOM], [[]], [2], [[1]]),
    ([RANDOM], [[]], [1_000_001], [[1]]),
    ([RANDOM, RANDOM], [[], []], [10], [[1], [1, 2]]),
    ([RANDOM], [[], []], [10], [[1]]),
    ([RANDOM], [[]], [10], [[1], [2]]),
])
def test_dimension_errors_fail_the_whole_call(scalars, arrays, lengths, seeds):
    with pytest.raises(ValueError, match="^invalid MAR feature batch dimensions or lengths$"):
        mar_features_batch(scalars, arrays, lengths, seeds)


def test_edges_and_worker_independence():
    assert mar_features_batch([], [], [100], []) == []
    assert len(mar_features_batch([RANDOM], [[]], [3], [[5]])[0]) == 1
    args = ([RANDOM, FIXED, RANDOM], [[], fixed_arrays(0.3), []], [20, 60], [[1, 2], [3, 4], [5, 6]])
    expected = mar_features_batch(*args)
    for workers in (1, 2, 8):
        assert mar_features_batch(*args, n_workers=workers) == expected


@pytest.mark.parametrize("bad, note", [
    (dict(scalars="abc"), "scalars"),
    (dict(arrays=[[["x"]]]), "arrays"),
    (dict(lengths=[-1]), "lengths"),
    (dict(seeds=[[2**64]]), "seeds"),
])
def test_conversion_failures_name_the_parameter(bad, note):
    kwargs = {**dict(scalars=[RANDOM], arrays=[[]], lengths=[10], seeds=[[1]]), **bad}
    with pytest.raises((TypeError, OverflowError)) as info:
        mar_features_batch(**kwargs)
    assert info.value.__notes__ == [f"while processing '{note}'"]
