"""Command-line tool: ``tidemark generate`` builds a labelled dataset.

A dataset is described by a TOML file (see examples/dataset.toml) or by
flags.  Per-series seeds are derived from one master seed with
numpy.random.SeedSequence, so the same description always gives the same
file, whatever the number of workers.
"""

from __future__ import annotations

import argparse
import math
import sys
import time
import tomllib
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import numpy as np

from tidemark.catalog import CATALOG, GeneratorSpec

PATTERN_KEYS = {
    "changepoints": bool, "num_changepoints": int, "changepoint_type": str,
    "changepoint_locations": list, "changepoint_level_changes": list,
    "changepoint_trend_changes": list, "changepoint_variance_changes": list,
    "anomalies": bool, "anomaly_types": list, "anomaly_fraction": float,
    "spike_magnitude": float, "dip_magnitude": float, "level_shift_magnitude": float,
    "level_shift_duration": int, "missing_data": bool, "missing_pattern": str,
    "missing_rate": float, "missing_block_size": int, "missing_seasonal_period": int,
}
TOP_KEYS = {"seed", "n_workers", "output", "patterns", "generators"}
GROUP_KEYS = {"type", "n_series", "length", "params"}


class ConfigError(Exception):
    """A problem with the dataset description, named by its key."""


@dataclass
class Group:
    spec: GeneratorSpec
    n_series: int
    length: tuple[int, int]
    params: dict[str, Any]


@dataclass
class Plan:
    seed: int
    n_workers: int
    patterns: dict[str, Any]
    groups: list[Group]


# --- reading the description ------------------------------------------------

def _expect(value, types, key):
    if isinstance(value, bool) and bool not in types:
        raise ConfigError(f"{key}: expected {types[0].__name__}, got bool")
    if not isinstance(value, types):
        raise ConfigError(f"{key}: expected {types[0].__name__}, got {type(value).__name__}")
    return value


def _length(value, key) -> tuple[int, int]:
    if isinstance(value, list) and len(value) == 2:
        lo, hi = (_expect(v, (int,), key) for v in value)
    else:
        lo = hi = _expect(value, (int,), key)
    if not 0 <= lo <= hi <= 2**31 - 1:
        raise ConfigError(f"{key}: lengths must satisfy 0 <= min <= max < 2**31")
    return lo, hi


def _patterns(table, key="patterns") -> dict[str, Any]:
    _expect(table, (dict,), key)
    out = {}
    for name, value in table.items():
        kind = PATTERN_KEYS.get(name)
        if kind is None:
            raise ConfigError(f"{key}.{name}: unknown pattern key")
        if kind is float:
            value = float(_expect(value, (float, int), f"{key}.{name}"))
        elif kind is list:
            _expect(value, (list,), f"{key}.{name}")
        else:
            _expect(value, (kind,), f"{key}.{name}")
        out[name] = value
    return out


def _params(spec: GeneratorSpec, table, key) -> dict[str, Any]:
    _expect(table, (dict,), key)
    known = set(spec.keys())
    for name, value in table.items():
        if name not in known:
            raise ConfigError(f"{key}.{name}: unknown parameter of {spec.name} "
                              f"(known: {', '.join(spec.keys())})")
        if dict(spec.arrays).get(name) is not None or name in dict(spec.arrays):
            items = _expect(value, (list,), f"{key}.{name}")
            for item in items:
                _expect(item, (float, int), f"{key}.{name}")
        else:
            _expect(value, (float, int, bool), f"{key}.{name}")
    return dict(table)


def _group(table, index) -> Group:
    key = f"generators[{index}]"
    _expect(table, (dict,), key)
    for name in table:
        if name not in GROUP_KEYS:
            raise ConfigError(f"{key}.{name}: unknown key")
    for required in ("type", "n_series", "length"):
        if required not in table:
            raise ConfigError(f"{key}.{required}: missing")
    name = _expect(table["type"], (str,), f"{key}.type")
    if name not in CATALOG:
        raise ConfigError(f"{key}.type: unknown generator {name!r} "
                          f"(known: {', '.join(CATALOG)})")
    n_series = _expect(table["n_series"], (int,), f"{key}.n_series")
    if n_series < 0:
        raise ConfigError(f"{key}.n_series: must be >= 0")
    spec = CATALOG[name]
    return Group(spec, n_series, _length(table["length"], f"{key}.length"),
                 _params(spec, table.get("params", {}), f"{key}.params"))


