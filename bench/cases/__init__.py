"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import batch, distributions, multivariate, overhead, statistical

AREAS = (statistical, distributions, overhead, batch, multivariate)


def all_cases():
    for area in AREAS:
        yield from area.CASES
