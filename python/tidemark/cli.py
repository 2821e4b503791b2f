"""Command-line tool: labelled synthetic time series datasets.

    tidemark generate    build a dataset (.npz file or Parquet shards)
    tidemark generators  list the generators, their parameters and defaults
    tidemark preview     draw a few series of a dataset with their labels

Every problem is reported on one line naming the key or flag: exit code 2
for bad input (found before any work starts), 1 for a failure while
running, 130 when interrupted.
"""

from __future__ import annotations

import argparse
import math
import os
import re
import shutil
import sys
import time
import tomllib
from pathlib import Path
from typing import Any

from tidemark.catalog import CATALOG
from tidemark.config import (
    ANOMALY_TYPES, CHANGEPOINT_TYPES, FORMATS, MISSING_PATTERNS, PATTERN_KEYS, ConfigError, Plan,
    plan_from_config, suggest,
)

EXIT_BAD_INPUT = 2
EXIT_FAILED = 1
EXIT_INTERRUPTED = 130


class Failure(Exception):
    """A failure while running (exit code 1)."""


class Parser(argparse.ArgumentParser):
    """argparse with one-line errors (no usage dump) and exit code 2."""

    def error(self, message):
        raise ConfigError(message)


# --- describing the dataset with flags -------------------------------------------

# pattern key -> flag; the switches are set by the flag that gives their amount
FLAG_OF = {key: "--" + key.replace("_", "-") for key in PATTERN_KEYS}
FLAG_OF.update(changepoints="--changepoints", num_changepoints="--changepoints",
               anomalies="--anomaly-fraction", missing_data="--missing-rate")
ENABLED_BY = {"changepoints": "--changepoints N is given",
              "anomalies": "--anomaly-fraction is given",
              "missing_data": "--missing-rate is given"}
LIST_FLAGS = ("changepoint_locations", "changepoint_level_changes",
              "changepoint_trend_changes", "changepoint_variance_changes")
# flags that describe the data and so cannot be mixed with --config
DESCRIPTION_FLAGS = ("generator", "n_series", "length", "changepoints") + tuple(
    k for k in PATTERN_KEYS if k not in ("changepoints", "anomalies", "missing_data"))


def _number(text: str, flag: str) -> int | float:
    try:
        return int(text)
    except ValueError:
        pass
    try:
        value = float(text)
    except ValueError:
        raise ConfigError(f"{flag}: not a number: {text!r}") from None
    if not math.isfinite(value):
        raise ConfigError(f"{flag}: must be finite, got {text!r}")
    return value


def parse_length(text: str) -> int | list[int]:
    m = re.fullmatch(r"\s*(\d+)\s*(?::\s*(\d+)\s*)?", text)
    if not m:
        raise ConfigError(f"--length: expected a whole number N or a range MIN:MAX, got {text!r}")
    return int(m[1]) if m[2] is None else [int(m[1]), int(m[2])]


def parse_generator(text: str) -> dict[str, Any]:
    name, _, rest = text.partition(":")
    name = name.strip()
    if name not in CATALOG:
        raise ConfigError(f"--generator: unknown generator {name!r}{suggest(name, CATALOG)}")
    spec = CATALOG[name]
    arrays = dict(spec.arrays)
    params: dict[str, Any] = {}
    for item in filter(None, (i.strip() for i in rest.split(","))):
        key, sep, value = item.partition("=")
        key = key.strip()
        flag = f"--generator {name}:{key}"
        if not sep:
            raise ConfigError(f"--generator {text}: expected key=value, got {item!r}")
        if key not in spec.keys():
            raise ConfigError(f"{flag}: unknown parameter of {name}{suggest(key, spec.keys())}")
        if key in arrays:
            params[key] = [_number(v, flag) for v in value.split(";") if v.strip()]
        else:
            params[key] = _number(value, flag)
    return {"type": name, "params": params}


def _floats(text: str, flag: str) -> list[float]:
    return [float(_number(v, flag)) for v in text.split(",") if v.strip()]


