"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import batch, distributions, dtw, overhead, statistical

AREAS = (statistical, distributions, overhead, batch, dtw)


def all_cases():
    for area in AREAS:
        yield from area.CASES