def plan_from_config(config: dict) -> Plan:
    for name in config:
        if name not in TOP_KEYS:
            raise ConfigError(f"{name}: unknown key")
    if "generators" not in config:
        raise ConfigError("generators: missing (at least one [[generators]] table)")
    groups = [_group(t, i) for i, t in enumerate(_expect(config["generators"], (list,),
                                                          "generators"))]
    seed = _expect(config.get("seed", 0), (int,), "seed")
    if seed < 0:
        raise ConfigError("seed: must be >= 0")
    n_workers = _expect(config.get("n_workers", 0), (int,), "n_workers")
    if n_workers < 0:
        raise ConfigError("n_workers: must be >= 0")
    return Plan(seed, n_workers, _patterns(config.get("patterns", {})), groups)


def _parse_generator_flag(text: str) -> dict:
    name, _, rest = text.partition(":")
    params = {}
    for item in filter(None, rest.split(",")):
        key, sep, value = item.partition("=")
        if not sep:
            raise ConfigError(f"--generator {text}: expected key=value, got {item!r}")
        try:
            params[key] = [float(v) for v in value.split(";") if v] if ";" in value or (
                key in dict(CATALOG.get(name, CATALOG["random_walk"]).arrays)) else float(value)
        except ValueError as exc:
            raise ConfigError(f"--generator {text}: {key}: not a number: {value!r}") from exc
    return {"type": name, "params": params}


def config_from_flags(args) -> dict:
    length: Any = args.length
    if ":" in str(length):
        lo, hi = str(length).split(":", 1)
        length = [int(lo), int(hi)]
    else:
        length = int(length)
    generators = []
    for text in args.generator:
        group = _parse_generator_flag(text)
        group.update(n_series=args.n_series, length=length)
        generators.append(group)
    patterns: dict[str, Any] = {}
    if args.changepoints:
        patterns.update(changepoints=True, num_changepoints=args.changepoints,
                        changepoint_type=args.changepoint_type)
    if args.anomaly_fraction:
        patterns.update(anomalies=True, anomaly_fraction=args.anomaly_fraction,
                        anomaly_types=["spike", "dip"], spike_magnitude=args.anomaly_magnitude,
                        dip_magnitude=-args.anomaly_magnitude)
    if args.missing_rate:
        patterns.update(missing_data=True, missing_rate=args.missing_rate,
                        missing_pattern=args.missing_pattern)
    return {"seed": args.seed or 0, "generators": generators, "patterns": patterns}


# --- running ------------------------------------------------------------------

def _slots(group: Group) -> tuple[np.ndarray, list[np.ndarray]]:
    values = {**dict(group.spec.scalars), **dict(group.spec.arrays), **group.params}
    scalars = np.array([float(values[k]) for k, _ in group.spec.scalars], dtype=np.float64)
    arrays = [np.asarray(values[k], dtype=np.float64) for k, _ in group.spec.arrays]
    return scalars, arrays


def _seeds(plan: Plan):
    """Per group: lengths, generator seeds and pattern seeds."""
    children = np.random.SeedSequence(plan.seed).spawn(len(plan.groups))
    for group, child in zip(plan.groups, children):
        length_seq, gen_seq, pi_seq = child.spawn(3)
        lo, hi = group.length
        lengths = np.random.default_rng(length_seq).integers(lo, hi + 1, size=group.n_series)
        yield (lengths.astype(np.int32),
               gen_seq.generate_state(group.n_series, np.uint64),
               pi_seq.generate_state(3 * group.n_series, np.uint64))


def _chunks(n: int, size: int):
    for start in range(0, n, size):
        yield start, min(n, start + size)


def run_plan(plan: Plan, progress=None) -> dict[str, np.ndarray]:
    from tidemark._lib.batch import generate_multi_batch

    pattern_dict = {k: v for k, v in plan.patterns.items()}
    pieces: list[dict] = []
    total = sum(g.n_series for g in plan.groups)
    done = 0
    chunk = max(256, math.ceil(total / 50)) if total else 1
    for group, (lengths, gen_seeds, pi_seeds) in zip(plan.groups, _seeds(plan)):
        scalars, arrays = _slots(group)
        for start, stop in _chunks(group.n_series, chunk):
            spec = {"gen_type": group.spec.gen_type, "scalar_params": scalars,
                    "array_params": arrays, "lengths": lengths[start:stop],
                    "gen_seeds": gen_seeds[start:stop],
                    "pi_seeds": pi_seeds[3 * start:3 * stop], "pi_config": pattern_dict}
            [series] = generate_multi_batch([spec], plan.n_workers)
            for s in series:
                s["generator"] = group.spec.gen_type
            pieces.extend(series)
            done += stop - start
            if progress:
                progress(done, total)
    return _assemble(pieces)


