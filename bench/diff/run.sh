#!/usr/bin/env bash
# Generates text pairs in a temporary folder, times our line diff against GNU diff and
# diff --minimal on each (best of at least three runs, with peak memory), checks that our edit
# count equals diff --minimal's, and times the diff grid.
# Usage: bench/diff/run.sh [build folder] [runs | grid]   (default: build, 3; bench_diff and
# bench_diffgrid must be built; "grid" times only the diff grid). The 1,000,000-line pair with 10 % changed takes diff --minimal
# about a minute a run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
exec python3 "$here/run.py" "$(cd "$build" && pwd)" "${@:2}"
