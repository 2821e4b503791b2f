"""Benchmark cases, one module per area; each exposes a list `CASES`."""

from . import augmentation, batch, distributions, overhead, statistical

AREAS = (statistical, distributions, overhead, batch, augmentation)


def all_cases():
    for area in AREAS:
        yield from area.CASES
