"""Builds the native core's C++ unit-test binary and runs it: the random
stream, samplers, innovations, generators, pattern injection and batch
engine have internal units that the Python surface cannot reach."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]


def _tool(name):
    found = shutil.which(name)
    if found:
        return found
    candidate = pathlib.Path(sys.executable).parent / name
    return str(candidate) if candidate.exists() else None


@pytest.fixture(scope="session")
def core_tests_binary(tmp_path_factory):
    cmake = _tool("cmake")
    if cmake is None or not (ROOT / "CMakeLists.txt").exists():
        pytest.skip("cmake or the source tree is not available")
    if not any((pathlib.Path(p) / "cmeel.prefix").is_dir() for p in sys.path if p):
        pytest.skip("Eigen's headers (the test extra's cmeel-eigen) are not installed")
    build = pathlib.Path(os.environ.get("TIDEMARK_CORE_BUILD", tmp_path_factory.mktemp("core")))
    configure = [cmake, "-S", str(ROOT), "-B", str(build), "-DTIDEMARK_PYTHON=OFF",
                 "-DTIDEMARK_CORE_TESTS=ON", "-DCMAKE_BUILD_TYPE=Release",
                 # The interpreter whose site-packages hold the test extra's
                 # cmeel-eigen, where the build looks for Eigen.
                 f"-DPython_EXECUTABLE={sys.executable}"]
    if _tool("ninja"):
        configure += ["-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={_tool('ninja')}"]
    subprocess.run(configure, check=True, capture_output=True)
    subprocess.run([cmake, "--build", str(build), "-j", str(os.cpu_count() or 2)], check=True,
                   capture_output=True)
    return build / "core_tests"


def test_native_unit_tests_pass(core_tests_binary):
    result = subprocess.run([str(core_tests_binary)], capture_output=True, text=True)
    print(result.stdout)
    assert result.returncode == 0, result.stdout[-4000:]
    assert " passed, 0 failed" in result.stdout
