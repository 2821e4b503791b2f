"""The subprocess side of the fuzz suite (tests/test_fuzz.py).

The parent sends pickled cases on stdin, framed by a 4-byte length; each case
names a public function of `tidemark._lib`, its arguments as picklable
recipes (`Make`) and the contract its result must meet. The worker builds the
real objects (strided and read-only arrays do not survive pickling, so they
are built here), makes the call and answers with a verdict. A crash kills only
this process; the parent sees the pipe close and reports the case.
"""

import dataclasses
import decimal
import fractions
import importlib
import math
import pickle
import struct
import sys

import numpy as np

# Exceptions a call may end with; anything else (SystemError, a
# UnicodeEncodeError, ZeroDivisionError, ...) is a fault.
ALLOWED = ("TypeError", "OverflowError", "ValueError", "MemoryError", "InternalFailure")


@dataclasses.dataclass(frozen=True)
class Make:
    """A recipe for an argument that must be built in the worker."""

    kind: str
    payload: object = None


OMIT = Make("omit")


class _FloatReturnsStr:
    def __float__(self):
        return "not a float"


class _IndexHuge:
    def __index__(self):
        return 2**70


class _SequenceLike:
    """Neither a list nor registered as a sequence, but iterable."""

    def __iter__(self):
        return iter([1.0, 2.0])


OBJECTS = {
    "object": object,
    "float_returns_str": _FloatReturnsStr,
    "index_huge": _IndexHuge,
    "iterable": _SequenceLike,
    "fraction": lambda: fractions.Fraction(1, 3),
    "decimal_nan": lambda: decimal.Decimal("nan"),
    "lone_surrogate": lambda: "\ud800",
    "bytearray": lambda: bytearray(b"ab"),
}

NP_SCALARS = {
    "float64": np.float64, "float32": np.float32, "int64": np.int64, "int32": np.int32,
    "uint64": np.uint64, "bool": np.bool_,
}


def _array(dtype, values, layout):
    dt = np.dtype(dtype)
    if dt.kind in "iu":
        info = np.iinfo(dt)
        clean = [min(max(int(v), info.min), info.max) if isinstance(v, int) or
                 (isinstance(v, float) and math.isfinite(v)) else 0 for v in values]
        base = np.array(clean, dtype=dt)
    elif dt.kind == "b":
        base = np.array([bool(v) for v in values], dtype=dt)
    else:
        base = np.array(values, dtype=np.float64).astype(dt)
    if layout == "c":
        return base
    if layout == "readonly":
        base.flags.writeable = False
        return base
    if layout == "strided":
        doubled = np.repeat(base, 2)
        return doubled[::2]
    if layout == "reversed":
        return base[::-1]
    if layout == "2d":
        return base.reshape(1, -1)
    if layout == "column":
        return base.reshape(-1, 1)
    if layout == "0d":
        return np.array(base[0] if base.size else 0, dtype=dt)
    if layout == "misaligned":
        raw = np.zeros(base.nbytes + 1, dtype=np.uint8)
        view = raw[1:].view(dt)
        view[...] = base
        return view
    if layout == "noncontig_empty":
        return np.zeros(4, dtype=dt)[::2][:0]
    if layout == "subclass":
        return base.view(np.ma.MaskedArray)
    raise AssertionError(f"unknown layout {layout}")


def build(recipe):
    """The real argument object for a recipe, recursively."""
    if isinstance(recipe, Make):
        if recipe.kind == "array":
            return _array(*recipe.payload)
        if recipe.kind == "npscalar":
            name, value = recipe.payload
            try:
                return NP_SCALARS[name](value)
            except (OverflowError, ValueError):
                return NP_SCALARS[name](0)
        if recipe.kind == "object":
            return OBJECTS[recipe.payload]()
        if recipe.kind == "dictsub":  # a dict subclass
            return type("DictSub", (dict,), {})(build(recipe.payload))
        if recipe.kind == "listsub":
            return type("ListSub", (list,), {})(build(recipe.payload))
        raise AssertionError(f"unknown recipe {recipe.kind}")
    if isinstance(recipe, list):
        return [build(r) for r in recipe]
    if isinstance(recipe, tuple):
        return tuple(build(r) for r in recipe)
    if isinstance(recipe, dict):
        return {k: build(v) for k, v in recipe.items()}
    return recipe


# ---------------------------------------------------------------- contracts

def _is_index(v):
    return type(v) is int


def _float_array(x, n=None):
    if type(x) is not np.ndarray:
        return f"expected a NumPy array, got {type(x).__name__}"
    if x.dtype != np.float64 or x.ndim != 1:
        return f"expected a 1-d float64 array, got {x.dtype} with {x.ndim} dimensions"
    if not (x.flags.c_contiguous and x.flags.writeable):
        return "the result array is not contiguous and writeable"
    if n is not None and len(x) != n:
        return f"expected {n} values, got {len(x)}"
    return None