def _flat(pieces, key, dtype):
    parts = [p[key] for p in pieces]
    counts = np.array([len(p) for p in parts], dtype=np.int64)
    flat = np.concatenate(parts) if parts else np.empty(0, dtype)
    return flat.astype(dtype, copy=False), counts


def _assemble(pieces) -> dict[str, np.ndarray]:
    values, lengths = _flat(pieces, "values", np.float64)
    out = {"values": values, "lengths": lengths,
           "generator": np.array([p["generator"] for p in pieces], dtype=np.int32)}
    for key in ("cp_indices", "anom_indices", "miss_indices"):
        out[key], out[key.replace("indices", "counts")] = _flat(pieces, key, np.int64)
    return out


def _progress_printer(stream):
    last = [0.0]

    def show(done, total):
        now = time.perf_counter()
        if now - last[0] > 0.5 or done == total:
            last[0] = now
            stream.write(f"\r  {done}/{total} series ({100 * done / max(total, 1):.0f}%)")
            if done == total:
                stream.write("\n")
            stream.flush()

    return show


def generate(args) -> int:
    try:
        if args.config:
            try:
                config = tomllib.loads(Path(args.config).read_text(encoding="utf-8"))
            except OSError as exc:
                raise ConfigError(f"{args.config}: {exc.strerror}") from exc
            except tomllib.TOMLDecodeError as exc:
                raise ConfigError(f"{args.config}: not valid TOML: {exc}") from exc
        elif args.generator:
            config = config_from_flags(args)
        else:
            raise ConfigError("give --config FILE or at least one --generator")
        if args.seed is not None:
            config["seed"] = args.seed
        if args.n_workers is not None:
            config["n_workers"] = args.n_workers
        plan = plan_from_config(config)
        output = Path(args.output or config.get("output", "dataset.npz"))
    except ConfigError as exc:
        print(f"tidemark: error: {exc}", file=sys.stderr)
        return 2

    show = None if args.quiet else _progress_printer(sys.stderr)
    start = time.perf_counter()
    try:
        data = run_plan(plan, show)
    except ValueError as exc:
        print(f"tidemark: error: {exc}", file=sys.stderr)
        return 2
    seconds = time.perf_counter() - start
    np.savez(output, **data)
    n = len(data["lengths"])
    print(f"wrote {output}: {n} series, {data['values'].size} values, "
          f"{data['cp_indices'].size} changepoints, {data['anom_indices'].size} anomalies, "
          f"{data['miss_indices'].size} missing values in {seconds:.3f} s "
          f"({n / seconds if seconds > 0 else float('inf'):.0f} series/s)")
    return 0


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="tidemark", description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    gen = commands.add_parser("generate", help="generate a labelled dataset (.npz)")
    gen.add_argument("--config", help="TOML file describing the dataset")
    gen.add_argument("--output", "-o", help="output .npz (default: the config's or dataset.npz)")
    gen.add_argument("--seed", type=int, help="master seed (overrides the config)")
    gen.add_argument("--n-workers", type=int, help="worker threads, 0 = all processors")
    gen.add_argument("--quiet", "-q", action="store_true", help="no progress output")
    flags = gen.add_argument_group("describing the dataset with flags instead of a config")
    flags.add_argument("--generator", action="append", default=[],
                       help="NAME[:key=value,...], repeatable; array values as a;b;c "
                            f"(generators: {', '.join(CATALOG)})")
    flags.add_argument("--n-series", type=int, default=100, help="series per generator")
    flags.add_argument("--length", default="500", help="series length N or range MIN:MAX")
    flags.add_argument("--changepoints", type=int, default=0, help="changepoints per series")
    flags.add_argument("--changepoint-type", default="level",
                       choices=["level", "trend", "mixed", "variance"])
    flags.add_argument("--anomaly-fraction", type=float, default=0.0)
    flags.add_argument("--anomaly-magnitude", type=float, default=5.0)
    flags.add_argument("--missing-rate", type=float, default=0.0)
    flags.add_argument("--missing-pattern", default="random",
                       choices=["random", "block", "seasonal"])
    return parser


def main(argv: list[str] | None = None) -> int:
    args = build_parser().parse_args(argv)
    if args.command == "generate":
        return generate(args)
    return 2
