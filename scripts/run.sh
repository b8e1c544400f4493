#!/usr/bin/env bash
# Sets up, builds and starts Quillon; arguments go to the program (e.g. Server=SRV Database=DB).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target quillon
exec "$BUILD_DIR/src/quillon" "$@"
