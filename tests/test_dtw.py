"""DTW distance and alignment, nearest DTW neighbours and DBA barycentres."""

import math
import subprocess
import sys
import textwrap

import numpy as np
import pytest

from tidemark._lib.augmentation import (
    dba_barycenter,
    dba_barycenters,
    dtw_alignment,
    dtw_distance,
    nearest_dtw_neighbors,
)

INFEASIBLE = "DTW alignment is infeasible for the requested band"
EMPTY_MSG = "DTW inputs must be non-empty one-dimensional arrays"
FINITE_MSG = "DTW inputs must be finite"
PARENT_CAP = ("DTW alignment exceeds the 64 MiB parent-storage limit; "
              "shorten series or reduce the band")
BAD_WEIGHTS = "weights must be non-negative and match all input series"


def arr(*values):
    return np.array(values, dtype=np.float64)


# --- a literal reference of the recurrence, back-track and DBA update -------

def ref_align(a, b, band=None):
    """(distance, path) by the full-grid recurrence with the stated tie order."""
    n, m = len(a), len(b)
    longer = max(n, m)
    w = min(longer, max(longer if band is None else band, abs(n - m)))
    grid = [[math.inf] * (m + 1) for _ in range(n + 1)]
    grid[0][0] = 0.0
    code = {}
    for i in range(1, n + 1):
        for j in range(max(1, i - w), min(m, i + w) + 1):
            diag, up, left = grid[i - 1][j - 1], grid[i - 1][j], grid[i][j - 1]
            best, c = (up, 1) if up < diag else (diag, 0)
            if best > left:
                best, c = left, 2
            d = float(a[i - 1]) - float(b[j - 1])
            grid[i][j] = d * d + best
            code[i, j] = c
    path, i, j = [], n, m
    while i >= 1 and j >= 1:
        path.append((i - 1, j - 1))
        c = code[i, j]
        i, j = (i - 1, j - 1) if c == 0 else (i - 1, j) if c == 1 else (i, j - 1)
    return math.sqrt(grid[n][m]), path[::-1]


def ref_dba(reference, neighbors, weight_sets, n_iterations, band=None):
    series = [list(map(float, reference))] + [list(map(float, s)) for s in neighbors]
    n0 = len(series[0])
    shared = [ref_align(series[0], s, band)[1] for s in series]
    copies = [list(series[0]) for _ in weight_sets]
    for t in range(n_iterations):
        for c, weights in enumerate(weight_sets):
            paths = shared if t == 0 else [ref_align(copies[c], s, band)[1] for s in series]
            num, den = [0.0] * n0, [0.0] * n0
            for k, s in enumerate(series):
                for p, q in paths[k]:
                    num[p] += s[q] * weights[k]
                    den[p] += weights[k]
            copies[c] = [num[p] / den[p] if den[p] > 0 else copies[c][p] for p in range(n0)]
    return [np.array(c) for c in copies]


def random_pairs(count, seed):
    """Pairs of short series of mixed lengths; every third one integer-valued
    so that equal predecessor costs (ties) occur often."""
    rng = np.random.default_rng(seed)
    for k in range(count):
        n, m = (int(x) for x in rng.integers(1, 14, size=2))
        a, b = rng.standard_normal(n), rng.standard_normal(m)
        if k % 3 == 0:
            a, b = np.round(a), np.round(b)
        band = None if k % 4 == 0 else int(rng.integers(0, 16))
        yield a, b, band


# --- DTW distance and alignment ---------------------------------------------

def test_matches_the_reference_recurrence_bit_for_bit():
    for a, b, band in random_pairs(400, seed=7):
        want_d, want_path = ref_align(a, b, band)
        d, path = dtw_alignment(a, b, band)
        assert path == want_path, (a, b, band)
        assert d == want_d and dtw_distance(a, b, band) == want_d, (a, b, band)


def test_distance_equals_alignment_distance_on_longer_series():
    # The distance kernel works on several rows at once; its bits must match
    # the alignment's row-by-row kernel for every shape of band.
    rng = np.random.default_rng(11)
    for n, m, band in [(300, 300, None), (301, 297, 5), (257, 300, 0), (64, 300, 2),
                       (300, 17, 1), (123, 124, 60), (9, 9, 3), (1000, 1000, 100)]:
        a, b = rng.standard_normal(n), rng.standard_normal(m)
        assert dtw_distance(a, b, band) == dtw_alignment(a, b, band)[0]


