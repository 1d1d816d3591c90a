#!/usr/bin/env bash
# Configures (when needed) and builds the Release build in $FETCHWICK_BUILD_DIR
# (default build/ at the top of the source tree).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${FETCHWICK_BUILD_DIR:-$top/build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
fi
cmake --build "$build" >&2
