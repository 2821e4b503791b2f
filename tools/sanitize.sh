#!/usr/bin/env bash
# Builds the extension and the C++ unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs both test suites under them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${SANITIZE_BUILD_DIR:-$root/build/sanitize}"
python="${PYTHON:-python3}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTIDEMARK_SANITIZE=ON -DTIDEMARK_CORE_TESTS=ON -DPython_EXECUTABLE="$(command -v "$python")"
cmake --build "$build"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$build/core_tests"

# The interpreter itself is not instrumented: preload the runtime and skip
# leak reports, which CPython's own allocations would flood.
pkg="$build/pkg/tidemark"
rm -rf "$build/pkg" && mkdir -p "$pkg"
cp "$root"/python/tidemark/*.py "$root/python/tidemark/py.typed" "$pkg/"
cp "$build"/_lib*.so "$pkg/"
asan_lib="$(g++ -print-file-name=libasan.so)"
ubsan_lib="$(g++ -print-file-name=libubsan.so)"
LD_PRELOAD="$asan_lib:$ubsan_lib" ASAN_OPTIONS=detect_leaks=0 PYTHONPATH="$build/pkg" \
  "$python" -m pytest -q -p no:cacheprovider "$root/tests" --ignore "$root/tests/test_core_units.py"
