"""Generating, writing and reading labelled datasets.

Series are generated and written chunk by chunk, so memory stays bounded by a
chunk whatever the number of series.  Every file is written under a
temporary name beside its target and renamed into place when complete: an
interrupted run never leaves a truncated file nor destroys an older one.

Two formats:

* ``.npz`` (NumPy): all series concatenated in ``values`` with ``lengths``,
  ``generator`` (batch code per series), ``gen_seeds``, ``pi_seeds`` (three
  per series), for each of ``cp``, ``anom`` and ``miss`` the concatenated
  ``*_indices`` with ``*_counts`` (and ``*_mask`` when label masks are
  requested), and ``metadata`` (JSON text).
* Parquet (pyarrow): a directory of shards ``part-00000.parquet`` ... with one
  row per series (``item_id``, ``generator``, ``target``, the label index
  lists, the seeds and optional masks), one row group per chunk, plus
  ``metadata.json``; each shard also carries the metadata in its schema.

The metadata holds the tidemark version, the master seed, the resolved
description and the generator names of the codes: ``regenerate_series``
rebuilds any series from it alone (see ``tidemark.seeds`` for the seeds).
"""

from __future__ import annotations

import json
import os
import shutil
import tempfile
import zipfile
from contextlib import contextmanager
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable, Iterator

import numpy as np

from tidemark.config import ConfigError, Plan, plan_from_config
from tidemark.seeds import lengths_from_words, series_words

FORMAT_VERSION = 1
LABELS = ("cp", "anom", "miss")
METADATA_FILE = "metadata.json"
SEED_DERIVATION = ("series i: numpy.random.SeedSequence(seed, spawn_key=(i,))"
                   ".generate_state(5, numpy.uint64) -> [length word, generator seed, "
                   "changepoint seed, anomaly seed, missing-value seed]; length = "
                   "min + (((word >> 32) * (max - min + 1)) >> 32)")


def _version() -> str:
    from tidemark import __version__
    return __version__


class NeedsExtra(ConfigError):
    """An optional dependency is missing."""


def require(module: str, extra: str, what: str):
    import importlib
    try:
        return importlib.import_module(module)
    except ImportError:
        raise NeedsExtra(f"{what} needs {module.split('.')[0]}: "
                         f"pip install 'tidemark[{extra}]'") from None


# --- generation ----------------------------------------------------------------

@dataclass
class Chunk:
    start: int
    stop: int
    generator: np.ndarray  # int32 batch codes
    words: np.ndarray  # (n, 5) uint64 seed words
    lengths: np.ndarray  # int64
    offsets: np.ndarray  # int64, n + 1
    values: np.ndarray  # float64, all series concatenated
    labels: dict[str, tuple[np.ndarray, np.ndarray]]  # name -> (flat int64, counts int64)

    def mask(self, name: str) -> np.ndarray:
        """Per-point flags: True at each reported position of that label."""
        flat, counts = self.labels[name]
        out = np.zeros(self.values.size, dtype=bool)
        out[np.repeat(self.offsets[:-1], counts) + flat] = True
        return out


def _pieces(plan: Plan, start: int, stop: int):
    """(group, group-local start, group-local stop) overlapping [start, stop)."""
    for group, first in zip(plan.groups, plan.starts):
        lo, hi = max(start, first), min(stop, first + group.n_series)
        if lo < hi:
            yield group, lo, hi


def chunk_lengths(plan: Plan, start: int, stop: int) -> np.ndarray:
    parts = []
    for group, lo, hi in _pieces(plan, start, stop):
        if group.length[0] == group.length[1]:
            parts.append(np.full(hi - lo, group.length[0], dtype=np.int64))
        else:
            parts.append(lengths_from_words(series_words(plan.seed, lo, hi), *group.length))
    return np.concatenate(parts) if parts else np.empty(0, np.int64)


def total_values(plan: Plan, start: int, stop: int) -> int:
    total = 0
    for a in range(start, stop, 1 << 20):
        total += int(chunk_lengths(plan, a, min(stop, a + (1 << 20))).sum())
    return total