def _index_array(x, bound=None):
    if type(x) is not np.ndarray or x.dtype != np.int64 or x.ndim != 1:
        return f"expected a 1-d int64 array, got {type(x).__name__} {getattr(x, 'dtype', '')}"
    if bound is not None and len(x) and (x.min() < 0 or x.max() > bound):
        return f"positions outside [0, {bound}]: {x.min()}..{x.max()}"
    return None


def _len(obj):
    return len(obj)


def check_series(result, args, length="length"):
    return _float_array(result, args[length])


def check_users(result, args):
    if type(result) is not tuple or len(result) != 2:
        return "expected (values, event flags)"
    flags = result[1]
    err = _float_array(result[0], args["length"])
    if err is None and (type(flags) is not np.ndarray or flags.dtype != np.int32
                        or flags.shape != (args["length"],)):
        err = "expected int32 event flags, one per step"
    if err is None and not np.isin(flags, (0, 1)).all():
        err = "event flags other than 0 and 1"
    return err


def check_like(result, args, name):
    return _float_array(result, len(args[name]))


def check_pattern(result, args, key):
    if type(result) is not tuple or len(result) != 2:
        return "expected a 2-tuple"
    values, info = result
    if values is not args["values"]:
        return "the first item is not the array passed in"
    if type(info) is not dict or list(info) != [key]:
        return f"expected a dict with the single key {key!r}, got {info!r}"
    n = len(values)
    if key == "changepoint_indices":
        # Positions are clamped into the series; a zero-length series reports 0.
        err = _index_array(info[key], max(n, 0))
        if err is None and len(info[key]) != args["num_changepoints"]:
            err = f"expected {args['num_changepoints']} changepoints, got {len(info[key])}"
        return err
    return _index_array(info[key], max(n - 1, 0))


def check_float(result, args):
    return None if type(result) is float else f"expected a float, got {type(result).__name__}"


def check_alignment(result, args):
    if type(result) is not tuple or len(result) != 2 or type(result[0]) is not float:
        return "expected (float, path)"
    path = result[1]
    n, m = len(args["a"]), len(args["b"])
    if type(path) is not list or not path:
        return "expected a non-empty list path"
    if path[0] != (0, 0) or path[-1] != (n - 1, m - 1):
        return f"path runs from {path[0]} to {path[-1]}, not (0, 0) to ({n - 1}, {m - 1})"
    for (i0, j0), (i1, j1) in zip(path, path[1:]):
        if (i1 - i0, j1 - j0) not in ((1, 1), (1, 0), (0, 1)):
            return f"path step {(i0, j0)} -> {(i1, j1)}"
    return None


def check_neighbors(result, args):
    if type(result) is not list or len(result) != len(args["series"]):
        return "expected one list per series"
    k = args["n_neighbors"]
    for entry in result:
        if type(entry) is not list or len(entry) > k:
            return f"expected at most {k} neighbours, got {entry!r}"
        for pair in entry:
            if type(pair) is not tuple or len(pair) != 2 or not _is_index(pair[0]) \
                    or type(pair[1]) is not float:
                return f"bad neighbour entry {pair!r}"
    return None


def check_barycenter(result, args):
    return _float_array(result, len(args["reference"]))


def check_barycenters(result, args):
    if type(result) is not list or len(result) != len(args["weights"]):
        return "expected one barycentre per weight vector"
    for r in result:
        err = _float_array(r, len(args["reference"]))
        if err:
            return err
    return None


def _batch_group(result, lengths, gen_seeds):
    if type(result) is not list:
        return "expected a list of dicts"
    expected = min(len(lengths), len(gen_seeds))
    if len(result) != expected:
        return f"expected {expected} series, got {len(result)}"
    for d, n in zip(result, lengths):
        if type(d) is not dict or list(d) != ["values", "cp_indices", "anom_indices",
                                              "miss_indices"]:
            return f"bad series dict {d!r}"
        err = _float_array(d["values"], int(n))
        for key in ("cp_indices", "anom_indices", "miss_indices"):
            err = err or _index_array(d[key])
        if err:
            return err
    return None


def check_batch(result, args):
    return _batch_group(result, args["lengths"], args["gen_seeds"])


def check_multi_batch(result, args):
    specs = args["specs"]
    if type(result) is not list or len(result) != len(specs):
        return "expected one list per spec"
    for group, spec in zip(result, specs):
        err = _batch_group(group, spec["lengths"], spec["gen_seeds"])
        if err:
            return err
    return None


def check_floats(result, args, n):
    if type(result) not in (tuple, list) or len(result) != n:
        return f"expected {n} floats"
    if not all(type(v) is float for v in result):
        return "expected floats"
    return None


def check_feature_rows(result, args):
    err = _float_array(result)
    if err is None and len(result) % 12:
        err = f"{len(result)} values is not a multiple of 12"
    return err


