#!/usr/bin/env bash
# Makes the Debian package from the optimised build, checks it with lintian (errors fail), then
# installs it on this machine with its dependencies, runs the installed programs and removes it
# again, checking that nothing of it is left. scripts/test.sh runs it on its own tree.
# PACKAGE_INSTALL=0 skips the install and removal (for machines where that is not wanted);
# PRESET (default release) names the configure preset whose tree makes the package.
set -euo pipefail
cd "$(dirname "$0")/.."

PRESET=${PRESET:-release}
BUILD=${BUILD_DIR:-build/$PRESET}
./scripts/install-deps.sh
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" -j "${JOBS:-$(nproc)}"
(cd "$BUILD" && rm -f brindlex_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$BUILD"/brindlex_*.deb)
echo "== $deb"

echo "== lintian"
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$BUILD/lintian.log" || true
if grep -q '^E:' "$BUILD/lintian.log"; then
  echo "FAIL: lintian reports errors"
  exit 1
fi

if [ "${PACKAGE_INSTALL:-1}" = 1 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "== install, use and remove"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$deb")" >/dev/null
  /usr/bin/brindlex-convert --formats >/dev/null
  for program in brindlex brindlex-scan; do
    if dpkg -L brindlex | grep -q "/usr/bin/$program\$"; then QT_QPA_PLATFORM=offscreen "/usr/bin/$program" --version; fi
  done
  files=$(dpkg -L brindlex | grep -v '^/usr$\|^/usr/[a-z]*$')
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq brindlex >/dev/null
  left=0
  for f in $files; do
    if [ -f "$f" ]; then echo "left behind: $f"; left=1; fi
  done
  [ $left = 0 ] || { echo "FAIL: files left after removal"; exit 1; }
fi
echo "package check passed"