def config_from_flags(args) -> dict[str, Any]:
    if args.n_series is not None and args.n_series < 0:
        raise ConfigError(f"--n-series: must be >= 0, got {args.n_series}")
    length = parse_length(args.length if args.length is not None else "500")
    n_series = 100 if args.n_series is None else args.n_series
    generators = [dict(parse_generator(t), n_series=n_series, length=length)
                  for t in args.generator]
    p: dict[str, Any] = {}
    if args.changepoints is not None:
        p.update(changepoints=True, num_changepoints=args.changepoints)
    if args.anomaly_fraction is not None:
        p.update(anomalies=True, anomaly_fraction=args.anomaly_fraction)
    if args.missing_rate is not None:
        p.update(missing_data=True, missing_rate=args.missing_rate)
    for key in PATTERN_KEYS:
        value = getattr(args, key, None)
        if value is None or key in p or key in ("changepoints", "anomalies", "missing_data"):
            continue
        if key in LIST_FLAGS:
            value = _floats(value, FLAG_OF[key])
        elif key == "anomaly_types":
            value = [v.strip() for v in value.split(",") if v.strip()]
        p[key] = value
    return {"generators": generators, "patterns": p}


def _flags_plan(config: dict) -> Plan:
    return plan_from_config(config, pattern_name=FLAG_OF.__getitem__,
                            pattern_needs=ENABLED_BY.__getitem__)


def read_config(path: str) -> dict[str, Any]:
    try:
        text = Path(path).read_text(encoding="utf-8")
    except OSError as exc:
        raise ConfigError(f"--config {path}: {exc.strerror}") from None
    except UnicodeDecodeError:
        raise ConfigError(f"--config {path}: not UTF-8 text") from None
    try:
        return tomllib.loads(text)
    except tomllib.TOMLDecodeError as exc:
        raise ConfigError(f"--config {path}: not valid TOML: {exc}") from None


def build_plan(args) -> Plan:
    if args.config:
        given = [k for k in DESCRIPTION_FLAGS if getattr(args, k, None) not in (None, [])]
        if given:
            flag = "--" + given[0].replace("_", "-")
            raise ConfigError(f"{flag}: cannot be combined with --config "
                              "(describe the whole dataset in the file)")
        config = read_config(args.config)
        if not isinstance(config.get("patterns", {}), dict):
            raise ConfigError("patterns: expected a table")
        build = plan_from_config
    elif args.generator:
        config = config_from_flags(args)
        build = _flags_plan
        args.from_flags = True
    else:
        raise ConfigError("give --config FILE or at least one --generator NAME")
    # flags that override the file (documented in the help)
    for key in ("seed", "n_workers", "chunk_size", "shard_size", "format"):
        value = getattr(args, key)
        if value is not None:
            config[key] = value
    if args.label_masks:
        config["label_masks"] = True
    return build(config)


# --- checks before the run ------------------------------------------------------------

def _gib(n: float) -> str:
    return f"{n / 2**30:.1f} GiB"


def _physical_memory() -> int | None:
    try:
        return os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")
    except (ValueError, OSError, AttributeError):
        return None


def resolve_output(args, plan: Plan) -> tuple[str, Path]:
    text = args.output or plan.output
    fmt = plan.format
    if fmt is None:
        fmt = "npz" if text is None or text.endswith(".npz") else "parquet"
    path = Path(text or ("dataset.npz" if fmt == "npz" else "dataset"))
    flag = "--output" if args.output else "output"
    parent = path.absolute().parent
    if not parent.is_dir():
        raise ConfigError(f"{flag}: directory {parent} does not exist")
    if not os.access(parent, os.W_OK):
        raise ConfigError(f"{flag}: directory {parent} is not writable")
    if fmt == "npz" and path.is_dir():
        raise ConfigError(f"{flag}: {path} is a directory (npz output is one file)")
    if fmt == "parquet" and path.exists() and not path.is_dir():
        raise ConfigError(f"{flag}: {path} is a file (Parquet output is a directory of shards)")
    return fmt, path


def parse_shard(text: str | None, plan: Plan) -> list[int] | None:
    if text is None:
        return None
    m = re.fullmatch(r"(\d+)/(\d+)", text.strip())
    if not m:
        raise ConfigError(f"--shard: expected K/N (0 <= K < N), got {text!r}")
    k, n = int(m[1]), int(m[2])
    if n != plan.n_shards:
        raise ConfigError(f"--shard: this dataset has {plan.n_shards} shards of "
                          f"{plan.shard_size} series, not {n}")
    if not 0 <= k < n:
        raise ConfigError(f"--shard: K must be in [0, {n - 1}], got {k}")
    return [k]


