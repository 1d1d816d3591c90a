#!/usr/bin/env bash
# install_test.sh BUILD_DIR: installs the build into two fresh prefixes in
# turn, as a user and then an upgrade would, and checks what a desktop and
# a packager check: the desktop entries and AppStream records validate,
# every file is in place, and each installed crawler starts with the build
# folder out of sight (when this machine lets the test hide it), registering
# the engine beside it, the newer over the older.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/fetchwick-install-test.XXXXXX")
# Installing everything by its component name keeps cmake's list of what it
# installed apart from the one a user's own install wrote into the build
# folder, which the uninstall script reads.
component_manifest="$build/install_manifest_Unspecified.txt"
trap 'rm -rf "$work"; rm -f "$component_manifest"' EXIT
mkdir -m 0700 "$work/config" "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen

fail() { echo "install test: $*" >&2; exit 1; }

# starts PREFIX: runs the installed crawler until it has registered the
# engine beside it (down to the entry written last, the type library's
# folder), then ends it. What the crawler printed is shown when it fails.
starts() {
  local prefix=$1 pid registered="" log="$work/fetchwick.log"
  "$prefix/bin/fetchwick" >"$log" 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    if grep -qF "HELPDIR\\%40default=$prefix/bin/" "$XDG_CONFIG_HOME/Tarnwell/Classes.conf" 2>/dev/null; then
      registered=yes
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! kill -0 "$pid" 2>/dev/null; then
    local code=0
    wait "$pid" || code=$?
    fail "the crawler installed in $prefix ended (exit $code) instead of running: $(cat "$log")"
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  [ -n "$registered" ] || fail "the crawler installed in $prefix did not register its engine"
}

for prefix in "$work/old/usr" "$work/new/usr"; do
  cmake --install "$build" --prefix "$prefix" --component Unspecified >/dev/null
  for file in bin/fetchwick bin/queuebay bin/pullwright lib/fetchwick/libPullwrightPS.so \
    share/applications/com.tarnwell.Fetchwick.desktop share/applications/com.tarnwell.Queuebay.desktop \
    share/metainfo/com.tarnwell.Fetchwick.metainfo.xml share/metainfo/com.tarnwell.Queuebay.metainfo.xml \
    share/icons/hicolor/scalable/apps/com.tarnwell.Fetchwick.svg \
    share/icons/hicolor/scalable/apps/com.tarnwell.Queuebay.svg; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
  done
  desktop-file-validate "$prefix"/share/applications/*.desktop || fail "a desktop entry does not validate"
  appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml >/dev/null ||
    fail "an AppStream record does not validate"
  if readelf -d "$prefix/bin/fetchwick" | grep -qF "$build"; then fail "the installed crawler names the build folder"; fi
done

export -f starts fail
if unshare -m --propagation private true 2>/dev/null; then
  # The build folder hidden under an empty one: only the prefix is there.
  unshare -m --propagation private bash -c 'mount -t tmpfs none "$1" && starts "$2" && starts "$3"' _ \
    "$build" "$work/old/usr" "$work/new/usr"
else
  echo "install test: this machine cannot hide the build folder; starting the installed copies beside it" >&2
  starts "$work/old/usr"
  starts "$work/new/usr"
fi
grep -qF "$work/new/usr/bin/pullwright" "$XDG_CONFIG_HOME/Tarnwell/Classes.conf" || fail "the newer install is not the registered engine"
grep -qF "$work/old/usr/bin/pullwright" "$XDG_CONFIG_HOME/Tarnwell/Classes.conf" && fail "the older install is still registered"
echo "install test: passed"
