"""Per-call overhead of a tiny generator call against NumPy's."""

import numpy as np

from tidemark._lib import statistical as st

from harness import Case

SEED = 12345
CALLS = 2_000

CASES = [
    Case("call overhead random_walk(1)",
         lambda: st.random_walk(1, 0.0, 1.0, 0.0, SEED, 0, 0.0),
         lambda: np.random.default_rng(SEED).standard_normal(1),
         number=CALLS),
]