def internal_failure(exc: BaseException) -> bool:
    return type(exc).__name__ == "InternalFailure" and type(exc).__module__ == "tidemark._lib"


BATCH_VALUES = 1 << 19  # values per native call: the native results are copied out and freed


def generate_chunk(plan: Plan, start: int, stop: int, n_workers: int | None = None) -> Chunk:
    """Series start..stop-1 of the plan, in one flat buffer.

    The native batch returns one array per series; they are generated a few
    MiB at a time and copied into the chunk's buffer, so that a chunk costs
    little more than its own bytes."""
    from tidemark._lib.batch import generate_multi_batch

    words = series_words(plan.seed, start, stop)
    pieces = list(_pieces(plan, start, stop))
    lengths = np.empty(stop - start, dtype=np.int64)
    codes = np.empty(stop - start, dtype=np.int32)
    for group, lo, hi in pieces:
        w = words[lo - start:hi - start]
        lengths[lo - start:hi - start] = (
            lengths_from_words(w, *group.length) if group.length[0] != group.length[1]
            else group.length[0])
        codes[lo - start:hi - start] = group.spec.gen_type
    offsets = np.zeros(lengths.size + 1, dtype=np.int64)
    np.cumsum(lengths, out=offsets[1:])
    values = np.empty(int(offsets[-1]), dtype=np.float64)
    flats: dict[str, list[np.ndarray]] = {name: [] for name in LABELS}
    counts: dict[str, list[np.ndarray]] = {name: [] for name in LABELS}
    pi_config = plan.pi_config()
    workers = plan.n_workers if n_workers is None else n_workers
    slots = {id(g): (np.array(g.scalar_slots(), dtype=np.float64),
                     [np.array(a, dtype=np.float64) for a in g.array_slots()])
             for g, _, _ in pieces}
    a = 0
    while a < lengths.size:  # series a..b-1 (chunk-local) in one native call
        b = max(a + 1, int(np.searchsorted(offsets, offsets[a] + BATCH_VALUES, "right")) - 1)
        b = min(b, lengths.size)
        specs = []
        for group, lo, hi in _pieces(plan, start + a, start + b):
            i, j = lo - start, hi - start
            scalars, arrays = slots[id(group)]
            specs.append({
                "gen_type": group.spec.gen_type, "scalar_params": scalars,
                "array_params": arrays, "lengths": lengths[i:j].astype(np.int32),
                "gen_seeds": np.ascontiguousarray(words[i:j, 1]),
                "pi_seeds": np.ascontiguousarray(words[i:j, 2:5]).reshape(-1),
                "pi_config": pi_config,
            })
        s = a
        batch_parts: dict[str, list[np.ndarray]] = {name: [] for name in LABELS}
        for inner in generate_multi_batch(specs, workers):
            for series in inner:
                values[offsets[s]:offsets[s + 1]] = series["values"]
                for name in LABELS:
                    batch_parts[name].append(series[f"{name}_indices"])
                s += 1
        # the index arrays share one owner with their series' values: copy
        # them out now so that the native buffers are freed with this batch
        for name, parts in batch_parts.items():
            counts[name].append(np.fromiter((p.size for p in parts), np.int64, len(parts)))
            flats[name].append(np.concatenate(parts).astype(np.int64, copy=False))
        del batch_parts
        a = b
    labels = {}
    for name in LABELS:
        labels[name] = (np.concatenate(flats[name]) if flats[name] else np.empty(0, np.int64),
                        np.concatenate(counts[name]) if counts[name] else np.empty(0, np.int64))
    return Chunk(start, stop, codes, words, lengths, offsets, values, labels)


def iter_chunks(plan: Plan, ranges) -> Iterator[Chunk]:
    """The chunks of the given ranges, in order; the next one is generated on
    a background thread while the caller writes the current one (the native
    batch and the writers both release the interpreter lock)."""
    from concurrent.futures import ThreadPoolExecutor

    ranges = list(ranges)
    if len(ranges) < 2:
        for a, b in ranges:
            yield generate_chunk(plan, a, b)
        return
    with ThreadPoolExecutor(1, thread_name_prefix="tidemark-chunk") as pool:
        pending = pool.submit(generate_chunk, plan, *ranges[0])
        try:
            for a, b in ranges[1:]:
                chunk = pending.result()
                pending = pool.submit(generate_chunk, plan, a, b)
                yield chunk
                del chunk
            yield pending.result()
        finally:
            pending.cancel()