EXAMPLES = [
    # a, b, band, distance, path
    ([0, 0], [0, 0, 0], None, 0.0, [(0, 0), (0, 1), (1, 2)]),
    ([1, 2, 1], [1, 0, 0, 1], None, math.sqrt(3), [(0, 0), (0, 1), (0, 2), (1, 3), (2, 3)]),
    ([1, 2, 3], [1, 2, 3, 4, 5], 0, math.sqrt(5), [(0, 0), (1, 1), (2, 2), (2, 3), (2, 4)]),
    ([3.5], [1.0], None, 2.5, [(0, 0)]),
    ([2.0], [1, 4, 0], None, math.sqrt(1 + 4 + 4), [(0, 0), (0, 1), (0, 2)]),
    ([1, 5, 2, 8], [1, 5, 2, 8], None, 0.0, [(0, 0), (1, 1), (2, 2), (3, 3)]),
    ([1, 5, 2, 8], [0, 7, 2, 9], 0, math.sqrt(1 + 4 + 0 + 1), [(0, 0), (1, 1), (2, 2), (3, 3)]),
]


@pytest.mark.parametrize("a, b, band, distance, path", EXAMPLES)
def test_examples(a, b, band, distance, path):
    a, b = arr(*a), arr(*b)
    got = dtw_alignment(a, b, band)
    assert got == (distance, path)
    assert type(got[1][0][0]) is int and type(got[0]) is float
    assert dtw_distance(a, b, band=band) == distance


def test_band_is_widened_to_the_length_difference_and_clipped():
    a, b = arr(1, 2, 3), arr(3, 1, 4, 1, 5)
    assert dtw_alignment(a, b, 0) == dtw_alignment(a, b, 2)
    assert dtw_alignment(a, b, 5) == dtw_alignment(a, b, 2**62) == dtw_alignment(a, b)


@pytest.mark.parametrize("a, b, band, error, message", [
    (np.empty(0), np.empty(0), -1, ValueError, "band must be non-negative when provided"),
    (arr(np.nan), arr(1), -5, ValueError, "band must be non-negative when provided"),
    (np.empty(0), arr(1), None, ValueError, EMPTY_MSG),
    (arr(1), np.empty(0), 3, ValueError, EMPTY_MSG),
    (arr(1, np.nan), arr(1), None, ValueError, FINITE_MSG),
    (arr(1), arr(2, -np.inf), None, ValueError, FINITE_MSG),
    (arr(1e200, -1e200), arr(-1e200, 1e200), None, ValueError, INFEASIBLE),
])
@pytest.mark.parametrize("func", [dtw_distance, dtw_alignment])
def test_failures(func, a, b, band, error, message):
    with pytest.raises(error) as info:
        func(a, b, band)
    assert str(info.value) == message


@pytest.mark.parametrize("func", [dtw_distance, dtw_alignment])
def test_argument_conversion(func):
    a = arr(1, 2, 3)
    with pytest.raises(TypeError) as info:
        func(a, a, 1.0)
    assert info.value.__notes__ == ["while processing 'band'"]
    with pytest.raises(OverflowError) as info:
        func(a, a, 2**63)
    assert info.value.__notes__ == ["while processing 'band'"]
    assert func(a, a, np.int64(2**63 - 1)) == func(a, a)
    with pytest.raises(TypeError):
        func([1.0, 2.0], a)
    with pytest.raises(TypeError, match="not contiguous"):
        func(np.arange(6.0)[::2], a, -1)  # copied before the band is looked at


def test_parent_storage_cap():
    rng = np.random.default_rng(3)
    big = rng.standard_normal(10_000)
    other = rng.standard_normal(10_000)
    with pytest.raises(ValueError) as info:
        dtw_alignment(big, other)
    assert str(info.value) == PARENT_CAP
    assert dtw_distance(big, other) > 0
    d, path = dtw_alignment(big, other, 100)
    assert d == dtw_distance(big, other, 100)
    assert path[0] == (0, 0) and path[-1] == (9999, 9999)
    # Exactly 64 MiB of parents is allowed, one row more is not.
    a, b = np.zeros(8192), np.zeros(8192)
    assert dtw_alignment(a, b)[0] == 0.0
    with pytest.raises(ValueError, match="parent-storage"):
        dtw_alignment(np.zeros(8193), b)


