#!/usr/bin/env bash
# Runs the window tests that take the README's pictures and copies those
# pictures into docs/screenshots.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${FETCHWICK_BUILD_DIR:-$top/build}
"$top/scripts/build.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 0700 "$scratch/config" "$scratch/runtime" "$scratch/pictures"
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen
export FETCHWICK_SCREENSHOTS="$scratch/pictures"
ctest --test-dir "$build" -R 'EnterListsThePage|EndingsLandInTheHistory|OptionsShowsTheSettings' >&2
for picture in crawler-after-crawl manager-downloading crawler-options; do
  cp "$scratch/pictures/$picture.png" "$top/docs/screenshots/$picture.png"
done
echo "pictures copied into $top/docs/screenshots" >&2