def chunk_stats(chunk: Chunk) -> tuple[int, ...]:
    """Values, changepoints, anomalies and missing values of a chunk."""
    return (chunk.values.size, *(chunk.labels[n][0].size for n in LABELS))


def chunk_ranges(start: int, stop: int, size: int) -> Iterator[tuple[int, int]]:
    for a in range(start, stop, size):
        yield a, min(stop, a + size)


def regenerate_series(source, i: int) -> dict[str, Any]:
    """Series i generated afresh from a description, metadata dict or Plan.

    Gives the same bits as the series stored in the dataset."""
    plan = source if isinstance(source, Plan) else plan_from_config(
        source.get("config", source))
    if not 0 <= i < plan.total:
        raise IndexError(f"series {i} out of range (the dataset has {plan.total})")
    chunk = generate_chunk(plan, i, i + 1, n_workers=1)
    return _series_of_chunk(plan, chunk, 0)


def _series_of_chunk(plan: Plan, chunk: Chunk, j: int) -> dict[str, Any]:
    a, b = chunk.offsets[j], chunk.offsets[j + 1]
    out = {"item_id": chunk.start + j, "generator": _code_names(plan)[int(chunk.generator[j])],
           "values": chunk.values[a:b].copy()}
    for name in LABELS:
        flat, counts = chunk.labels[name]
        first = int(counts[:j].sum())
        out[f"{name}_indices"] = flat[first:first + counts[j]].copy()
    out["gen_seed"] = int(chunk.words[j, 1])
    out["pi_seeds"] = chunk.words[j, 2:5].copy()
    return out


def _code_names(plan: Plan) -> dict[int, str]:
    return {g.spec.gen_type: g.spec.name for g in plan.groups}


def metadata(plan: Plan, fmt: str) -> dict[str, Any]:
    """What a dataset file says about itself; identical for every shard."""
    meta = {
        "tidemark_version": _version(),
        "format_version": FORMAT_VERSION,
        "format": fmt,
        "seed": plan.seed,
        "n_series": plan.total,
        "generators": {str(k): v for k, v in sorted(_code_names(plan).items())},
                "seed_derivation": SEED_DERIVATION,
        "config": plan.describe(),
    }
    if fmt == "parquet":
        meta["n_shards"] = plan.n_shards
        meta["shards"] = [shard_name(k) for k in range(plan.n_shards)]
    return meta


def _json(meta) -> str:
    return json.dumps(meta, indent=1) + "\n"


# --- atomic files ------------------------------------------------------------------

def _umask() -> int:
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


@contextmanager
def atomic_path(target: Path):
    """A temporary path beside target, renamed onto it only on success."""
    target = Path(target)
    fd, tmp = tempfile.mkstemp(prefix=f".{target.name}.", suffix=".tmp", dir=target.parent)
    os.fchmod(fd, 0o666 & ~_umask())  # mkstemp's 0600 is for the temporary name only
    os.close(fd)
    try:
        yield Path(tmp)
        with open(tmp, "rb+") as f:
            os.fsync(f.fileno())
        os.replace(tmp, target)
    except BaseException:
        try:
            os.unlink(tmp)
        except FileNotFoundError:
            pass
        raise


def write_text_atomic(target: Path, text: str) -> None:
    with atomic_path(target) as tmp:
        tmp.write_text(text, encoding="utf-8")


# --- npz ---------------------------------------------------------------------------

def _npy_header(f, dtype, n: int) -> None:
    np.lib.format.write_array_header_1_0(
        f, {"descr": np.lib.format.dtype_to_descr(np.dtype(dtype)), "fortran_order": False,
            "shape": (n,)})


