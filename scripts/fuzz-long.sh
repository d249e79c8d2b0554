#!/usr/bin/env bash
# Long fuzz runs: scripts/fuzz-long.sh DURATION [target...]
# DURATION is per target in seconds (or with a suffix m/h). Targets run one after another, each on
# a corpus kept in $FUZZ_BUILD_DIR/corpus/<target> (seeded from fuzz/corpus) so later runs go on
# where earlier ones stopped. Findings are written to $FUZZ_BUILD_DIR/fuzz-artifacts/ and make the
# script exit non-zero after every target has run.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ]; then
  echo "usage: $0 DURATION[s|m|h] [fuzz_pcx fuzz_dcx fuzz_tga fuzz_bmp fuzz_ico fuzz_dib]" >&2
  exit 2
fi
duration=$1
shift
case "$duration" in
  *h) duration=$((${duration%h} * 3600)) ;;
  *m) duration=$((${duration%m} * 60)) ;;
  *s) duration=${duration%s} ;;
esac
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(fuzz_pcx fuzz_dcx fuzz_tga fuzz_bmp fuzz_ico fuzz_dib fuzz_tiff fuzz_png fuzz_jpeg)
BUILD=${FUZZ_BUILD_DIR:-build/fuzz}

cmake --preset fuzz -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j "${JOBS:-2}" --target "${TARGETS[@]}"
mkdir -p "$BUILD/fuzz-artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

status=0
for target in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$target"
  mkdir -p "$corpus"
  log="$BUILD/fuzz-artifacts/$target.log"
  if "$BUILD/fuzz/$target" -max_total_time="$duration" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
      -artifact_prefix="$BUILD/fuzz-artifacts/$target-" -print_final_stats=1 \
      "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING (see $log)"
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  echo "$target: $runs executions in ${duration}s, $result"
done
exit $status
