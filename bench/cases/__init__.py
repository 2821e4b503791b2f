"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import (batch, diffusions, distributions, domain, overhead, statistical, stochastic,
               volatility)

AREAS = (statistical, diffusions, stochastic, volatility, domain, distributions, overhead, batch)


def all_cases():
    for area in AREAS:
        yield from area.CASES