def write_npz(plan: Plan, target: Path,
              progress: Callable[[int, int, tuple], None] | None = None) -> Path:
    """The whole dataset as one .npz, written chunk by chunk."""
    target = Path(target)
    label_masks = plan.label_masks
    n_values = total_values(plan, 0, plan.total)
    keys = {"lengths": np.int64, "generator": np.int32, "gen_seeds": np.uint64,
            "pi_seeds": np.uint64}
    for name in LABELS:
        keys[f"{name}_indices"] = np.int64
        keys[f"{name}_counts"] = np.int64
    if label_masks:
        keys.update({f"{name}_mask": np.bool_ for name in LABELS})
    meta = metadata(plan, "npz")
    with tempfile.TemporaryDirectory(prefix=f".{target.name}.", dir=target.parent) as spool, \
            atomic_path(target) as tmp:
        files = {k: open(os.path.join(spool, k), "wb") for k in keys}
        try:
            with zipfile.ZipFile(tmp, "w", zipfile.ZIP_STORED, allowZip64=True) as zf:
                # values go straight into the archive; the rest is spooled
                with zf.open("values.npy", "w", force_zip64=True) as out:
                    _npy_header(out, np.float64, n_values)
                    done = 0
                    for chunk in iter_chunks(plan, chunk_ranges(0, plan.total,
                                                                plan.chunk_size)):
                        out.write(chunk.values)
                        files["lengths"].write(chunk.lengths)
                        files["generator"].write(chunk.generator)
                        files["gen_seeds"].write(np.ascontiguousarray(chunk.words[:, 1]))
                        files["pi_seeds"].write(np.ascontiguousarray(chunk.words[:, 2:5]))
                        for name in LABELS:
                            flat, counts = chunk.labels[name]
                            files[f"{name}_indices"].write(flat)
                            files[f"{name}_counts"].write(counts)
                            if label_masks:
                                files[f"{name}_mask"].write(chunk.mask(name))
                        done += chunk.stop - chunk.start
                        stats = chunk_stats(chunk)
                        del chunk
                        if progress:
                            progress(done, plan.total, stats)
                for key, dtype in keys.items():
                    files[key].close()
                    path = os.path.join(spool, key)
                    n = os.path.getsize(path) // np.dtype(dtype).itemsize
                    with zf.open(f"{key}.npy", "w", force_zip64=True) as out, \
                            open(path, "rb") as src:
                        _npy_header(out, dtype, n)
                        shutil.copyfileobj(src, out, 16 * 2**20)
                    os.unlink(path)
                with zf.open("metadata.npy", "w") as out:
                    np.lib.format.write_array(out, np.array(_json(meta)))
        finally:
            for f in files.values():
                f.close()
    return target


# --- parquet ---------------------------------------------------------------------------

def shard_name(k: int) -> str:
    return f"part-{k:05d}.parquet"


def _schema(pa, meta, label_masks: bool):
    fields = [
        pa.field("item_id", pa.int64(), nullable=False),
        pa.field("generator", pa.string(), nullable=False),
        pa.field("target", pa.list_(pa.float64()), nullable=False),
        pa.field("cp_indices", pa.list_(pa.int64()), nullable=False),
        pa.field("anom_indices", pa.list_(pa.int64()), nullable=False),
        pa.field("miss_indices", pa.list_(pa.int64()), nullable=False),
        pa.field("gen_seed", pa.uint64(), nullable=False),
        pa.field("cp_seed", pa.uint64(), nullable=False),
        pa.field("anom_seed", pa.uint64(), nullable=False),
        pa.field("miss_seed", pa.uint64(), nullable=False),
    ]
    if label_masks:
        fields += [pa.field(f"{n}_mask", pa.list_(pa.bool_()), nullable=False) for n in LABELS]
    return pa.schema(fields, metadata={"tidemark": _json(meta)})


