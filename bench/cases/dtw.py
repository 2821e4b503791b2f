"""DTW distance and alignment, nearest DTW neighbours and DBA against
dtaidistance and tslearn.

Only equal lengths are compared: the libraries give the band different
meanings for unequal lengths. dtaidistance's `window=w + 1` is our
`band=w`.
"""

import os
import subprocess
import sys
import warnings
from functools import cache
from pathlib import Path

import numpy as np

from tidemark._lib import augmentation as ag

from harness import Case, Measure, Row, best_of, format_seconds

SEED = 20240601
N_SERIES, SERIES_LEN, FRACTION, K = 500, 200, 0.1, 5
N_DBA, DBA_LEN, DBA_ITER = 50, 200, 10


@cache
def _pair(n):
    rng = np.random.default_rng(SEED + n)
    return rng.standard_normal(n), rng.standard_normal(n)


def _cells(n, band):
    """In-band cells of an n x n grid."""
    if band is None or band >= n:
        return n * n
    i = np.arange(1, n + 1)
    return int(np.sum(np.minimum(n, i + band) - np.maximum(1, i - band) + 1))


def _distance_row(n, band):
    a, b = _pair(n)
    window = None if band is None else band + 1

    def peer():
        from dtaidistance import dtw
        return dtw.distance_fast(a, b, window=window, use_pruning=False)

    def ours():
        return ag.dtw_distance(a, b, band)

    def measure(repeats):
        ours_d, peer_d = ours(), peer()
        if ours_d != peer_d:
            raise AssertionError(f"distances differ: {ours_d!r} vs {peer_d!r}")
        t_ours, t_peer = best_of([ours, peer], repeats, 3)
        cells = _cells(n, band)
        return Row("", ours=format_seconds(t_ours), peer=format_seconds(t_peer),
                   figure=t_ours / t_peer,
                   note=f"{t_ours / cells * 1e9:.2f} vs {t_peer / cells * 1e9:.2f} ns/cell, "
                        "same distance")

    name = f"dtw_distance {n}x{n} " + ("no band" if band is None else f"band {band}")
    return Measure(name, measure, target="≤ 0.3")


def _alignment_peer():
    from dtaidistance import dtw
    a, b = _pair(1000)
    return dtw.warping_path(a, b)


# --- nearest neighbours --------------------------------------------------------

@cache
def _collection():
    rng = np.random.default_rng(SEED)
    return [rng.standard_normal(SERIES_LEN) for _ in range(N_SERIES)]


def _neighbors_ours():
    return ag.nearest_dtw_neighbors(_collection(), FRACTION, K)


def _neighbors_peer():
    from dtaidistance import dtw
    band = int(np.ceil(SERIES_LEN * FRACTION))
    d = dtw.distance_matrix_fast(np.array(_collection()), window=band + 1, parallel=True)
    np.fill_diagonal(d, np.inf)
    order = np.argsort(d, axis=1, kind="stable")[:, :K]
    return order, np.take_along_axis(d, order, axis=1)


def _same_neighbors():
    ours = _neighbors_ours()
    order, dist = _neighbors_peer()
    if [[j for j, _ in row] for row in ours] != order.tolist():
        raise AssertionError("neighbour indices differ")
    if not np.allclose([[d for _, d in row] for row in ours], dist, rtol=1e-12):
        raise AssertionError("neighbour distances differ")


# Each side gets the same processors: the row runs in a fresh interpreter
# pinned to `n` processors before anything starts threads, so our default
# pool and dtaidistance's OpenMP team both have n threads (run.py limits
# OpenMP to one thread for its own process).
_WORKERS_SCRIPT = """
import os, sys
n = int(sys.argv[3])
os.sched_setaffinity(0, sorted(os.sched_getaffinity(0))[:n])
sys.path.insert(0, sys.argv[1])
from harness import best_of
from cases.dtw import _neighbors_ours, _neighbors_peer, _same_neighbors
_same_neighbors()
t_ours, t_peer = best_of([_neighbors_ours, _neighbors_peer], int(sys.argv[2]), 1)
print(t_ours, t_peer)
"""


def _neighbors_row(n_workers):
    def measure(repeats):
        if len(os.sched_getaffinity(0)) < n_workers:
            raise RuntimeError(f"needs {n_workers} processors")
        bench_dir = str(Path(__file__).resolve().parent.parent)
        proc = subprocess.run(
            [sys.executable, "-c", _WORKERS_SCRIPT, bench_dir, str(max(1, min(repeats, 2))),
             str(n_workers)],
            capture_output=True, text=True, env={**os.environ, "OMP_NUM_THREADS": str(n_workers)})
        if proc.returncode != 0:
            lines = (proc.stderr.strip() or "subprocess failed").splitlines()
            raise RuntimeError(lines[-1])
        t_ours, t_peer = map(float, proc.stdout.split())
        return Row("", ours=format_seconds(t_ours), peer=format_seconds(t_peer),
                   figure=t_ours / t_peer, note=f"same neighbours, {n_workers} processor(s) each")

    return Measure(f"nearest_dtw_neighbors {N_SERIES}x{SERIES_LEN} w=0.1, {n_workers} "
                   f"worker{'s' if n_workers > 1 else ''}", measure, target="≤ 0.5")


# --- DBA -----------------------------------------------------------------------

@cache
def _dba_inputs():
    rng = np.random.default_rng(SEED + 1)
    x = np.cumsum(rng.standard_normal((N_DBA, DBA_LEN)), axis=1)
    return x, [row.copy() for row in x]


def _dba_ours():
    _, rows = _dba_inputs()
    return ag.dba_barycenter(rows[0], rows[1:], np.ones(N_DBA), DBA_ITER)


def _dba_peer():
    x, rows = _dba_inputs()
    with warnings.catch_warnings():  # tslearn warns on import about optional h5py
        warnings.simplefilter("ignore")
        from tslearn.barycenters import dtw_barycenter_averaging
        return dtw_barycenter_averaging(x, init_barycenter=rows[0], max_iter=DBA_ITER, tol=0)


CASES = [
    _distance_row(1000, None),
    _distance_row(2000, 100),
    Case("dtw_alignment 1000x1000", lambda: ag.dtw_alignment(*_pair(1000)), _alignment_peer,
         target="≤ 0.5", requires=("dtaidistance",)),
    _neighbors_row(1),
    _neighbors_row(2),
    Case(f"dba_barycenter (dtw) {N_DBA}x{DBA_LEN}, {DBA_ITER} iterations", _dba_ours, _dba_peer,
         target="≤ 0.3", requires=("tslearn",)),
]
