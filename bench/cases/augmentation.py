"""Decomposition, block bootstrap and the feature set against statsmodels,
arch, tsfeatures and pycatch22."""

from functools import cache

import numpy as np

from tidemark._lib import augmentation as aug

from harness import Case

SEED = 20240601
PERIOD = 12
N_DECOMPOSE = 100_000
N_BOOT, N_DRAWS, BLOCK = 1_000, 1_000, 20
N_FEATURES = 1_000
N_PANEL, PANEL_LENGTH = 10_000, 500


@cache
def _seasonal_series(n):
    rng = np.random.default_rng(SEED)
    t = np.arange(n)
    return 10.0 + 0.01 * t + 2.0 * np.sin(2 * np.pi * t / PERIOD) + rng.normal(size=n)


# --- classical decomposition ----------------------------------------------


def _decompose_peer():
    from statsmodels.tsa.seasonal import seasonal_decompose

    return seasonal_decompose(_seasonal_series(N_DECOMPOSE), period=PERIOD)


# --- moving block bootstrap -----------------------------------------------


@cache
def _seeds():
    return list(range(1, N_DRAWS + 1))


def _bootstrap_peer():
    """What a user would write: decompose, bootstrap the residual with arch,
    put trend and season back on each draw."""
    from arch.bootstrap import MovingBlockBootstrap
    from statsmodels.tsa.seasonal import seasonal_decompose

    x = _seasonal_series(N_BOOT)
    parts = seasonal_decompose(x, period=PERIOD, extrapolate_trend=PERIOD)
    base = parts.trend + parts.seasonal
    rng = np.random.default_rng(SEED)
    bs = MovingBlockBootstrap(BLOCK, parts.resid, seed=rng)
    return [base + data[0][0] for data in bs.bootstrap(N_DRAWS)]


# --- feature set ------------------------------------------------------------


def _tsfeatures_peer():
    import tsfeatures as tf

    x = _seasonal_series(N_FEATURES)
    out = {}
    for f in (tf.acf_features, tf.stl_features, tf.lumpiness, tf.stability,
              tf.crossing_points, tf.entropy):
        out.update(f(x, freq=PERIOD))
    return out


def _catch22():
    import pycatch22

    return pycatch22.catch22_all(_seasonal_series(N_FEATURES).tolist())


@cache
def _panel():
    rng = np.random.default_rng(SEED)
    values = rng.normal(size=N_PANEL * PANEL_LENGTH).reshape(N_PANEL, PANEL_LENGTH).cumsum(axis=1)
    offsets = np.arange(0, N_PANEL * PANEL_LENGTH + 1, PANEL_LENGTH, dtype=np.int64)
    return values.ravel(), offsets


def _panel_features(n_workers):
    values, offsets = _panel()
    return aug.compute_feature_set_batch(values, offsets, PERIOD, None, n_workers)


_PANEL_RATE = (N_PANEL, "series")

CASES = [
    Case("aug classical_decompose 1e5, period 12 vs statsmodels",
         lambda: aug.classical_decompose(_seasonal_series(N_DECOMPOSE), PERIOD),
         _decompose_peer, target="≤ 0.5", requires=("statsmodels",), number=5),
    Case("aug moving_block_bootstrap_many 1000 seeds x 1000 vs statsmodels+arch",
         lambda: aug.moving_block_bootstrap_many(_seasonal_series(N_BOOT), BLOCK, _seeds(),
                                                 PERIOD),
         _bootstrap_peer, target="≤ 0.3", requires=("statsmodels", "arch")),
    Case("aug compute_feature_set 1000, period 12 vs tsfeatures",
         lambda: aug.compute_feature_set(_seasonal_series(N_FEATURES), PERIOD),
         _tsfeatures_peer, target="≤ 0.1", requires=("tsfeatures",), number=20),
    Case("aug compute_feature_set 1000, period 12 vs pycatch22 (scale only)",
         lambda: aug.compute_feature_set(_seasonal_series(N_FEATURES), PERIOD),
         _catch22, requires=("pycatch22",), number=20),
    Case("aug compute_feature_set_batch 1e4 x 500, 1 worker", lambda: _panel_features(1),
         per_item=_PANEL_RATE),
    Case("aug compute_feature_set_batch 1e4 x 500, 2 workers", lambda: _panel_features(2),
         per_item=_PANEL_RATE),
    Case("aug compute_feature_set_batch speed-up 2 vs 1 workers", lambda: _panel_features(2),
         lambda: _panel_features(1), target="≥ 1.8", speedup=True),
]