def _table(pa, schema, plan: Plan, chunk: Chunk):
    names = _code_names(plan)
    codes = np.unique(chunk.generator)
    generator = pa.DictionaryArray.from_arrays(
        pa.array(np.searchsorted(codes, chunk.generator).astype(np.int32)),
        pa.array([names[int(c)] for c in codes], pa.string())).cast(pa.string())
    offsets = pa.array(chunk.offsets.astype(np.int32))  # a chunk holds < 2**31 values

    def lists(flat, counts, typ):
        off = np.zeros(counts.size + 1, dtype=np.int32)
        np.cumsum(counts, out=off[1:])
        return pa.ListArray.from_arrays(pa.array(off), pa.array(flat, typ))

    columns = [pa.array(np.arange(chunk.start, chunk.stop, dtype=np.int64)), generator,
               pa.ListArray.from_arrays(offsets, pa.array(chunk.values, pa.float64()))]
    for name in LABELS:
        columns.append(lists(*chunk.labels[name], pa.int64()))
    for w in range(1, 5):
        columns.append(pa.array(np.ascontiguousarray(chunk.words[:, w]), pa.uint64()))
    if plan.label_masks:
        for name in LABELS:
            columns.append(pa.ListArray.from_arrays(offsets, pa.array(chunk.mask(name))))
    return pa.Table.from_arrays(columns, schema=schema)


def write_shard(plan: Plan, directory: Path, k: int,
                progress: Callable[[int, int, tuple], None] | None = None,
                done_before: int = 0, total: int | None = None) -> Path:
    """Shard k of the dataset into directory (which must exist)."""
    pa = require("pyarrow", "parquet", "Parquet output")
    pq = require("pyarrow.parquet", "parquet", "Parquet output")
    meta = metadata(plan, "parquet")
    schema = _schema(pa, meta, plan.label_masks)
    target = Path(directory) / shard_name(k)
    start, stop = plan.shard_range(k)
    done = done_before
    with atomic_path(target) as tmp:
        # dictionary pages only where they pay: a float column would buffer
        # its whole row group before falling back to plain pages
        with pq.ParquetWriter(tmp, schema, compression="snappy",
                              use_dictionary=["generator"]) as writer:
            for chunk in iter_chunks(plan, chunk_ranges(start, stop, plan.chunk_size)):
                table = _table(pa, schema, plan, chunk)
                stats = chunk_stats(chunk)
                n = chunk.stop - chunk.start
                del chunk
                writer.write_table(table, row_group_size=n)
                del table
                done += n
                if progress:
                    progress(done, total if total is not None else stop - start, stats)
    return target


def prepare_directory(plan: Plan, directory: Path, force: bool = False) -> None:
    """Create the dataset directory and its metadata file.

    A directory holding another dataset is refused unless force is set; an
    identical description (another shard of the same dataset) is welcome."""
    directory = Path(directory)
    text = _json(metadata(plan, "parquet"))
    meta_path = directory / METADATA_FILE
    if directory.exists() and not directory.is_dir():
        raise ConfigError(f"output: {directory} exists and is not a directory")
    if meta_path.exists() and not force:
        try:
            same = meta_path.read_text(encoding="utf-8") == text
        except OSError:
            same = False
        if not same:
            raise ConfigError(f"output: {directory} holds another dataset "
                              "(use --force to replace it)")
    directory.mkdir(exist_ok=True)
    if force and meta_path.exists() and meta_path.read_text(encoding="utf-8") != text:
        # the old dataset goes first, so that no old shard is ever taken for a new one
        meta_path.unlink()
        for old in directory.glob("part-*.parquet"):
            old.unlink()
    write_text_atomic(meta_path, text)


def write_parquet(plan: Plan, directory: Path,
                  shards: list[int] | None = None, force: bool = False,
                  progress: Callable[[int, int, tuple], None] | None = None) -> list[Path]:
    """All shards (or the listed ones) of the dataset into directory."""
    require("pyarrow", "parquet", "Parquet output")
    prepare_directory(plan, directory, force)
    shards = list(range(plan.n_shards)) if shards is None else shards
    total = sum(b - a for a, b in map(plan.shard_range, shards))
    written, done = [], 0
    for k in shards:
        written.append(write_shard(plan, directory, k, progress, done, total))
        a, b = plan.shard_range(k)
        done += b - a
    return written


