import os

import numpy as np
import pytest

# True in tools/sanitize.sh's run, which preloads the AddressSanitizer runtime:
# that runtime reserves terabytes of address space, so tests that cap the
# address space cannot run there.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")


@pytest.fixture
def series():
    """A fresh, writeable float64 series of 100 values."""
    return np.linspace(0.0, 9.9, 100)


def internal_failure_type():
    """The native InternalFailure class, obtained by provoking one."""
    from tidemark._lib.statistical import random_walk

    try:
        random_walk(1, 0.0, 1.0, 0.0, 0, 1, 2.0)
    except BaseException as exc:  # noqa: BLE001 - that is the point
        return type(exc)
    raise AssertionError("expected an InternalFailure")
