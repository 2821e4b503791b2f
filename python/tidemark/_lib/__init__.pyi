# Type stubs of the native extension tidemark._lib (built from src/).
#
# These stubs describe exactly the functions the extension registers: names,
# parameter names, order and defaults must match the built module, which
# tests/test_typing.py checks with mypy.stubtest.  When a native function is
# added, add its `def` to the submodule's .pyi in registration order and its
# name to that file's __all__ (a submodule without functions has no __all__).
# Parameter types follow the conversion kind of the binding's declaration:
#   Integer/Seed/Size/OptionalInt64 -> int (| None), Real -> float,
#   OptionalReal -> float | None, Flag -> bool, String -> str,
#   StringSequence -> Sequence[str], RealArray -> NDArray[float64],
#   Int32Array -> NDArray[int32], Int64Array -> NDArray[int64],
#   UInt64Array -> NDArray[uint64], OptionalSeed -> int | None,
#   SeedSequence -> Sequence[int],
#   RealArrayList -> list[NDArray[float64]], RealArraySequence ->
#   Sequence[NDArray[float64]], RealSequenceSequence -> Sequence[Sequence[float]],
#   Dict -> dict[str, Any], List -> list[Any].
# A signature can be drafted from the built module with
#   python -c "import inspect, tidemark._lib.statistical as m; \
#              print(*(f'{n}{inspect.signature(getattr(m, n))}' for n in m.__all__), sep='\n')"
from . import (
    augmentation as augmentation,
    batch as batch,
    distributions as distributions,
    domain as domain,
    multivariate as multivariate,
    pattern_injection as pattern_injection,
    statistical as statistical,
    stochastic as stochastic,
    volatility as volatility,
)

__all__ = [
    "__doc__",
    "augmentation",
    "pattern_injection",
    "distributions",
    "statistical",
    "stochastic",
    "volatility",
    "multivariate",
    "domain",
    "batch",
]
