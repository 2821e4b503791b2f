"""Dataset descriptions: reading, validating and resolving them.

A description (a TOML file, a dict, or the command-line flags) is checked
completely before anything is generated: every key, every generator name,
every pattern kind and every value.  A problem is a ``ConfigError`` whose
text starts with the key (``patterns.missing_pattern``) or the flag
(``--missing-pattern``) and suggests the closest valid name.

The resolved description (``Plan.describe()``) lists every generator
parameter and pattern setting with its value, defaults included; it is what
a dataset file stores, and ``plan_from_config`` reads it back unchanged.
"""

from __future__ import annotations

import difflib
import math
from dataclasses import dataclass, field
from typing import Any, Callable

from tidemark.catalog import CATALOG, GeneratorSpec
from tidemark.seeds import MAX_SEED, MAX_SERIES

MAX_LENGTH = 2**31 - 1
CHUNK_BYTES = 32 * 2**20  # values per chunk (and Parquet row group), about
SHARD_BYTES = 256 * 2**20  # values per Parquet shard, about
FORMATS = ("npz", "parquet")

CHANGEPOINT_TYPES = ("level", "trend", "mixed", "variance")
ANOMALY_TYPES = ("spike", "dip", "level_shift")
MISSING_PATTERNS = ("random", "block", "seasonal")


class ConfigError(Exception):
    """A problem with the dataset description, named by its key or flag."""


@dataclass(frozen=True)
class PatternKey:
    kind: type  # bool, int, float, str or list
    default: Any
    step: str  # the flag that enables it ("" for the flags themselves)
    help: str = ""
    choices: tuple[str, ...] = ()


# The pattern settings, in the order the native pattern step reads them.
# Defaults are this tool's: magnitudes that visibly change a series, so that
# a labelled anomaly is never a no-op.
PATTERN_KEYS: dict[str, PatternKey] = {
    "changepoints": PatternKey(bool, False, "", "inject changepoints"),
    "num_changepoints": PatternKey(int, 1, "changepoints", "changepoints per series"),
    "changepoint_type": PatternKey(str, "level", "changepoints", "kind of change",
                                   CHANGEPOINT_TYPES),
    "changepoint_locations": PatternKey(list, [], "changepoints",
                                        "positions as fractions of the length (else drawn)"),
    "changepoint_level_changes": PatternKey(list, [], "changepoints",
                                            "level shifts (else drawn from [-20, 20])"),
    "changepoint_trend_changes": PatternKey(list, [], "changepoints",
                                            "slope changes (else drawn from [-0.5, 0.5])"),
    "changepoint_variance_changes": PatternKey(list, [], "changepoints",
                                               "deviation factors (else drawn from [0.5, 2])"),
    "anomalies": PatternKey(bool, False, "", "inject anomalies"),
    "anomaly_types": PatternKey(list, ["spike", "dip"], "anomalies",
                                "kinds to choose from", ANOMALY_TYPES),
    "anomaly_fraction": PatternKey(float, 0.01, "anomalies", "share of positions, in (0, 1]"),
    "spike_magnitude": PatternKey(float, 5.0, "anomalies", "added at a spike, > 0"),
    "dip_magnitude": PatternKey(float, -5.0, "anomalies", "added at a dip, < 0"),
    "level_shift_magnitude": PatternKey(float, 3.0, "anomalies", "added over a level shift"),
    "level_shift_duration": PatternKey(int, 10, "anomalies", "points of a level shift, >= 1"),
    "missing_data": PatternKey(bool, False, "", "inject missing values (NaN)"),
    "missing_pattern": PatternKey(str, "random", "missing_data", "where values go missing",
                                  MISSING_PATTERNS),
    "missing_rate": PatternKey(float, 0.05, "missing_data", "share of missing values, in (0, 1]"),
    "missing_block_size": PatternKey(int, None, "missing_data",
                                     "points per block (block pattern, required)"),
    "missing_seasonal_period": PatternKey(int, None, "missing_data",
                                          "period (seasonal pattern, required, >= 2)"),
}
STEPS = ("changepoints", "anomalies", "missing_data")
TOP_KEYS = ("seed", "n_workers", "output", "format", "chunk_size", "shard_size",
            "label_masks", "patterns", "generators")
