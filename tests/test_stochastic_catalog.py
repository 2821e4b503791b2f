import numpy as np
import pytest

from tidemark._lib.batch import generate_batch
from tidemark.catalog import CATALOG

NAMES = ["ornstein_uhlenbeck", "geometric_brownian_motion", "jump_diffusion", "cyclic", "garch",
         "stochastic_volatility", "regime_switching"]


@pytest.mark.parametrize("name", NAMES)
def test_catalog_defaults_give_sensible_series(name):
    spec = CATALOG[name]
    scalars = np.array([float(v) for _, v in spec.scalars])
    arrays = [np.array(v, dtype=np.float64) for _, v in spec.arrays]
    out = generate_batch(spec.gen_type, scalars, arrays, np.array([500, 500], dtype=np.int32),
                         np.array([1, 2], dtype=np.uint64), np.arange(6, dtype=np.uint64), {})
    a, b = out[0]["values"], out[1]["values"]
    assert np.isfinite(a).all() and a.std() > 0 and not np.array_equal(a, b)
