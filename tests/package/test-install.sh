#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a program outside the source tree against
# the installed library twice: through find_package(Quorvane) and through pkg-config. Each build
# reads the shipped sample, flips it and writes a Targa file, which must read back.
# Usage: test-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null

echo "== find_package(Quorvane)"
cmake -S "$source/tests/package/consumer" -B "$work/cmake-build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer" "$source/samples/sample.pcx" "$work/flipped-cmake.tga"

echo "== pkg-config quorvane"
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/$(gcc -dumpmachine)/pkgconfig"
c++ -std=c++20 -O1 "$source/tests/package/consumer/consumer.cpp" -o "$work/consumer-pc" \
  $(pkg-config --cflags --libs quorvane)
"$work/consumer-pc" "$source/samples/sample.pcx" "$work/flipped-pc.tga"

# Both results are the same picture and read back through the installed converter.
cmp "$work/flipped-cmake.tga" "$work/flipped-pc.tga"
"$work/prefix/bin/brindlex-convert" --info "$work/flipped-pc.tga"

# Installed data files are accepted by the desktop validators where they are installed.
shopt -s nullglob
for f in "$work"/prefix/share/applications/*.desktop; do desktop-file-validate "$f"; done
for f in "$work"/prefix/share/metainfo/*.xml; do appstreamcli validate --no-net "$f" >/dev/null; done
echo "install test passed"
