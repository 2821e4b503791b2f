"""Case objects, interleaved best-of-N timing and result rows."""

from __future__ import annotations

import importlib.util
import time
from dataclasses import dataclass
from typing import Callable, Optional


@dataclass(frozen=True)
class Target:
    """A bound on a row's figure, written "≤ 0.8" or "≥ 1.8"."""

    op: str
    value: float

    @classmethod
    def parse(cls, text: Optional[str]) -> Optional["Target"]:
        if text is None:
            return None
        op, value = text.split()
        if op not in ("≤", "≥"):
            raise ValueError(f"bad target {text!r}")
        return cls(op, float(value))

    def met(self, figure: float) -> bool:
        return figure <= self.value if self.op == "≤" else figure >= self.value

    def __str__(self) -> str:
        return f"{self.op} {self.value:g}"


@dataclass
class Row:
    name: str
    ours: str = ""
    peer: str = ""
    figure: Optional[float] = None
    target: Optional[Target] = None
    note: str = ""
    figure_suffix: str = ""

    @property
    def mark(self) -> str:
        if self.target is None:
            return ""
        if self.figure is None:  # not measured: error or peer missing
            return "—"
        return "✓" if self.target.met(self.figure) else "✗"


def format_seconds(t: float) -> str:
    for scale, unit in ((1.0, "s"), (1e-3, "ms"), (1e-6, "µs")):
        if t >= scale:
            return f"{t / scale:.3g} {unit}"
    return f"{t / 1e-9:.3g} ns"


def missing_modules(names) -> list[str]:
    return [n for n in names if importlib.util.find_spec(n) is None]


def _error_text(exc: BaseException) -> str:
    text = f"{type(exc).__name__}: {exc}".splitlines()[0]
    return text if len(text) <= 70 else text[:67] + "..."


def minor_faults(func) -> int:
    """Minor page faults taken by one call of func (the whole process)."""
    import resource

    before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    func()
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before


def best_of(funcs, repeats: int, number: int) -> list[float]:
    """Min over `repeats` of the time per call of each function.

    Each function is called once to warm up; then every repeat times all of
    them back to back, alternating the order so neither side always runs
    first on a busy machine.
    """
    for f in funcs:
        f()
    best = [float("inf")] * len(funcs)
    for r in range(repeats):
        order = range(len(funcs)) if r % 2 == 0 else reversed(range(len(funcs)))
        for i in order:
            f = funcs[i]
            t0 = time.perf_counter()
            for _ in range(number):
                f()
            best[i] = min(best[i], (time.perf_counter() - t0) / number)
    return best


@dataclass
class Case:
    """One benchmark: our callable against the peer's, timed interleaved.

    The figure is ours/peer; with `speedup=True` it is peer/ours instead (for
    rows where the higher number is the better one). `number` is the calls
    per timing, for per-call overheads. `per_item` turns a time into a rate
    for the note column (e.g. series per second). `requires` names the
    modules the peer needs; when one is missing the row says so.
    """

    name: str
    ours: Callable[[], object]
    peer: Optional[Callable[[], object]] = None
    target: Optional[str] = None
    number: int = 1
    requires: tuple = ()
    speedup: bool = False
    per_item: Optional[tuple] = None  # (count, unit), e.g. (10_000, "series")
    max_repeats: Optional[int] = None

    def run(self, repeats: int) -> Row:
        row = Row(self.name, target=Target.parse(self.target))
        if self.max_repeats is not None:
            repeats = min(repeats, self.max_repeats)
        missing = missing_modules(self.requires)
        funcs = [self.ours]
        if self.peer is not None and not missing:
            funcs.append(self.peer)
        try:
            times = best_of(funcs, repeats, self.number)
        except Exception as exc:  # report and go on with the next row
            # Tell which side failed by running ours alone.
            try:
                times = best_of([self.ours], 1, 1)
            except Exception as exc_ours:
                row.ours = "error"
                row.note = _error_text(exc_ours)
                return row
            row.ours = format_seconds(times[0])
            row.peer = "error"
            row.note = _error_text(exc)
            return row
        row.ours = format_seconds(times[0])
        notes = []
        if self.per_item is not None:
            count, unit = self.per_item
            notes.append(f"{count / times[0]:,.0f} {unit}/s")
        faults = [minor_faults(f) for f in funcs]
        notes.append("faults " + "/".join(str(n) for n in faults))
        row.note = ", ".join(notes)
        if self.peer is None:
            return row
        if missing:
            row.peer = "peer not installed"
            row.note = "needs " + ", ".join(missing)
            return row
        row.peer = format_seconds(times[1])
        if self.speedup:
            row.figure = times[1] / times[0]
            row.figure_suffix = "×"
        else:
            row.figure = times[0] / times[1]
        return row


@dataclass
class Measure:
    """A row computed by its own function, for figures that are not times.

    `measure(repeats)` returns a Row without name and target; errors are
    reported in the row.
    """

    name: str
    measure: Callable[[int], Row]
    target: Optional[str] = None

    def run(self, repeats: int) -> Row:
        try:
            row = self.measure(repeats)
        except Exception as exc:
            row = Row(self.name, ours="error", note=_error_text(exc))
        row.name = self.name
        row.target = Target.parse(self.target)
        return row
