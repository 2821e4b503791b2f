"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import (augmentation, batch, cli, composites, diffusions, distributions, domain, dtw,
               multivariate, overhead, statistical, stochastic, volatility)

AREAS = (statistical, diffusions, stochastic, volatility, multivariate, domain, composites, dtw,
         augmentation, distributions, overhead, batch, cli)


def all_cases():
    for area in AREAS:
        yield from area.CASES
