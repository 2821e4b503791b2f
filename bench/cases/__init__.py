"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import batch, composites, distributions, overhead, statistical

AREAS = (statistical, distributions, overhead, batch, composites)


def all_cases():
    for area in AREAS:
        yield from area.CASES