def test_path_cap_comes_after_the_cost():
    a, b = np.zeros(2_097_153), np.zeros(2_097_152)  # n + m = 4,194,305
    with pytest.raises(ValueError) as info:
        dtw_alignment(a, b, 0)
    assert str(info.value) == "DTW path exceeds 64 MiB"
    assert dtw_distance(a, b, 0) == 0.0
    b[0] = 1e300  # an infeasible cost is reported before the path cap
    with pytest.raises(ValueError, match=INFEASIBLE):
        dtw_alignment(a, b, 0)


# --- nearest neighbours ------------------------------------------------------

def brute_force_neighbors(series, window_fraction, n_neighbors):
    out = []
    for i, s in enumerate(series):
        found = []
        for j, t in enumerate(series):
            if i != j:
                band = max(math.ceil(max(len(s), len(t)) * window_fraction),
                           abs(len(s) - len(t)) + 1)
                found.append((dtw_distance(s, t, band), j))
        found.sort()
        out.append([(j, d) for d, j in found[:n_neighbors]])
    return out


def test_neighbors_match_brute_force_across_pair_blocks():
    # 100 series: 4950 pairs, more than one block of 4096.
    rng = np.random.default_rng(5)
    series = [np.round(rng.standard_normal(int(rng.integers(3, 12))), 1) for _ in range(100)]
    got = nearest_dtw_neighbors(series, 0.3, 4)
    assert got == brute_force_neighbors(series, 0.3, 4)
    assert nearest_dtw_neighbors(tuple(series), 0.3, 4) == got


def test_neighbor_counts_ties_and_band():
    a, b, c = arr(0, 0, 0), arr(1, 1, 1), arr(-1, -1, -1)  # b and c tie around a
    assert nearest_dtw_neighbors([a], 0.5, 3) == [[]]
    assert nearest_dtw_neighbors([], 0.5, 3) == []
    got = nearest_dtw_neighbors([a, b, c], 0.5, 5)
    assert [len(x) for x in got] == [2, 2, 2]
    assert got[0] == [(1, math.sqrt(3)), (2, math.sqrt(3))]
    assert nearest_dtw_neighbors([c, b, a], 0.5, 1)[2] == [(0, math.sqrt(3))]
    # Lengths 10 and 14 with 0.1: band max(ceil(1.4), 5) = 5.
    rng = np.random.default_rng(2)
    x, y = rng.standard_normal(10), rng.standard_normal(14)
    assert nearest_dtw_neighbors([x, y], 0.1, 1) == [[(1, dtw_distance(x, y, 5))],
                                                      [(0, dtw_distance(x, y, 5))]]
    # window_fraction 1 with equal lengths is unconstrained DTW.
    z = rng.standard_normal(14)
    assert nearest_dtw_neighbors([y, z], 1.0, 1)[0] == [(1, dtw_distance(y, z))]


@pytest.mark.parametrize("series, fraction, k, message", [
    ([np.empty(0)], 0.0, 0, "window_fraction must satisfy 0 < value <= 1"),
    ([], 1.5, 1, "window_fraction must satisfy 0 < value <= 1"),
    ([], float("nan"), 1, "window_fraction must satisfy 0 < value <= 1"),
    ([np.empty(0)], 0.5, 0, "n_neighbors must be >= 1"),
    ([arr(1, 2), np.empty(0), arr(np.nan)], 0.5, 1, EMPTY_MSG),
    ([arr(1, 2), arr(np.nan)], 0.5, 1, FINITE_MSG),
    ([arr(1e200, -1e200), arr(-1e200, 1e200)], 0.5, 1, INFEASIBLE),
])
def test_neighbor_failures(series, fraction, k, message):
    with pytest.raises(ValueError) as info:
        nearest_dtw_neighbors(series, fraction, k)
    assert str(info.value) == message


def test_neighbor_argument_conversion():
    with pytest.raises(TypeError, match="str"):
        nearest_dtw_neighbors("abc", 0.5, 1)
    with pytest.raises(TypeError) as info:
        nearest_dtw_neighbors([arr(1), [1.0, 2.0]], 0.5, 1)
    assert info.value.__notes__ == ["while processing 'series'"]
    with pytest.raises(TypeError, match="Sequence"):
        nearest_dtw_neighbors(iter([arr(1)]), 0.5, 1)
    with pytest.raises(OverflowError):
        nearest_dtw_neighbors([arr(1)], 0.5, -1)
    with pytest.raises(TypeError, match="not contiguous"):
        nearest_dtw_neighbors([arr(1), np.arange(4.0)[::2]], 0.5, 1)