def check_decomposition(result, args):
    if type(result) is not tuple or len(result) != 3:
        return "expected (trend, seasonal, residual)"
    for part in result:
        err = _float_array(part, len(args["values"]))
        if err:
            return err
    return None


def check_bootstraps(result, args):
    if type(result) is not list or len(result) != len(args["seeds"]):
        return "expected one series per seed"
    for r in result:
        err = _float_array(r, len(args["values"]))
        if err:
            return err
    return None


def check_mar_features(result, args):
    if type(result) is not list or len(result) != len(args["scalars"]):
        return "expected one entry per candidate"
    for entry in result:
        if entry is None:
            continue
        if type(entry) is not list or len(entry) != len(args["lengths"]):
            return "expected one feature list per length"
        for feats in entry:
            if check_floats(feats, args, 4):
                return f"bad features {feats!r}"
    return None


CONTRACTS = {
    "series": check_series,
    "users": check_users,
    "like": check_like,
    "pattern": check_pattern,
    "float": check_float,
    "alignment": check_alignment,
    "neighbors": check_neighbors,
    "barycenter": check_barycenter,
    "barycenters": check_barycenters,
    "batch": check_batch,
    "multi_batch": check_multi_batch,
    "floats": check_floats,
    "feature_rows": check_feature_rows,
    "decomposition": check_decomposition,
    "bootstraps": check_bootstraps,
    "mar_features": check_mar_features,
}


# ---------------------------------------------------------------- one case

def _arrays_in(obj, out):
    if isinstance(obj, np.ndarray):
        out.append(obj)
    elif isinstance(obj, (list, tuple)):
        for o in obj:
            _arrays_in(o, out)
    elif isinstance(obj, dict):
        for o in obj.values():
            _arrays_in(o, out)
    return out


def run_case(case):
    """Runs one case; returns (verdict, detail) with verdict "ok" or "fault"."""
    module, name, params, recipes, mode, contract = case
    # ":name" is a plain module (the harness's own self-test uses it).
    path = module[1:] if module.startswith(":") else f"tidemark._lib.{module}"
    fn = getattr(importlib.import_module(path), name)
    kept = [(p, r) for p, r in zip(params, recipes) if r != OMIT]
    if len(kept) < len(params):  # a parameter left to its default
        params, recipes = [p for p, _ in kept], [r for _, r in kept]
        mode = "keywords" if mode in ("positional", "mixed") else mode
    values = [build(r) for r in recipes]
    by_name = dict(zip(params, values))
    # Inputs must come back untouched, except the series a pattern function
    # writes into.
    mutable = by_name.get("values") if module == "pattern_injection" else None
    before = [(a, a.tobytes()) for a in _arrays_in(values, []) if a is not mutable]
    try:
        if mode == "keywords":
            result = fn(**by_name)
        elif mode == "mixed":
            half = len(values) // 2
            result = fn(*values[:half], **dict(list(by_name.items())[half:]))
        elif mode == "missing_last":
            result = fn(*values[:-1])
        elif mode == "extra":
            result = fn(*values, 0)
        elif mode == "unknown_keyword":
            result = fn(*values, no_such_parameter=1)
        else:
            result = fn(*values)
    except BaseException as exc:  # noqa: BLE001 - judged below
        kind = type(exc).__name__
        if kind not in ALLOWED:
            return "fault", f"raised {kind}: {exc}"
        if not isinstance(exc.args[0] if exc.args else "", str):
            return "fault", f"{kind} without a message"
        return "ok", kind
    for array, data in before:
        if array.tobytes() != data:
            return "fault", "an input array was modified"
    if mode not in ("positional", "keywords", "mixed"):
        return "fault", f"a call with binding mode {mode} returned a result"
    kind, *extra = contract
    try:
        err = CONTRACTS[kind](result, by_name, *extra)
    except Exception as exc:  # noqa: BLE001 - a result the contract cannot read
        err = f"{type(exc).__name__} while checking it: {exc}"
    return ("fault", f"malformed result: {err}") if err else ("ok", "result")


def main():
    stdin, stdout = sys.stdin.buffer, sys.stdout.buffer
    limit = int(sys.argv[1]) if len(sys.argv) > 1 else 0
    if limit:
        # A size budget: the memory guards must refuse calls beyond it rather
        # than let them run (on this machine's RAM they might fit and take minutes).
        import resource
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    while True:
        header = stdin.read(4)
        if len(header) < 4:
            return
        case = pickle.loads(stdin.read(struct.unpack("<I", header)[0]))
        answer = pickle.dumps(run_case(case))
        stdout.write(struct.pack("<I", len(answer)) + answer)
        stdout.flush()


if __name__ == "__main__":
    # Run the module's own copy so that unpickled recipes are its `Make`.
    import fuzz_worker

    fuzz_worker.main()
