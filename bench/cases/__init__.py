"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import (batch, diffusions, distributions, domain, dtw, multivariate, overhead, statistical,
               stochastic, volatility)

AREAS = (statistical, diffusions, stochastic, volatility, multivariate, domain, dtw, distributions,
         overhead, batch)


def all_cases():
    for area in AREAS:
        yield from area.CASES