# --- DBA ---------------------------------------------------------------------

def dba_inputs(seed, n_neighbors=3, lengths=(6, 11)):
    rng = np.random.default_rng(seed)
    ref = rng.standard_normal(9)
    nbs = [np.round(rng.standard_normal(int(rng.integers(*lengths))), 1)
           for _ in range(n_neighbors)]
    return ref, nbs


@pytest.mark.parametrize("seed, band, n_copies", [(1, None, 1), (2, 2, 1), (3, None, 3),
                                                  (4, 0, 9)])
def test_dba_matches_the_reference_update_bit_for_bit(seed, band, n_copies):
    ref, nbs = dba_inputs(seed)
    rng = np.random.default_rng(seed + 100)
    weight_sets = [list(rng.uniform(0.0, 2.0, size=len(nbs) + 1)) for _ in range(n_copies)]
    weight_sets[0][0] = 0.0  # the reference may contribute nothing
    got = dba_barycenters(ref, nbs, weight_sets, 3, band)
    want = ref_dba(ref, nbs, weight_sets, 3, band)
    assert [g.tobytes() for g in got] == [w.tobytes() for w in want]
    single = dba_barycenter(ref, nbs, np.array(weight_sets[-1]), 3, band)
    assert single.tobytes() == got[-1].tobytes()


def test_dba_many_series_groups_of_eight():
    ref, nbs = dba_inputs(8, n_neighbors=19, lengths=(20, 40))
    w = np.linspace(0.5, 1.5, 20)
    got = dba_barycenter(ref, nbs, w, 2, 5)
    assert got.tobytes() == ref_dba(ref, nbs, [list(w)], 2, 5)[0].tobytes()
    assert got.dtype == np.float64 and got.flags.c_contiguous and got.flags.writeable


def test_dba_identical_inputs_and_identical_copies():
    ref = np.random.default_rng(0).standard_normal(50)
    for n_iterations in (1, 4):
        out = dba_barycenter(ref, [ref.copy()], arr(1, 1), n_iterations)
        assert out.tobytes() == ref.tobytes()
    twins = dba_barycenters(ref, [ref[::-1].copy()], [[1.0, 2.0], [1.0, 2.0]], 3)
    assert twins[0].tobytes() == twins[1].tobytes()
    assert dba_barycenter(ref, [], arr(2.0), 2).tobytes() == ref.tobytes()


@pytest.mark.parametrize("weights, n_iterations, band, message", [
    ([[1, 1]], 1, -1, "band must be non-negative when provided"),
    ([[1, 1]], 0, -1, "band must be non-negative when provided"),
    ([[1, 1]], 0, None, "n_iterations must be in [1, 1000]"),
    ([[1, 1]], 1001, None, "n_iterations must be in [1, 1000]"),
    ([], 1, None, "DBA requires between 1 and 1000 copies"),
    ([[1, 1]] * 1001, 1, None, "DBA requires between 1 and 1000 copies"),
    ([[1]], 1, None, BAD_WEIGHTS),
    ([[1, 1, 1]], 1, None, BAD_WEIGHTS),
    ([[1, -1e-300]], 1, None, BAD_WEIGHTS),
    ([[1, float("nan")]], 1, None, BAD_WEIGHTS),
    ([[1, float("inf")]], 1, None, BAD_WEIGHTS),
    ([[0.0, -0.0]], 1, None, BAD_WEIGHTS),
    ([[1e308, 1e308]], 1, None, BAD_WEIGHTS),  # the sum overflows
    ([[1, 1], [1]], 1, None, BAD_WEIGHTS),
])
def test_dba_validation(weights, n_iterations, band, message):
    ref, nb = arr(1, 2, 3), [arr(2, 3)]
    with pytest.raises(ValueError) as info:
        dba_barycenters(ref, nb, weights, n_iterations, band)
    assert str(info.value) == message


def test_dba_accepts_zero_and_negative_zero_weights():
    ref, nb = arr(1, 2, 3), arr(5, 6, 7)
    assert dba_barycenters(ref, [nb], [[0.0, 1.0]], 1)[0].tolist() == [5, 6, 7]
    assert dba_barycenters(ref, [nb], [[-0.0, 1.0]], 1)[0].tolist() == [5, 6, 7]


