#!/usr/bin/env bash
# Short seeded fuzz run of every reader (libFuzzer, ASan + UBSan): each target starts from its
# committed seeds and the regression files, runs for FUZZ_SECONDS (default 20) and fails the run on
# any finding. Regression files of the target's format run first; the target's dictionary
# (fuzz/dict/<target>.dict) is used when there is one. The random seed is fixed (FUZZ_SEED,
# default 1) so runs repeat. Build folder: FUZZ_BUILD_DIR (default build/fuzz). Each fuzzer runs
# on one core, so FUZZ_JOBS targets (default JOBS, else 2) run at once; each still gets its own
# FUZZ_SECONDS, and the reports are printed in the list's order.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET=${FUZZ_SECONDS:-20}
BUILD=${FUZZ_BUILD_DIR:-build/fuzz}
TARGETS=(fuzz_pcx fuzz_dcx fuzz_tga fuzz_bmp fuzz_ico fuzz_dib fuzz_tiff fuzz_png fuzz_jpeg fuzz_heif fuzz_exif fuzz_icc fuzz_metadata)

cmake --preset fuzz -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j "${JOBS:-2}" --target "${TARGETS[@]}"

declare -A REGRESSION_EXT=([fuzz_pcx]=pcx [fuzz_dcx]=dcx [fuzz_tga]=tga [fuzz_bmp]=bmp [fuzz_ico]=ico [fuzz_dib]=dib [fuzz_tiff]=tif [fuzz_png]=png [fuzz_jpeg]=jpg [fuzz_heif]=heic [fuzz_exif]=exif [fuzz_icc]=icc [fuzz_metadata]=meta)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$BUILD/fuzz-artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# run_target TARGET: the regression files, then the timed run; prints its one-line result, or the
# end of the fuzzer's log and the reason, and fails then.
run_target() {
  local target=$1 bin="$BUILD/fuzz/$1" regressions dict runs
  # Every regression file of the target's format must run clean first.
  shopt -s nullglob
  regressions=(tests/data/regression/*."${REGRESSION_EXT[$target]}")
  shopt -u nullglob
  if [ ${#regressions[@]} -gt 0 ]; then
    "$bin" -runs=1 "${regressions[@]}" >"$WORK/$target-regression.log" 2>&1 ||
      { cat "$WORK/$target-regression.log"; echo "FAIL: $target on a regression file"; return 1; }
  fi
  mkdir -p "$WORK/$target"
  dict=()
  [ -f "fuzz/dict/$target.dict" ] && dict=(-dict="fuzz/dict/$target.dict")
  if ! "$bin" "${dict[@]}" -seed="${FUZZ_SEED:-1}" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$BUILD/fuzz-artifacts/$target-" -print_final_stats=1 \
      "$WORK/$target" "fuzz/corpus/$target" >"$WORK/$target.log" 2>&1; then
    tail -n 60 "$WORK/$target.log"
    echo "FAIL: $target found a problem; the input is in $BUILD/fuzz-artifacts/"
    return 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$WORK/$target.log" | grep -o '[0-9]*$' || echo '?')
  echo "$target: $runs executions in ${SECONDS_PER_TARGET}s, no finding"
}

PARALLEL=${FUZZ_JOBS:-${JOBS:-2}}
running=0
failed=0
for target in "${TARGETS[@]}"; do
  if [ "$running" -ge "$PARALLEL" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_target "$target" >"$WORK/$target.out" 2>&1 &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
for target in "${TARGETS[@]}"; do
  cat "$WORK/$target.out"
done
exit $failed