GROUP_KEYS = ("type", "n_series", "length", "params")


def suggest(name: str, valid) -> str:
    """' (did you mean 'x'?)' for the closest valid name, else the list."""
    valid = list(valid)
    close = difflib.get_close_matches(str(name), valid, n=1, cutoff=0.5)
    if not close:
        close = [v for v in valid if v.lower() == str(name).lower()]
    if close:
        return f" (did you mean {close[0]!r}?)"
    return f" (valid: {', '.join(valid)})"


@dataclass
class Group:
    spec: GeneratorSpec
    n_series: int
    length: tuple[int, int]
    params: dict[str, Any]  # every slot, defaults filled in

    def scalar_slots(self) -> list[float]:
        return [float(self.params[k]) for k, _ in self.spec.scalars]

    def array_slots(self) -> list[list[float]]:
        return [[float(v) for v in self.params[k]] for k, _ in self.spec.arrays]


@dataclass
class Plan:
    seed: int
    patterns: dict[str, Any]  # every pattern key, resolved
    groups: list[Group]
    chunk_size: int
    shard_size: int
    n_workers: int = 0
    output: str | None = None
    format: str | None = None
    label_masks: bool = False
    starts: list[int] = field(default_factory=list)

    def __post_init__(self):
        self.starts, total = [], 0
        for g in self.groups:
            self.starts.append(total)
            total += g.n_series
        self.total = total

    @property
    def n_shards(self) -> int:
        return -(-self.total // self.shard_size) if self.total else 0

    def shard_range(self, k: int) -> tuple[int, int]:
        return k * self.shard_size, min(self.total, (k + 1) * self.shard_size)

    def pi_config(self) -> dict[str, Any]:
        """The dict the native pattern step reads: the settings in effect."""
        return effective_patterns(self.patterns)

    def describe(self) -> dict[str, Any]:
        """The resolved description: everything that determines the data."""
        return {
            "seed": self.seed,
            "chunk_size": self.chunk_size,
            "shard_size": self.shard_size,
            "label_masks": self.label_masks,
            "patterns": effective_patterns(self.patterns),
            "generators": [
                {"type": g.spec.name, "n_series": g.n_series,
                 "length": list(g.length), "params": dict(g.params)}
                for g in self.groups
            ],
        }


def effective_patterns(p: dict[str, Any]) -> dict[str, Any]:
    """The settings that change the data: the three switches and, for each
    step that is on, the settings it uses (absent ones take the native
    defaults, which are never used then)."""
    out = {step: p[step] for step in STEPS}
    if p["changepoints"]:
        kind = p["changepoint_type"]
        out.update(num_changepoints=p["num_changepoints"], changepoint_type=kind)
        for key in ("changepoint_locations", "changepoint_level_changes",
                    "changepoint_trend_changes", "changepoint_variance_changes"):
            if p[key]:
                out[key] = list(p[key])
    if p["anomalies"]:
        types = p["anomaly_types"]
        out.update(anomaly_types=list(types), anomaly_fraction=p["anomaly_fraction"])
        if "spike" in types:
            out["spike_magnitude"] = p["spike_magnitude"]
        if "dip" in types:
            out["dip_magnitude"] = p["dip_magnitude"]
        if "level_shift" in types:
            out.update(level_shift_magnitude=p["level_shift_magnitude"],
                       level_shift_duration=p["level_shift_duration"])
    if p["missing_data"]:
        pattern = p["missing_pattern"]
        out.update(missing_pattern=pattern, missing_rate=p["missing_rate"])
        if pattern == "block":
            out["missing_block_size"] = p["missing_block_size"]
        if pattern == "seasonal":
            out["missing_seasonal_period"] = p["missing_seasonal_period"]
    return out


# --- checks -----------------------------------------------------------------

def _kind_name(kind) -> str:
    return {bool: "true or false", int: "a whole number", float: "a number",
            str: "a string", list: "a list"}[kind]


def _check(value, kind, key):
    if kind is bool:
        if not isinstance(value, bool):
            raise ConfigError(f"{key}: expected true or false, got {value!r}")
        return value
    if kind is int:
        if isinstance(value, bool) or not isinstance(value, int):
            raise ConfigError(f"{key}: expected a whole number, got {value!r}")
        return value
    if kind is float:
        if isinstance(value, bool) or not isinstance(value, (int, float)):
            raise ConfigError(f"{key}: expected a number, got {value!r}")
        value = float(value)
        if not math.isfinite(value):
            raise ConfigError(f"{key}: must be finite, got {value!r}")
        return value
    if kind is str:
        if not isinstance(value, str):
            raise ConfigError(f"{key}: expected a string, got {value!r}")
        return value
    if kind is list:
        if not isinstance(value, (list, tuple)):
            raise ConfigError(f"{key}: expected a list, got {value!r}")
        return list(value)
    if kind is dict:
        if not isinstance(value, dict):
            raise ConfigError(f"{key}: expected a table, got {value!r}")
        return value
    raise AssertionError(kind)


def _numbers(value, key) -> list[float]:
    return [_check(v, float, f"{key}[{i}]") for i, v in enumerate(_check(value, list, key))]


def _bounded_int(value, key, lo, hi, what=None):
    value = _check(value, int, key)
    if not lo <= value <= hi:
        raise ConfigError(f"{key}: {what or f'must be in [{lo}, {hi}]'}, got {value}")
    return value


def check_patterns(table: dict, name: Callable[[str], str], needs: Callable[[str], str],
                   ) -> dict[str, Any]:
    """Validate pattern settings and resolve them against the defaults.

    ``name(key)`` is how a key is shown (config key or flag); ``needs(step)``
    says how to switch a step on, for the message about a setting that would
    have no effect.
    """
    for key in table:
        if key not in PATTERN_KEYS:
            raise ConfigError(f"{name(key)}: unknown pattern setting"
                              f"{suggest(key, PATTERN_KEYS)}")
    out: dict[str, Any] = {}
    for key, spec in PATTERN_KEYS.items():
        if key not in table:
            out[key] = list(spec.default) if isinstance(spec.default, list) else spec.default
            continue
        value = table[key]
        if key in ("anomaly_types",):
            value = [_check(v, str, f"{name(key)}[{i}]")
                     for i, v in enumerate(_check(value, list, name(key)))]
        elif spec.kind is list:
            value = _numbers(value, name(key))
        else:
            value = _check(value, spec.kind, name(key))
        out[key] = value
    # a setting whose step is off would silently do nothing
    for key in table:
        step = PATTERN_KEYS[key].step
        if step and not out[step]:
            raise ConfigError(f"{name(key)}: has no effect unless {needs(step)}")
    _check_kinds(out, name)
    _check_values(out, table, name)
    return out


def _check_kinds(p: dict, name) -> None:
    if p["changepoint_type"] not in CHANGEPOINT_TYPES:
        raise ConfigError(f"{name('changepoint_type')}: unknown changepoint type "
                          f"{p['changepoint_type']!r}{suggest(p['changepoint_type'], CHANGEPOINT_TYPES)}")
    for i, kind in enumerate(p["anomaly_types"]):
        if kind not in ANOMALY_TYPES:
            raise ConfigError(f"{name('anomaly_types')}[{i}]: unknown anomaly type "
                              f"{kind!r}{suggest(kind, ANOMALY_TYPES)}")
    if p["missing_pattern"] not in MISSING_PATTERNS:
        raise ConfigError(f"{name('missing_pattern')}: unknown missing pattern "
                          f"{p['missing_pattern']!r}{suggest(p['missing_pattern'], MISSING_PATTERNS)}")


def _check_values(p: dict, given: dict, name) -> None:
    i32 = 2**31 - 1
    if p["changepoints"]:
        _bounded_int(p["num_changepoints"], name("num_changepoints"), 1, 1000,
                     "must be in [1, 1000]")
        for i, f in enumerate(p["changepoint_locations"]):
            if not 0.0 <= f <= 1.0:
                raise ConfigError(f"{name('changepoint_locations')}[{i}]: must be a fraction "
                                  f"in [0, 1], got {f}")
        kind = p["changepoint_type"]
        uses = {"changepoint_level_changes": kind in ("level", "mixed"),
                "changepoint_trend_changes": kind in ("trend", "mixed"),
                "changepoint_variance_changes": kind in ("variance", "mixed")}
        for key, used in uses.items():
            if p[key] and not used:
                raise ConfigError(f"{name(key)}: has no effect with changepoint type {kind!r}")
        for i, v in enumerate(p["changepoint_variance_changes"]):
            if v <= 0:
                raise ConfigError(f"{name('changepoint_variance_changes')}[{i}]: "
                                  f"must be > 0, got {v}")
    if p["anomalies"]:
        if not p["anomaly_types"]:
            raise ConfigError(f"{name('anomaly_types')}: must name at least one of "
                              f"{', '.join(ANOMALY_TYPES)}")
        if not 0.0 < p["anomaly_fraction"] <= 1.0:
            raise ConfigError(f"{name('anomaly_fraction')}: must be in (0, 1], "
                              f"got {p['anomaly_fraction']}")
        types = set(p["anomaly_types"])
        if "spike" in types and not p["spike_magnitude"] > 0:
            raise ConfigError(f"{name('spike_magnitude')}: must be > 0 (it is added at a spike)"
                              f", got {p['spike_magnitude']}")
        if "dip" in types and not p["dip_magnitude"] < 0:
            raise ConfigError(f"{name('dip_magnitude')}: must be < 0 (it is added at a dip)"
                              f", got {p['dip_magnitude']}")
        if "level_shift" in types:
            if p["level_shift_magnitude"] == 0:
                raise ConfigError(f"{name('level_shift_magnitude')}: must not be 0")
            _bounded_int(p["level_shift_duration"], name("level_shift_duration"), 1, i32)
        for key, kind in (("spike_magnitude", "spike"), ("dip_magnitude", "dip"),
                          ("level_shift_magnitude", "level_shift"),
                          ("level_shift_duration", "level_shift")):
            if key in given and kind not in types:
                raise ConfigError(f"{name(key)}: has no effect unless "
                                  f"{name('anomaly_types')} includes {kind!r}")
    if p["missing_data"]:
        if not 0.0 < p["missing_rate"] <= 1.0:
            raise ConfigError(f"{name('missing_rate')}: must be in (0, 1], "
                              f"got {p['missing_rate']}")
        pattern = p["missing_pattern"]
        for key, wanted in (("missing_block_size", "block"),
                            ("missing_seasonal_period", "seasonal")):
            if p[key] is not None and pattern != wanted:
                raise ConfigError(f"{name(key)}: has no effect unless "
                                  f"{name('missing_pattern')} is {wanted!r}")
        if pattern == "block":
            if p["missing_block_size"] is None:
                raise ConfigError(f"{name('missing_block_size')}: required with the block "
                                  f"pattern (points per block)")
            _bounded_int(p["missing_block_size"], name("missing_block_size"), 1, i32,
                         "must be >= 1")
        if pattern == "seasonal":
            if p["missing_seasonal_period"] is None:
                raise ConfigError(f"{name('missing_seasonal_period')}: required with the "
                                  f"seasonal pattern (>= 2)")
            _bounded_int(p["missing_seasonal_period"], name("missing_seasonal_period"), 2, i32,
                         "must be >= 2 (a period of 1 gives no seasonal pattern)")


def check_params(spec: GeneratorSpec, table: dict, key: str) -> dict[str, Any]:
    """Every slot of the generator, from its defaults and the given values."""
    _check(table, dict, key)
    arrays = dict(spec.arrays)
    known = spec.keys()
    out: dict[str, Any] = {k: v for k, v in spec.scalars}
    out.update({k: list(v) for k, v in spec.arrays})
    for name, value in table.items():
        if name not in known:
            raise ConfigError(f"{key}.{name}: unknown parameter of {spec.name}"
                              f"{suggest(name, known)}")
        if name in arrays:
            out[name] = _numbers(value, f"{key}.{name}")
        elif isinstance(value, int):  # bool and int: kept whole in the stored description
            if abs(value) > 2**53:
                raise ConfigError(f"{key}.{name}: too large, got {value}")
            out[name] = int(value)
        else:
            out[name] = _check(value, float, f"{key}.{name}")
    return out


def _length(value, key) -> tuple[int, int]:
    if isinstance(value, (list, tuple)):
        if len(value) != 2:
            raise ConfigError(f"{key}: expected a length or [min, max], got {value!r}")
        lo, hi = (_check(v, int, key) for v in value)
    else:
        lo = hi = _check(value, int, key)
    if not 1 <= lo <= hi <= MAX_LENGTH:
        raise ConfigError(f"{key}: lengths must satisfy 1 <= min <= max <= {MAX_LENGTH}, "
                          f"got {value!r}")
    return lo, hi


def _group(table, index: int) -> Group:
    key = f"generators[{index}]"
    _check(table, dict, key)
    for name in table:
        if name not in GROUP_KEYS:
            raise ConfigError(f"{key}.{name}: unknown key{suggest(name, GROUP_KEYS)}")
    for required in ("type", "n_series", "length"):
        if required not in table:
            raise ConfigError(f"{key}.{required}: missing")
    name = _check(table["type"], str, f"{key}.type")
    if name not in CATALOG:
        raise ConfigError(f"{key}.type: unknown generator {name!r}{suggest(name, CATALOG)}")
    n_series = _bounded_int(table["n_series"], f"{key}.n_series", 0, MAX_SERIES - 1,
                            "must be >= 0")
    spec = CATALOG[name]
    return Group(spec, n_series, _length(table["length"], f"{key}.length"),
                 check_params(spec, table.get("params", {}), f"{key}.params"))


def _config_name(key: str) -> str:
    return f"patterns.{key}"


def _config_needs(step: str) -> str:
    return f"patterns.{step} = true"


def plan_from_config(config: dict, pattern_name=_config_name, pattern_needs=_config_needs,
                     ) -> Plan:
    """Validate a description (a parsed TOML file or a resolved description)."""
    _check(config, dict, "configuration")
    for name in config:
        if name not in TOP_KEYS:
            raise ConfigError(f"{name}: unknown key{suggest(name, TOP_KEYS)}")
    if "generators" not in config:
        raise ConfigError("generators: missing (at least one [[generators]] table)")
    tables = _check(config["generators"], list, "generators")
    if not tables:
        raise ConfigError("generators: at least one generator is needed")
    groups = [_group(t, i) for i, t in enumerate(tables)]
    total = sum(g.n_series for g in groups)
    if total >= MAX_SERIES:
        raise ConfigError(f"n_series: at most {MAX_SERIES - 1} series in all, got {total}")
    seed = _bounded_int(config.get("seed", 0), "seed", 0, MAX_SEED, "must be in [0, 2**64)")
    n_workers = _bounded_int(config.get("n_workers", 0), "n_workers", 0, 4096,
                             "must be in [0, 4096] (0 = one per processor)")
    patterns = check_patterns(_check(config.get("patterns", {}), dict, "patterns"),
                              pattern_name, pattern_needs)
    longest = max(g.length[1] for g in groups)
    default_chunk = max(1, min(65536, CHUNK_BYTES // (8 * longest)))
    chunk = _bounded_int(config.get("chunk_size", default_chunk), "chunk_size", 1, 2**31 - 1,
                         "must be >= 1")
    if chunk * longest > 2**31 - 1:
        raise ConfigError(f"chunk_size: a chunk must hold fewer than 2**31 values "
                          f"({chunk} series of up to {longest})")
    default_shard = chunk * max(1, SHARD_BYTES // (8 * longest * chunk))
    shard = _bounded_int(config.get("shard_size", default_shard), "shard_size", 1,
                         MAX_SERIES, "must be >= 1")
    output = config.get("output")
    if output is not None:
        _check(output, str, "output")
    fmt = config.get("format")
    if fmt is not None and fmt not in FORMATS:
        raise ConfigError(f"format: unknown format {fmt!r}{suggest(str(fmt), FORMATS)}")
    masks = _check(config.get("label_masks", False), bool, "label_masks")
    return Plan(seed, patterns, groups, chunk, shard, n_workers, output, fmt, masks)
