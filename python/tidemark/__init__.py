"""Reproducible synthetic time series for training and evaluating forecasting models.

The numerical work lives in the native extension ``tidemark._lib`` and its
submodules (``statistical``, ``pattern_injection``, ``distributions``,
``batch`` ...).  Every generator is a pure function of its parameters, its
length and an integer seed.
"""

from tidemark import _lib
from tidemark._lib import (
    augmentation,
    batch,
    distributions,
    domain,
    multivariate,
    pattern_injection,
    statistical,
    stochastic,
    volatility,
)

from tidemark.dataset import Dataset, load_dataset, regenerate_series

__all__ = [
    "Dataset",
    "load_dataset",
    "regenerate_series",
    "augmentation",
    "batch",
    "distributions",
    "domain",
    "multivariate",
    "pattern_injection",
    "statistical",
    "stochastic",
    "volatility",
]

__version__ = "0.1.0"
