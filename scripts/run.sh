#!/usr/bin/env bash
# Builds the programs and runs them: for now the library's information program, which prints
# the library version and the registered file formats.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "${JOBS:-$(nproc)}"
./build/release/tools/quorvane-info "$@"
