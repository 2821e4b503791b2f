"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import batch, distributions, overhead, statistical, stochastic

AREAS = (statistical, stochastic, distributions, overhead, batch)


def all_cases():
    for area in AREAS:
        yield from area.CASES
