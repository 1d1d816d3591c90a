#!/usr/bin/env bash
# Removes what `cmake --install` put in place (the list it wrote into the
# build folder, install_manifest.txt) and, for the user who runs it, the
# registrations of the engine and the two window programs.
#   bash scripts/uninstall.sh [BUILD_DIR]      (default: build/)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${FETCHWICK_BUILD_DIR:-$top/build}}
manifest="$build/install_manifest.txt"
if [ ! -f "$manifest" ]; then
  echo "uninstall: $manifest is missing; nothing was installed from this build" >&2
  exit 1
fi
# The programs remove their own registration while they are still there.
while IFS= read -r file || [ -n "$file" ]; do
  case "$file" in
    */bin/pullwright | */bin/fetchwick | */bin/queuebay)
      [ -x "$file" ] && "$file" -UnregServer || true
      ;;
  esac
done <"$manifest"
while IFS= read -r file || [ -n "$file" ]; do
  if [ -e "$file" ] || [ -L "$file" ]; then
    rm -f "$file"
    echo "removed $file"
  fi
done <"$manifest"
# The private library's folder, once empty.
while IFS= read -r file || [ -n "$file" ]; do
  case "$file" in
    */lib*/fetchwick/libPullwrightPS.so) rmdir "$(dirname "$file")" 2>/dev/null || true ;;
  esac
done <"$manifest"
