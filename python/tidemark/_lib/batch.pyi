# Stub of a native submodule; see __init__.pyi for how these stubs are kept.
import numpy as np
import numpy.typing as npt

from typing import Any

__all__ = ["generate_batch", "generate_multi_batch"]

def generate_batch(
    gen_type: int,
    scalar_params: npt.NDArray[np.float64],
    array_params: list[npt.NDArray[np.float64]],
    lengths: npt.NDArray[np.int32],
    gen_seeds: npt.NDArray[np.uint64],
    pi_seeds: npt.NDArray[np.uint64],
    pi_config_dict: dict[str, Any],
    n_workers: int = 0,
) -> list[dict[str, npt.NDArray[Any]]]: ...
def generate_multi_batch(
    specs: list[dict[str, Any]], n_workers: int = 0
) -> list[list[dict[str, npt.NDArray[Any]]]]: ...
