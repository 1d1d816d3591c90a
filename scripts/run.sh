#!/usr/bin/env bash
# Installs what is missing, builds the Release build, registers the download
# engine and starts Fetchwick.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
build=${FETCHWICK_BUILD_DIR:-$top/build}
if [ -x "$build/bin/pullwright" ]; then
  "$build/bin/pullwright" -RegServer
fi
if [ -x "$build/bin/fetchwick" ]; then
  exec "$build/bin/fetchwick"
fi
echo "Fetchwick's windows are not built yet: the build is in $build." >&2
