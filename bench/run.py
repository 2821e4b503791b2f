"""Run every benchmark and print one table.

    python bench/run.py [--filter SUBSTRING] [--quick] [--repeats N]
"""

from __future__ import annotations

import argparse
import os
import sys

# Idle BLAS worker threads spin and would steal cores from the timed code.
for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_var, "1")

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from cases import all_cases  # noqa: E402
from harness import Row  # noqa: E402

COLUMNS = ("benchmark", "ours", "peer", "ratio", "target", "", "note")


def _cells(row: Row) -> tuple:
    figure = "—" if row.figure is None else f"{row.figure:.3g}{row.figure_suffix}"
    target = "" if row.target is None else str(row.target)
    return (row.name, row.ours, row.peer, figure, target, row.mark, row.note)


def print_table(rows, out=sys.stdout) -> None:
    table = [COLUMNS] + [_cells(r) for r in rows]
    widths = [max(len(r[i]) for r in table) for i in range(len(COLUMNS))]
    right = {1, 2, 3}

    def line(cells):
        parts = [c.rjust(w) if i in right else c.ljust(w)
                 for i, (c, w) in enumerate(zip(cells, widths))]
        return "  ".join(parts).rstrip()

    print(line(table[0]), file=out)
    print("  ".join("-" * w for w in widths).rstrip(), file=out)
    for cells in table[1:]:
        print(line(cells), file=out)


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--filter", default="",
                        help="run only benchmarks whose name contains this")
    parser.add_argument("--quick", action="store_true", help="fewer repeats")
    parser.add_argument("--repeats", type=int, default=None,
                        help="repeats per benchmark (best of N)")
    args = parser.parse_args(argv)
    repeats = args.repeats or (3 if args.quick else 7)

    cases = [c for c in all_cases() if args.filter in c.name]
    if not cases:
        print(f"no benchmark matches {args.filter!r}", file=sys.stderr)
        return 1
    rows = []
    for case in cases:
        print(f"  running {case.name} ...", file=sys.stderr, flush=True)
        rows.append(case.run(repeats))
    print(f"best of {repeats} (ratio = ours/peer, × = speed-up peer/ours)")
    print_table(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())
