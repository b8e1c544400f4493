#!/usr/bin/env bash
# The one test command: installs what is missing, configures, builds and runs every test, then
# (as root) builds, installs, tests and removes the Debian package.
#   bash scripts/test.sh [--sanitize] [ctest arguments...]
# --sanitize (what CI runs) then also builds a second tree with clang, the address and
# undefined-behaviour sanitizers and the fuzz harnesses, fuzzes each harness briefly
# (FUZZ_SECONDS each, default 10), and runs the unit, integration and fuzz replay tests there
# with any undefined behaviour fatal.
set -euo pipefail
cd "$(dirname "$0")/.."

SANITIZE=0
if [ "${1:-}" = "--sanitize" ]; then
  SANITIZE=1
  shift
fi

bash scripts/setup.sh

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
(cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" "$@")

# The package test installs the package and creates a user, so it needs root (as in CI).
if [ "$(id -u)" -eq 0 ]; then
  bash scripts/package-test.sh "$BUILD_DIR"
else
  echo "test: the package test needs root; skipped (run: sudo bash scripts/package-test.sh $BUILD_DIR)"
fi

if ((SANITIZE)); then
  SANITIZE_DIR=${SANITIZE_DIR:-build-sanitize}
  # Without benchmarks and window tests: they add build time but no reader of outside input.
  CXX=clang++ cmake -S . -B "$SANITIZE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON \
    -DQUILLON_BUILD_BENCH=OFF -DQUILLON_BUILD_GUI_TESTS=OFF
  cmake --build "$SANITIZE_DIR" --parallel "$(nproc)"
  export ASAN_OPTIONS=detect_stack_use_after_return=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-10}" "$SANITIZE_DIR"
  # Last, so that the run closes on the test runner's summary.
  (cd "$SANITIZE_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" -L 'unit|integration|fuzz' "$@")
fi