def check_resources(plan: Plan, fmt: str, path: Path, shards: list[int] | None,
                    from_flags: bool = False) -> None:
    longest = max(g.length[1] for g in plan.groups)
    memory = _physical_memory()
    chunk_bytes = 8 * longest * min(plan.chunk_size, max(plan.total, 1))
    if memory and 3 * chunk_bytes > memory:
        raise ConfigError(f"--chunk-size / chunk_size: a chunk of {plan.chunk_size} series of up to {longest} "
                          f"values needs about {_gib(3 * chunk_bytes)}, more than this "
                          f"machine's {_gib(memory)}")
    if shards is None:
        series = plan.total
        mean = sum(g.n_series * (g.length[0] + g.length[1]) / 2 for g in plan.groups)
        values = mean
    else:
        a, b = plan.shard_range(shards[0])
        series = b - a
        values = series * (longest if plan.total else 0)
    per_value = 8 + (3 if plan.label_masks else 0)
    needed = values * per_value * (1.0 if fmt == "parquet" else 1.1) + 64 * series
    existing = path.parent if fmt == "npz" or not path.exists() else path
    free = shutil.disk_usage(existing.absolute() if existing.exists() else ".").free
    if needed > free:
        raise ConfigError(f"{'--n-series' if from_flags else 'n_series'}: the dataset needs about {_gib(needed)} on disk, only "
                          f"{_gib(free)} free in {existing.absolute()}")


def preflight(plan: Plan, from_flags: bool = False) -> None:
    """Generate the first series of each group, shortened, to report bad
    generator parameters as bad input before the run starts."""
    from dataclasses import replace

    from tidemark.dataset import generate_chunk, internal_failure

    for index, (group, first) in enumerate(zip(plan.groups, plan.starts)):
        if group.n_series == 0:
            continue
        short = min(group.length[0], 256)
        probe = replace(group, n_series=1, length=(short, short))
        probe_plan = replace(plan, groups=[probe])
        name = (f"--generator {group.spec.name}" if from_flags
                else f"generators[{index}] ({group.spec.name})")
        try:
            generate_chunk(probe_plan, 0, 1, n_workers=1)
        except ValueError as exc:
            raise ConfigError(f"{name}: {exc}") from None
        except BaseException as exc:
            if internal_failure(exc):
                raise ConfigError(f"{name}: {exc}") from None
            raise


# --- progress -----------------------------------------------------------------------------

def _duration(seconds: float) -> str:
    if not math.isfinite(seconds):
        return "?"
    seconds = int(seconds + 0.5)
    h, rest = divmod(seconds, 3600)
    m, s = divmod(rest, 60)
    return f"{h}:{m:02d}:{s:02d}" if h else f"{m}:{s:02d}"


class Progress:
    """Rate and ETA: redrawn in place on a terminal, plain periodic lines otherwise."""

    def __init__(self, stream, quiet: bool = False, interval: float | None = None):
        self.stream = stream
        self.quiet = quiet
        self.tty = bool(getattr(stream, "isatty", lambda: False)())
        self.interval = interval if interval is not None else (0.2 if self.tty else 10.0)
        self.start = time.perf_counter()
        self.last = self.start
        self.totals = [0, 0, 0, 0]
        self.done = 0

    def __call__(self, done: int, total: int, stats: tuple) -> None:
        self.done = done
        self.totals = [a + b for a, b in zip(self.totals, stats)]
        now = time.perf_counter()
        if self.quiet or (now - self.last < self.interval and done != total):
            return
        self.last = now
        elapsed = now - self.start
        rate = done / elapsed if elapsed > 0 else float("inf")
        eta = (total - done) / rate if rate > 0 else float("inf")
        text = (f"{done:,}/{total:,} series ({100 * done / max(total, 1):.0f}%), "
                f"{rate:,.0f} series/s, ETA {_duration(eta)}")
        if self.tty:
            self.stream.write(f"\r  {text}   " + ("\n" if done == total else ""))
        else:
            self.stream.write(f"tidemark: {text}\n")
        self.stream.flush()


# --- commands ---------------------------------------------------------------------------------