def test_dba_series_and_size_checks():
    ok = arr(1, 2)
    cases = [
        (np.empty(0), [ok], [1.0, 1.0], EMPTY_MSG),
        (arr(np.nan), [np.empty(0)], [1.0, 1.0], FINITE_MSG),  # reference first
        (ok, [ok, arr(np.inf)], [1.0], FINITE_MSG),  # series before weights
        (np.zeros(5_000_000), [], [1.0], None),
        (np.zeros(1_000_000), [np.zeros(1_000_000)] * 2, [1.0] * 3,
         "DBA alignment cache exceeds 64 MiB; shorten series or reduce neighbors"),
        (np.zeros(10_000), [np.ones(10_000)], [1.0, 1.0], PARENT_CAP),
        (arr(1e200, -1e200), [arr(-1e200, 1e200)], [1.0, 1.0], INFEASIBLE),
    ]
    for ref, nbs, w, message in cases:
        if message is None:  # 5,000,000 values in two copies
            with pytest.raises(ValueError) as info:
                dba_barycenters(ref, nbs, [w, w], 1)
            assert str(info.value) == "DBA output exceeds 64 MiB; reduce copies or series length"
            continue
        with pytest.raises(ValueError) as info:
            dba_barycenters(ref, nbs, [w], 1)
        assert str(info.value) == message


def test_dba_argument_conversion():
    ref = arr(1, 2)
    with pytest.raises(TypeError) as info:
        dba_barycenters(ref, [ref], "ab", 1)
    assert info.value.__notes__ == ["while processing 'weights'"]
    with pytest.raises(TypeError):
        dba_barycenters(ref, [ref], [[1.0, "x"]], 1)
    with pytest.raises(TypeError):
        dba_barycenters(ref, [ref], [1.0, 1.0], 1)  # not nested
    with pytest.raises(TypeError):
        dba_barycenter(ref, [ref], [1.0, 1.0], 1)  # an array is required here
    with pytest.raises(OverflowError):
        dba_barycenter(ref, [ref], arr(1, 1), -1)
    assert dba_barycenters(ref, (ref,), ((1, np.float64(1.0)),), 1)[0].tolist() == [1, 2]


_INTERRUPT_SCRIPT = textwrap.dedent("""
    import os, signal, threading
    import numpy as np
    from tidemark._lib.augmentation import dba_barycenters

    rng = np.random.default_rng(0)
    ref = rng.standard_normal(1000)
    nbs = [rng.standard_normal(1000) for _ in range(7)]
    weights = [[1.0] * 8] * int(os.environ["COPIES"])
    # A parent started in the background may pass SIGINT down ignored.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
    try:
        dba_barycenters(ref, nbs, weights, 1000)  # minutes of work
    except KeyboardInterrupt:
        print("KeyboardInterrupt")
    else:
        print("finished")
""")


@pytest.mark.parametrize("copies", ["1", "3"])
def test_ctrl_c_stops_a_long_dba(copies):
    proc = subprocess.run([sys.executable, "-c", _INTERRUPT_SCRIPT], capture_output=True,
                          text=True, timeout=120, env={**__import__("os").environ,
                                                       "COPIES": copies})
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == "KeyboardInterrupt"


def test_concurrent_calls_give_the_serial_results():
    from concurrent.futures import ThreadPoolExecutor

    rng = np.random.default_rng(12)
    series = [rng.standard_normal(int(rng.integers(20, 40))) for _ in range(30)]
    want_nb = nearest_dtw_neighbors(series, 0.2, 3)
    want_dba = dba_barycenters(series[0], series[1:9], [[1.0] * 9, [0.5] * 9], 3, 4)
    with ThreadPoolExecutor(4) as pool:
        nbs = list(pool.map(lambda _: nearest_dtw_neighbors(series, 0.2, 3), range(4)))
        dbas = list(pool.map(lambda _: dba_barycenters(series[0], series[1:9],
                                                       [[1.0] * 9, [0.5] * 9], 3, 4), range(4)))
    assert all(nb == want_nb for nb in nbs)
    assert all([x.tobytes() for x in d] == [x.tobytes() for x in want_dba] for d in dbas)


def test_text_signatures():
    import inspect

    assert str(inspect.signature(dtw_distance)) == "(a, b, band=None)"
    assert str(inspect.signature(nearest_dtw_neighbors)) == "(series, window_fraction, n_neighbors)"
    assert (str(inspect.signature(dba_barycenters))
            == "(reference, neighbors, weights, n_iterations, band=None)")
