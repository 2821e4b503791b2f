"""The type stubs of the native module match the built module, and README's
Python examples pass mypy --strict against the package's own types."""

import re
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("mypy")

README = Path(__file__).resolve().parent.parent / "README.md"


def _run(args, cwd):
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True,
                          cwd=cwd)


def test_native_stubs_match_the_built_module(tmp_path):
    # Run outside the checkout so that the installed package (stubs included) is checked.
    done = _run(["mypy.stubtest", "tidemark._lib", "--mypy-config-file", "/dev/null"], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_readme_python_examples_pass_mypy_strict(tmp_path):
    # Examples that drive a third-party package without type information (Dask)
    # cannot pass --strict whatever we ship; every other example must.
    blocks = [b for b in re.findall(r"```python\n(.*?)```", README.read_text(), re.S)
              if not re.search(r"^(from|import) (?!numpy|tidemark)", b, re.M)]
    assert len(blocks) >= 2
    for i, block in enumerate(blocks):
        (tmp_path / f"readme_example_{i}.py").write_text(block)
    done = _run(["mypy", "--strict", "--no-incremental", *sorted(
        p.name for p in tmp_path.glob("readme_example_*.py"))], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


PYTHON_LAYER = ["tidemark", "tidemark._codes", "tidemark._convert", "tidemark.statistical",
                "tidemark.stochastic", "tidemark.volatility", "tidemark.domain",
                "tidemark.multivariate", "tidemark.pattern_injection", "tidemark.distributions",
                "tidemark.augmentation", "tidemark.batch"]


def test_python_layer_passes_mypy_strict(tmp_path):
    modules = [arg for name in PYTHON_LAYER for arg in ("-m", name)]
    done = _run(["mypy", "--strict", "--no-incremental", "--follow-imports=silent", *modules],
                tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr
