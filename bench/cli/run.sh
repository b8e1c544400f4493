#!/usr/bin/env bash
# Builds quillon-cli if needed and runs the fleet benchmark; arguments go to fleet_bench.py.
# Usage: bench/cli/run.sh [--targets 32] [--latency MS]   (build folder: $BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target quillon-cli >/dev/null
exec python3 bench/cli/fleet_bench.py "$BUILD_DIR" "$@"
