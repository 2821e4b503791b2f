"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import batch, cli, distributions, overhead, statistical

AREAS = (statistical, distributions, overhead, batch, cli)


def all_cases():
    for area in AREAS:
        yield from area.CASES