def cmd_generate(args) -> int:
    from tidemark.dataset import write_npz, write_parquet

    plan = build_plan(args)
    fmt, path = resolve_output(args, plan)
    if fmt == "parquet":
        from tidemark.dataset import require
        require("pyarrow.parquet", "parquet", "Parquet output")
        shards = parse_shard(args.shard, plan)
    else:
        if args.shard is not None:
            raise ConfigError("--shard: only for Parquet output (--format parquet)")
        shards = None
    from_flags = getattr(args, "from_flags", False)
    check_resources(plan, fmt, path, shards, from_flags)
    preflight(plan, from_flags)

    progress = Progress(sys.stderr, quiet=args.quiet)
    start = time.perf_counter()
    try:
        if fmt == "npz":
            write_npz(plan, path, progress=progress)
            written = str(path)
        else:
            files = write_parquet(plan, path, shards=shards, force=args.force,
                                  progress=progress)
            written = (f"{path}{os.sep}" if shards is None
                       else str(files[0]))
    except ConfigError:
        raise
    except MemoryError:
        raise Failure("out of memory while generating; lower chunk_size (--chunk-size)") from None
    except OSError as exc:
        raise Failure(f"writing {exc.filename or path}: {exc.strerror or exc}") from None
    except ValueError as exc:
        raise Failure(str(exc)) from None
    seconds = time.perf_counter() - start
    n = progress.done
    values, cps, anoms, miss = progress.totals
    print(f"wrote {written}: {n} series, {values} values, {cps} changepoints, {anoms} anomalies, "
          f"{miss} missing values in {seconds:.3f} s "
          f"({n / seconds if seconds > 0 else float('inf'):.0f} series/s)")
    return 0


def cmd_generators(args) -> int:
    names = args.names or list(CATALOG)
    for name in names:
        if name not in CATALOG:
            raise ConfigError(f"generators: unknown generator {name!r}{suggest(name, CATALOG)}")
    out = []
    for name in names:
        spec = CATALOG[name]
        out.append(f"{spec.name} (batch code {spec.gen_type})")
        for key, default in spec.scalars:
            out.append(f"    {key} = {default}")
        for key, default in spec.arrays:
            out.append(f"    {key} = [{', '.join(str(v) for v in default)}]")
    if not args.names:
        out.append("")
        out.append("patterns (the [patterns] table; defaults in parentheses)")
        for key, spec in PATTERN_KEYS.items():
            default = "" if spec.default is None else f" ({_toml(spec.default)})"
            choices = f"; one of {', '.join(spec.choices)}" if spec.choices else ""
            out.append(f"    {key}{default}: {spec.help}{choices}")
    print("\n".join(out))
    return 0


def _toml(value) -> str:
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, str):
        return f'"{value}"'
    if isinstance(value, list):
        return "[" + ", ".join(_toml(v) for v in value) + "]"
    return str(value)


def cmd_preview(args) -> int:
    from tidemark.dataset import load_dataset
    from tidemark.preview import draw

    try:
        dataset = load_dataset(args.dataset)
    except FileNotFoundError:
        raise ConfigError(f"DATASET: {args.dataset} does not exist") from None
    except (ValueError, KeyError, OSError) as exc:
        raise ConfigError(f"DATASET: {exc}") from None
    if args.series:
        try:
            indices = [int(v) for v in args.series.split(",") if v.strip()]
        except ValueError:
            raise ConfigError(f"--series: expected indices like 0,5,9, got {args.series!r}") from None
        for i in indices:
            if not 0 <= i < len(dataset):
                raise ConfigError(f"--series: {i} out of range (the dataset has {len(dataset)})")
    else:
        indices = list(range(min(args.n, len(dataset))))
    out = Path(args.output)
    if not out.absolute().parent.is_dir():
        raise ConfigError(f"--output: directory {out.absolute().parent} does not exist")
    draw(dataset, indices, out)
    print(f"wrote {out}: {len(indices)} series")
    return 0


