#!/usr/bin/env bash
# Long fuzz campaign, one reader after another (libFuzzer, ASan + UBSan), at low priority so it
# can run in the background while other work goes on.
#
#   scripts/fuzz-long.sh [DURATION[s|m|h]] [target...]
#   FUZZ_RUNS=1000000 scripts/fuzz-long.sh [target...]
#
# Each target stops after DURATION (per target) or after FUZZ_RUNS executions, whichever comes
# first; at least one of the two is needed. Each target first runs its regression files, then
# fuzzes with its dictionary (fuzz/dict/<target>.dict, when there is one) from the corpus kept in
# $FUZZ_BUILD_DIR/corpus/<target> (default build/fuzz), seeded from fuzz/corpus/<target>, so a
# later campaign goes on where this one stopped. Findings are written to
# $FUZZ_BUILD_DIR/fuzz-artifacts/; the script goes on with the other targets and exits non-zero
# at the end. The report (one row per target: executions, coverage and features of libFuzzer's
# last status line, the corpus in use as units/bytes, the grown corpus, findings) is printed and kept in fuzz-artifacts/report.md.
# FUZZ_NICE (default 10) is the niceness, FUZZ_JOBS the number of targets fuzzed at once (default
# 1), JOBS the build's parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."

ALL=(fuzz_pcx fuzz_dcx fuzz_tga fuzz_bmp fuzz_ico fuzz_dib fuzz_tiff fuzz_png fuzz_jpeg fuzz_heif fuzz_exif fuzz_icc fuzz_metadata)
duration=""
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+[smh]?$ ]]; then
  duration=$1
  shift
  case "$duration" in
    *h) duration=$((${duration%h} * 3600)) ;;
    *m) duration=$((${duration%m} * 60)) ;;
    *s) duration=${duration%s} ;;
  esac
fi
RUNS=${FUZZ_RUNS:-}
if [ -z "$duration" ] && [ -z "$RUNS" ]; then
  echo "usage: $0 DURATION[s|m|h] [target...]   or   FUZZ_RUNS=N $0 [DURATION] [target...]" >&2
  echo "targets: ${ALL[*]}" >&2
  exit 2
fi
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=("${ALL[@]}")
BUILD=${FUZZ_BUILD_DIR:-build/fuzz}
NICE=${FUZZ_NICE:-10}

declare -A REGRESSION_EXT=([fuzz_pcx]=pcx [fuzz_dcx]=dcx [fuzz_tga]=tga [fuzz_bmp]=bmp [fuzz_ico]=ico [fuzz_dib]=dib [fuzz_tiff]=tif [fuzz_png]=png [fuzz_jpeg]=jpg [fuzz_heif]=heic [fuzz_exif]=exif [fuzz_icc]=icc [fuzz_metadata]=meta)

cmake --preset fuzz -B "$BUILD" >/dev/null
nice -n "$NICE" cmake --build "$BUILD" -j "${JOBS:-2}" --target "${TARGETS[@]}"
ARTIFACTS="$BUILD/fuzz-artifacts"
mkdir -p "$ARTIFACTS"
# A small quarantine keeps long runs from growing to gigabytes (and false out-of-memory reports).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=64}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

limits=()
[ -n "$duration" ] && limits+=(-max_total_time="$duration")
[ -n "$RUNS" ] && limits+=(-runs="$RUNS")

# Fuzzes one target and writes its report row to $ARTIFACTS/<target>.row; returns non-zero on a
# finding.
fuzz_target() {
  local target=$1
  local bin="$BUILD/fuzz/$target" corpus="$BUILD/corpus/$target" log="$ARTIFACTS/$target.log"
  mkdir -p "$corpus"
  local dict=()
  [ -f "fuzz/dict/$target.dict" ] && dict=(-dict="fuzz/dict/$target.dict")
  local before start result=ok regressions=()
  before=$(find "$ARTIFACTS" -maxdepth 1 -name "$target-*" -type f | wc -l)
  start=$(date +%s)
  shopt -s nullglob
  regressions=(tests/data/regression/*."${REGRESSION_EXT[$target]:-none}")
  shopt -u nullglob
  if [ ${#regressions[@]} -gt 0 ] && ! nice -n "$NICE" "$bin" -runs=1 "${regressions[@]}" >"$log" 2>&1; then
    result="regression file fails"
  elif ! nice -n "$NICE" "$bin" "${limits[@]}" "${dict[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
      -artifact_prefix="$ARTIFACTS/$target-" -print_final_stats=1 "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    result="finding"
  fi
  local seconds runs last cov ft corp files bytes findings
  seconds=$(($(date +%s) - start))
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)
  cov=$(echo "$last" | grep -o 'cov: [0-9]*' | grep -o '[0-9]*' || echo '?')
  ft=$(echo "$last" | grep -o 'ft: [0-9]*' | grep -o '[0-9]*' || echo '?')
  corp=$(echo "$last" | grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' | cut -d' ' -f2 || echo '?')
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sk "$corpus" | cut -f1)
  findings=$(($(find "$ARTIFACTS" -maxdepth 1 -name "$target-*" -type f | wc -l) - before))
  [ "$result" = ok ] || [ "$findings" -gt 0 ] || findings="$result"
  echo "| $target | $runs | $cov | $ft | $corp | $files files, ${bytes} KB | $findings | $seconds |" >"$ARTIFACTS/$target.row"
  echo "$target: $runs executions, cov $cov, ft $ft, corpus $corp (grown: $files files, ${bytes} KB), findings: $findings ($log)"
  [ "$result" = ok ]
}

# FUZZ_JOBS targets at a time (default 1). Several niced targets share what the machine leaves
# over better than one, and each keeps its own corpus and log.
JOBS_AT_ONCE=${FUZZ_JOBS:-1}
status=0
running=0
for target in "${TARGETS[@]}"; do
  rm -f "$ARTIFACTS/$target.row"
  if [ "$JOBS_AT_ONCE" -le 1 ]; then
    fuzz_target "$target" || status=1
    continue
  fi
  if [ "$running" -ge "$JOBS_AT_ONCE" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  fuzz_target "$target" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done

report="$ARTIFACTS/report.md"
{
  echo "| target | executions | cov | ft | corpus in use | grown corpus | findings | seconds |"
  echo "|---|---|---|---|---|---|---|---|"
  for target in "${TARGETS[@]}"; do cat "$ARTIFACTS/$target.row" 2>/dev/null || echo "| $target | ? | | | | | not run | |"; done
} >"$report"
cat "$report"
exit $status
