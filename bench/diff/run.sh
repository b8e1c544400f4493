#!/usr/bin/env bash
# Generates text pairs in a temporary folder, times our line diff against GNU diff on each,
# checks that our edit count never exceeds diff --minimal's, and times the diff grid.
# Usage: bench/diff/run.sh [build folder]   (default: build; bench_diff must be built)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
exec python3 "$here/run.py" "$(cd "$build" && pwd)"