def build_parser() -> argparse.ArgumentParser:
    from tidemark import __version__

    parser = Parser(prog="tidemark", description=__doc__.splitlines()[0],
                    formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", action="version", version=f"tidemark {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, parser_class=Parser)

    gen = commands.add_parser(
        "generate", help="generate a labelled dataset",
        description="Generate a labelled dataset from a TOML description (--config) or from "
                    "flags. Output: one .npz file, or a directory of Parquet shards.")
    gen.add_argument("--config", metavar="FILE", help="TOML file describing the dataset")
    gen.add_argument("--output", "-o", metavar="PATH",
                     help="output file (.npz) or directory (Parquet); overrides the config")
    gen.add_argument("--format", choices=FORMATS,
                     help="output format (default: npz for a .npz path, else parquet)")
    gen.add_argument("--seed", type=int, help="master seed; overrides the config")
    gen.add_argument("--n-workers", type=int, metavar="N",
                     help="worker threads, 0 = all processors (never changes the data)")
    gen.add_argument("--chunk-size", type=int, metavar="N",
                     help="series generated at once (and per Parquet row group); overrides "
                          "the config")
    gen.add_argument("--shard-size", type=int, metavar="N",
                     help="series per Parquet shard; overrides the config")
    gen.add_argument("--shard", metavar="K/N",
                     help="write only shard K (0-based) of the N shards of the dataset")
    gen.add_argument("--label-masks", action="store_true", default=None,
                     help="also store per-point label masks")
    gen.add_argument("--force", action="store_true",
                     help="replace a Parquet directory that holds another dataset")
    gen.add_argument("--quiet", "-q", action="store_true", help="no progress output")
    flags = gen.add_argument_group(
        "describing the dataset with flags (not combinable with --config)")
    flags.add_argument("--generator", action="append", default=[], metavar="NAME[:K=V,...]",
                       help="repeatable; array values as a;b;c; see 'tidemark generators'")
    flags.add_argument("--n-series", type=int, metavar="N", help="series per generator (100)")
    flags.add_argument("--length", metavar="N|MIN:MAX", help="series length or range (500)")
    flags.add_argument("--changepoints", type=int, metavar="N", help="changepoints per series")
    flags.add_argument("--changepoint-type", metavar="TYPE", help=f"one of {', '.join(CHANGEPOINT_TYPES)}")
    for key in LIST_FLAGS:
        flags.add_argument(FLAG_OF[key], metavar="X,Y,...", help=PATTERN_KEYS[key].help)
    flags.add_argument("--anomaly-fraction", type=float, metavar="F",
                       help="share of anomalous positions")
    flags.add_argument("--anomaly-types", metavar="A,B",
                       help=f"from {', '.join(ANOMALY_TYPES)} (spike,dip)")
    for key in ("spike_magnitude", "dip_magnitude", "level_shift_magnitude"):
        flags.add_argument(FLAG_OF[key], type=float, metavar="X",
                           help=f"{PATTERN_KEYS[key].help} ({PATTERN_KEYS[key].default})")
    flags.add_argument("--level-shift-duration", type=int, metavar="N",
                       help=f"{PATTERN_KEYS['level_shift_duration'].help} (10)")
    flags.add_argument("--missing-rate", type=float, metavar="F", help="share of missing values")
    flags.add_argument("--missing-pattern", metavar="PATTERN", help=f"one of {', '.join(MISSING_PATTERNS)} (random)")
    flags.add_argument("--missing-block-size", type=int, metavar="N",
                       help="points per block (block pattern)")
    flags.add_argument("--missing-seasonal-period", type=int, metavar="P",
                       help="period (seasonal pattern, >= 2)")

    lst = commands.add_parser("generators", help="list generators, parameters and defaults",
                              description="List the generators with their parameters and "
                                          "defaults, and the pattern settings.")
    lst.add_argument("names", nargs="*", metavar="NAME", help="only these generators")

    pre = commands.add_parser("preview", help="draw a few series of a dataset",
                              description="Draw a few series of a dataset with changepoints, "
                                          "anomalies and missing stretches marked "
                                          "(needs matplotlib).")
    pre.add_argument("dataset", metavar="DATASET", help=".npz file or Parquet directory")
    pre.add_argument("--output", "-o", default="preview.png", help="image file (preview.png)")
    pre.add_argument("-n", type=int, default=4, help="draw the first N series (4)")
    pre.add_argument("--series", metavar="I,J,...", help="draw these series instead")
    return parser


def main(argv: list[str] | None = None) -> int:
    try:
        args = build_parser().parse_args(argv)
        if args.command == "generate":
            return cmd_generate(args)
        if args.command == "generators":
            return cmd_generators(args)
        return cmd_preview(args)
    except ConfigError as exc:
        print(f"tidemark: error: {exc}", file=sys.stderr)
        return EXIT_BAD_INPUT
    except Failure as exc:
        print(f"tidemark: error: {exc}", file=sys.stderr)
        return EXIT_FAILED
    except BrokenPipeError:  # output piped into a reader that closed early
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_FAILED
    except KeyboardInterrupt:
        if sys.stderr.isatty():  # end the progress line first
            sys.stderr.write("\n")
        print("tidemark: interrupted; nothing half-written was left", file=sys.stderr)
        return EXIT_INTERRUPTED
    except BaseException as exc:
        from tidemark.dataset import internal_failure
        if internal_failure(exc):
            print(f"tidemark: error: {exc}", file=sys.stderr)
            return EXIT_FAILED
        raise
