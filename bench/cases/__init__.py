"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import batch, distributions, domain, overhead, statistical

AREAS = (statistical, distributions, overhead, batch, domain)


def all_cases():
    for area in AREAS:
        yield from area.CASES
