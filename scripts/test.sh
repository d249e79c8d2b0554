#!/usr/bin/env bash
# Builds and runs every test: the formatting check, the optimised suite, the Debian package check,
# the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer, and a short seeded
# fuzz run of every reader when clang is present. Prints the time of each phase as it ends and a
# table of all of them at the end, with the processor time the phase's programs used (user +
# system: the robust figure on a shared machine, where the wall time depends on the neighbours).
# JOBS (default: the number of processors) sets the parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS=${JOBS:-$(nproc)}

PHASE_NAMES=()
PHASE_TIMES=()
PHASE_CPU=()

# Bash's own clock in tenths of a second (EPOCHREALTIME is seconds.microseconds).
now() { local t=${EPOCHREALTIME/[.,]/}; echo $((t / 100000)); }
mmss() { printf '%d:%02d.%d' $(($1 / 600)) $(($1 / 10 % 60)) $(($1 % 10)); }
# Processor time (user + system) of this shell's finished children, in tenths of a second: fields
# 16 and 17 of /proc/<pid>/stat, in clock ticks (read by the shell itself, not by a child).
TICKS=$(getconf CLK_TCK)
children_cpu() {
  local stat
  read -r -a stat </proc/$$/stat
  echo $(((stat[15] + stat[16]) * 10 / TICKS))
}
RUN_START=$(now)
RUN_CPU_START=$(children_cpu)

# phase NAME COMMAND...: runs the command and records how long it took. A failing command ends the
# script (set -e); the summary then names the phase it failed in.
CURRENT_PHASE=""
CURRENT_START=0
CURRENT_CPU_START=0
phase() {
  CURRENT_PHASE=$1
  shift
  echo "== $CURRENT_PHASE"
  CURRENT_START=$(now)
  CURRENT_CPU_START=$(children_cpu)
  "$@"
  PHASE_NAMES+=("$CURRENT_PHASE")
  PHASE_TIMES+=($(($(now) - CURRENT_START)))
  PHASE_CPU+=($(($(children_cpu) - CURRENT_CPU_START)))
  echo "-- $CURRENT_PHASE: $(mmss "${PHASE_TIMES[-1]}") (processor $(mmss "${PHASE_CPU[-1]}"))"
  CURRENT_PHASE=""
}

summary() {
  local status=$?
  if [ -n "$CURRENT_PHASE" ]; then
    PHASE_NAMES+=("$CURRENT_PHASE (FAILED)")
    PHASE_TIMES+=($(($(now) - CURRENT_START)))
    PHASE_CPU+=($(($(children_cpu) - CURRENT_CPU_START)))
  fi
  echo
  echo "Phase times (load average at the end:$(uptime | sed 's/.*load average://'))"
  printf '  %-34s %8s %10s\n' "" "wall" "processor"
  local i
  for i in "${!PHASE_NAMES[@]}"; do
    printf '  %-34s %8s %10s\n' "${PHASE_NAMES[$i]}" "$(mmss "${PHASE_TIMES[$i]}")" "$(mmss "${PHASE_CPU[$i]}")"
  done
  printf '  %-34s %8s %10s\n' "total" "$(mmss $(($(now) - RUN_START)))" "$(mmss $(($(children_cpu) - RUN_CPU_START)))"
  if [ $status -ne 0 ]; then echo "FAILED${CURRENT_PHASE:+ in: $CURRENT_PHASE}"; fi
}
trap summary EXIT

phase "install dependencies" ./scripts/install-deps.sh
phase "format check" ./scripts/check-format.sh

# The optimised tree of the test command leaves the benchmarks out (preset ci, build/ci).
release_build() {
  cmake --preset ci
  cmake --build --preset ci -j "$JOBS"
}
phase "release configure + build" release_build
# Every test has a time limit (its own, or TEST_TIMEOUT seconds), and each test phase one of its own,
# so that a test that hangs fails the run with its name instead of stalling it. A test that timed
# out runs once more: SANE's test backend, which the scanning tests use, now and then deadlocks
# at the end of a frame (tests/CMakeLists.txt); a test that hangs twice still fails.
TEST_TIMEOUT=${TEST_TIMEOUT:-300}
PHASE_TIMEOUT=${PHASE_TIMEOUT:-1500}
run_tests() {
  local status=0
  timeout -k 30 "$PHASE_TIMEOUT" ctest --preset "$1" -j "$JOBS" --timeout "$TEST_TIMEOUT" \
    --repeat after-timeout:2 || status=$?
  slowest_tests "build/$1" || true
  return $status
}
# slowest_tests BUILD-DIR: the ten longest tests of the last run, so that a slow machine shows
# where its time went.
slowest_tests() {
  local log=$1/Testing/Temporary/LastTest.log
  [ -f "$log" ] || return 0
  echo "Slowest tests:"
  # Every stage reads its whole input (no head): under pipefail an early exit would fail the run.
  awk '/^[0-9]+\/[0-9]+ Testing: /{name=$3} /^Test time =/{print $4, name}' "$log" | sort -rn |
    awk 'NR <= 10 {printf "  %8s s  %s\n", $1, $2}'
}
phase "release tests" run_tests ci

phase "package check" env PRESET=ci JOBS="$JOBS" ./scripts/package.sh

sanitizer_build() {
  cmake --preset asan
  cmake --build --preset asan -j "$JOBS"
}
phase "sanitizer configure + build" sanitizer_build
phase "sanitizer tests" run_tests asan

if command -v clang++ >/dev/null && [ -x scripts/fuzz-short.sh ]; then
  # 10 s per reader keeps the whole run short; scripts/fuzz-short.sh alone runs 20 s each. It
  # builds only the fuzz targets and the core they link.
  phase "fuzz build + short run" env FUZZ_SECONDS="${FUZZ_SECONDS:-10}" JOBS="$JOBS" ./scripts/fuzz-short.sh
fi
