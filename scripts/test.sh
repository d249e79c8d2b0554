#!/usr/bin/env bash
# Builds and runs every test: the optimised suite, the Debian package check, the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer, and a short seeded fuzz run of every reader when clang is present.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
JOBS=${JOBS:-$(nproc)}

echo "== Release build and tests"
cmake --preset release
cmake --build --preset release -j "$JOBS"
ctest --preset release -j "$JOBS"

echo "== Debian package: lintian, install and removal"
./scripts/package.sh

echo "== Sanitizer build and tests"
cmake --preset asan
cmake --build --preset asan -j "$JOBS"
ctest --preset asan -j "$JOBS"

if command -v clang++ >/dev/null && [ -x scripts/fuzz-short.sh ]; then
  echo "== Short fuzz run"
  # 10 s per reader keeps the whole run short; scripts/fuzz-short.sh alone runs 20 s each.
  FUZZ_SECONDS=${FUZZ_SECONDS:-10} ./scripts/fuzz-short.sh
fi
