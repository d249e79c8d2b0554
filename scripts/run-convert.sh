#!/usr/bin/env bash
# Builds everything and runs the command-line converter on the sample that the project ships:
# the sample goes through a few operations into every registered file format, and the results
# are described with --info. Results land in build/run-output (or $RUN_OUTPUT).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "${JOBS:-$(nproc)}"

convert=./build/release/tools/brindlex-convert
out=${RUN_OUTPUT:-build/run-output}
rm -rf "$out"
mkdir -p "$out"

./build/release/tools/quorvane-info
echo
echo "== Registered formats"
"$convert" --formats

# One output per registered extension, taken from the converter's own format list.
extensions=$("$convert" --formats | grep -v '^All ' | sed -n 's/.*(\*\.\([a-z0-9]*\))$/\1/p')
echo
echo "== samples/sample.pcx: rotate 90, sharpen, brightness +3, Lanczos3 resize to 240 x 320"
for ext in $extensions; do
  "$convert" samples/sample.pcx --rotate 90 --sharpen --brightness 3 --resize 240x320 --filter lanczos3 \
    -o "$out/sample.$ext" "$@"
done
echo "== samples/sample.pcx: gray, dithered to black and white; the pages of the DCX result as numbered PCX files"
"$convert" samples/sample.pcx --gray --convert bw --dither -o "$out/sample-bw.pcx" "$@"
"$convert" --all-pages "$out/sample.dcx" -o "$out/page.pcx" "$@"
echo
echo "== --info of the results in $out"
"$convert" --info "$out"/*
