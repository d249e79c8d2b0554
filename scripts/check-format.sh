#!/usr/bin/env bash
# Checks that every tracked C and C++ file is formatted as .clang-format says, lists the files that
# are not and fails then (`clang-format -i FILE...` formats them). The check expects clang-format 14,
# Debian 12's (scripts/install-deps.sh installs it): other versions lay out some code differently,
# so a file formatted by one can fail the check of another. CLANG_FORMAT names another program.
set -euo pipefail
cd "$(dirname "$0")/.."

WANTED_VERSION=14

tool=${CLANG_FORMAT:-}
if [ -z "$tool" ]; then
  for candidate in "clang-format-$WANTED_VERSION" clang-format; do
    if command -v "$candidate" >/dev/null; then
      tool=$candidate
      break
    fi
  done
fi
if [ -z "$tool" ] || ! command -v "$tool" >/dev/null; then
  echo "FAIL: clang-format $WANTED_VERSION is not installed (scripts/install-deps.sh installs it)"
  exit 1
fi
version=$("$tool" --version | sed -n 's/.*version \([0-9]*\).*/\1/p')
if [ "$version" != "$WANTED_VERSION" ]; then
  echo "FAIL: $tool is version ${version:-unknown}; the files are formatted with clang-format $WANTED_VERSION"
  exit 1
fi

patterns=('*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z -- "${patterns[@]}")
else
  # An exported tree without git: the source folders.
  mapfile -d '' files < <(find app bench fuzz imaging tests tools -type f \
    \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) -print0)
fi

# clang-format reports each place as "FILE:LINE:COLUMN: error: code should be clang-formatted".
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\0' "${files[@]}" | xargs -0 -n 40 -P "$(nproc)" "$tool" --dry-run -Werror >"$log" 2>&1 || status=$?
unformatted=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' "$log" | sort -u)

if [ -n "$unformatted" ]; then
  echo "FAIL: these files are not formatted (clang-format -i FILE...):"
  echo "$unformatted" | sed 's/^/  /'
  exit 1
fi
if [ $status -ne 0 ]; then
  cat "$log"
  echo "FAIL: clang-format could not check the files"
  exit 1
fi
echo "format check passed: ${#files[@]} files"
