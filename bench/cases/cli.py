"""The main job end to end: `tidemark generate` writing Parquet shards, against
a user's script that makes the same kind of data with NumPy and writes it with
pyarrow, chunk by chunk.  Each side runs in its own process so that its peak
resident memory can be read."""

import subprocess
import sys
import tempfile
import time

from harness import Measure, Row, format_seconds, missing_modules

N_SERIES = 1_000_000
LENGTH = 512

OURS = """
import resource, sys
from tidemark.cli import main
rc = main(["generate", "--generator", "random_walk", "--n-series", "{n}", "--length", "{length}",
           "--changepoints", "2", "--anomaly-fraction", "0.01", "--missing-rate", "0.05",
           "--format", "parquet", "-o", sys.argv[1], "-q"])
assert rc == 0
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""

PEER = """
import resource, sys, os
import numpy as np, pyarrow as pa, pyarrow.parquet as pq
n, length, chunk, shard = {n}, {length}, 8192, 65536
os.makedirs(sys.argv[1])
rng = np.random.default_rng(7)

def lists(rows):
    off = np.zeros(len(rows) + 1, np.int32); np.cumsum([r.size for r in rows], out=off[1:])
    return pa.ListArray.from_arrays(pa.array(off), pa.array(np.concatenate(rows), pa.int64()))

writer = None
for start in range(0, n, chunk):
    m = min(chunk, n - start)
    x = np.cumsum(rng.standard_normal((m, length)), axis=1)          # random walk
    cps = np.sort(rng.integers(int(0.1 * length), int(0.9 * length), (m, 2)), axis=1)
    for j in range(2):                                                 # level changepoints
        step = np.arange(length) >= cps[:, j:j + 1]
        x += step * rng.uniform(-20, 20, (m, 1))
    k = int(0.01 * length)                                             # spikes and dips
    anom = np.argsort(rng.random((m, length)), axis=1)[:, :k]
    x[np.arange(m)[:, None], anom] += np.where(rng.random((m, k)) < 0.5, 5.0, -5.0)
    miss = rng.random((m, length)) < 0.05                              # missing values
    x[miss] = np.nan
    rows, cols = np.nonzero(miss)
    miss_lists = np.split(cols, np.cumsum(np.bincount(rows, minlength=m))[:-1])
    off = pa.array(np.arange(0, (m + 1) * length, length, dtype=np.int32))
    table = pa.table({{
        "item_id": np.arange(start, start + m),
        "target": pa.ListArray.from_arrays(off, pa.array(x.reshape(-1))),
        "cp_indices": lists(list(cps)), "anom_indices": lists(list(anom)),
        "miss_indices": lists(miss_lists)}})
    if start % shard == 0:
        if writer: writer.close()
        writer = pq.ParquetWriter(os.path.join(sys.argv[1], f"part-{{start // shard:05d}}.parquet"),
                                  table.schema)
    writer.write_table(table)
writer.close()
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def _run(script: str) -> tuple[float, int]:
    """Seconds and peak resident kilobytes of one run in a fresh process."""
    with tempfile.TemporaryDirectory() as tmp:
        code = script.format(n=N_SERIES, length=LENGTH)
        t0 = time.perf_counter()
        out = subprocess.run([sys.executable, "-c", code, f"{tmp}/out"], check=True,
                             capture_output=True, text=True).stdout
        return time.perf_counter() - t0, int(out.split()[-1])


def _results(cache={}):
    if not cache:
        cache["ours"] = _run(OURS)
        cache["peer"] = _run(PEER)
    return cache["ours"], cache["peer"]


def _speed(repeats: int) -> Row:
    if missing_modules(("pyarrow",)):
        return Row("", ours="error", note="needs pyarrow")
    (t_ours, _), (t_peer, _) = _results()
    row = Row("", ours=format_seconds(t_ours), peer=format_seconds(t_peer),
              figure=t_peer / t_ours, figure_suffix="×")
    row.note = f"{N_SERIES / t_ours:,.0f} vs {N_SERIES / t_peer:,.0f} series/s"
    return row


def _memory(repeats: int) -> Row:
    if missing_modules(("pyarrow",)):
        return Row("", ours="error", note="needs pyarrow")
    (_, m_ours), (_, m_peer) = _results()
    return Row("", ours=f"{m_ours / 2**10:.0f} MiB", peer=f"{m_peer / 2**10:.0f} MiB",
               figure=m_ours / m_peer, note="peak resident memory, ours/peer")


CASES = [
    Measure(f"cli: generate {N_SERIES:,} x {LENGTH} -> Parquet, series/s (peer/ours)", _speed,
            target="≥ 1"),
    Measure(f"cli: generate {N_SERIES:,} x {LENGTH} -> Parquet, peak memory", _memory,
            target="≤ 1.5"),
]
