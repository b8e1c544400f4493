#!/usr/bin/env bash
# Fuzzes every harness in fuzz/ for a time budget, starting from its seeds and found cases.
#   bash scripts/fuzz.sh [seconds per harness, default 60] [build folder, default build-sanitize]
# The folder must be configured with CXX=clang++ and -DQUILLON_FUZZ=ON (scripts/test.sh
# --sanitize does so). New interesting inputs collect in <build>/fuzz/corpus/<harness> and
# carry over to the next run; a failing input is saved as <build>/fuzz/found/<harness>-crash-*
# and fails the run: once fixed, keep it in fuzz/regressions/<harness>/ so CTest replays it.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_HARNESS=${1:-60}
BUILD_DIR=${2:-build-sanitize}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

shopt -s nullglob
harnesses=("$BUILD_DIR"/fuzz/*.seeds)
if ((${#harnesses[@]} == 0)); then
  echo "fuzz: no harnesses in $BUILD_DIR (configure it with CXX=clang++ and -DQUILLON_FUZZ=ON, then build)" >&2
  exit 2
fi
mkdir -p "$BUILD_DIR/fuzz/found"
failed=()
for seeds in "${harnesses[@]}"; do
  harness=$(basename "$seeds" .seeds)
  corpus="$BUILD_DIR/fuzz/corpus/$harness"
  mkdir -p "$corpus"
  mapfile -t inputs < <(grep -v '^$' "$seeds")
  echo "fuzz: $harness for ${SECONDS_PER_HARNESS}s"
  # One worker: the machine is shared. -timeout catches a harness stuck on one input.
  if ! "$BUILD_DIR/fuzz/$harness" -max_total_time="$SECONDS_PER_HARNESS" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$BUILD_DIR/fuzz/found/$harness-" "$corpus" "${inputs[@]}" \
      > "$BUILD_DIR/fuzz/$harness.log" 2>&1; then
    failed+=("$harness")
    tail -n 40 "$BUILD_DIR/fuzz/$harness.log"
  fi
  grep -E '^stat::number_of_executed_units' "$BUILD_DIR/fuzz/$harness.log" || true
done
if ((${#failed[@]})); then
  echo "fuzz: failing inputs found by ${failed[*]} (see $BUILD_DIR/fuzz/found)"
  exit 1
fi
echo "fuzz: no failing input"
