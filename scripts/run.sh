#!/usr/bin/env bash
# Installs what is missing, builds the Release build, registers the download
# engine and starts Fetchwick.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
build=${FETCHWICK_BUILD_DIR:-$top/build}
"$build/bin/pullwright" -RegServer
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "Fetchwick is built in $build/bin but there is no display here; run it under one, for example: xvfb-run $build/bin/fetchwick" >&2
  exit 1
fi
exec "$build/bin/fetchwick" "$@"
