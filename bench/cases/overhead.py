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

# The Python layer's keyword wrapper (name lookup, seed mapping) against the
# bare native call, and against NumPy's own seeded call.
from tidemark import statistical as py_st  # noqa: E402

CASES += [
    Case("wrapper overhead random_walk(1) vs native",
         lambda: py_st.random_walk(1, seed=SEED),
         lambda: st.random_walk(1, 0.0, 1.0, 0.0, SEED, 0, 0.0),
         number=CALLS),
    Case("wrapper random_walk(1, seed=Generator) vs NumPy",
         lambda: py_st.random_walk(1, seed=np.random.default_rng(SEED)),
         lambda: np.random.default_rng(SEED).standard_normal(1),
         number=CALLS),
]