# --- reading ------------------------------------------------------------------------------

class Dataset:
    """A dataset written by tidemark: its metadata and its series."""

    def __init__(self, path):
        self.path = Path(path)
        if self.path.is_dir():
            meta_path = self.path / METADATA_FILE
            if not meta_path.exists():
                raise ValueError(f"{self.path}: no {METADATA_FILE}; not a tidemark dataset")
            self.metadata = json.loads(meta_path.read_text(encoding="utf-8"))
            missing = [s for s in self.metadata["shards"] if not (self.path / s).exists()]
            if missing:
                raise ValueError(f"{self.path}: missing shards: {', '.join(missing[:5])}"
                                 + (" ..." if len(missing) > 5 else ""))
            self._npz = None
        else:
            self._npz = np.load(self.path, allow_pickle=False)
            if "metadata" not in self._npz.files:
                raise ValueError(f"{self.path}: no metadata; not a tidemark dataset")
            self.metadata = json.loads(str(self._npz["metadata"]))
            self._arrays: dict[str, np.ndarray] = {}
        self.plan = plan_from_config(self.metadata["config"])
        self.n_series = int(self.metadata["n_series"])
        self._shard_cache: tuple[int, Any] | None = None

    def __len__(self) -> int:
        return self.n_series

    def _array(self, key):
        if key not in self._arrays:
            self._arrays[key] = self._npz[key]
        return self._arrays[key]

    def series(self, i: int) -> dict[str, Any]:
        """Series i as stored: values, label indices, generator name, seeds."""
        if not 0 <= i < self.n_series:
            raise IndexError(f"series {i} out of range (the dataset has {self.n_series})")
        if self._npz is not None:
            return self._npz_series(i)
        return self._parquet_series(i)

    def _npz_series(self, i):
        lengths = self._array("lengths")
        a = int(lengths[:i].sum())
        out = {"item_id": i,
               "generator": self.metadata["generators"][str(int(self._array("generator")[i]))],
               "values": self._array("values")[a:a + lengths[i]].copy()}
        for name in LABELS:
            counts = self._array(f"{name}_counts")
            f = int(counts[:i].sum())
            out[f"{name}_indices"] = self._array(f"{name}_indices")[f:f + counts[i]].copy()
        out["gen_seed"] = int(self._array("gen_seeds")[i])
        out["pi_seeds"] = self._array("pi_seeds")[3 * i:3 * i + 3].copy()
        return out

    def _parquet_series(self, i):
        pq = require("pyarrow.parquet", "parquet", "Reading Parquet datasets")
        k, row = divmod(i, self.plan.shard_size)
        if self._shard_cache is None or self._shard_cache[0] != k:
            name = self.metadata["shards"][k]
            pf = pq.ParquetFile(self.path / name)
            stored = (pf.schema_arrow.metadata or {}).get(b"tidemark")
            if stored is None or json.loads(stored) != self.metadata:
                raise ValueError(f"{self.path / name}: belongs to another dataset")
            self._shard_cache = (k, pf)
        pf = self._shard_cache[1]
        group, r = divmod(row, self.plan.chunk_size)
        rec = pf.read_row_group(group).slice(r, 1).to_pylist()[0]
        out = {"item_id": rec["item_id"], "generator": rec["generator"],
               "values": np.array(rec["target"], dtype=np.float64)}
        for name in LABELS:
            out[f"{name}_indices"] = np.array(rec[f"{name}_indices"], dtype=np.int64)
        out["gen_seed"] = rec["gen_seed"]
        out["pi_seeds"] = np.array([rec["cp_seed"], rec["anom_seed"], rec["miss_seed"]],
                                   dtype=np.uint64)
        return out

    def regenerate(self, i: int) -> dict[str, Any]:
        """Series i generated afresh from the metadata alone."""
        return regenerate_series(self.plan, i)


def load_dataset(path) -> Dataset:
    """Open a dataset written by ``tidemark generate`` (.npz file or Parquet directory)."""
    return Dataset(path)
