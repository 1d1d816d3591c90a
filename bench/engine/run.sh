#!/usr/bin/env bash
# The in-process engine downloading a 1 GiB file from a local nginx with one
# and with two connected sinks, against curl and aria2c (one connection)
# downloading the same file and dd copying it in 4095-byte blocks (one write
# per read, the engine's own chunking, is the ceiling it can approach).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../common.sh
source "$here/../common.sh"
ensure_package nginx curl aria2 bc coreutils

build=${FETCHWICK_BUILD_DIR:?set by bench/run}
tool="$build/bench/engine/engine_bench"
[ -x "$tool" ] || cmake --build "$build" --target engine_bench >&2
rounds=${ENGINE_BENCH_ROUNDS:-3}
size=$((1024 * 1024 * 1024))

work=$(mktemp -d "${TMPDIR:-/tmp}/fetchwick-bench-engine.XXXXXX")
cleanup() { stop_nginx; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/www" "$work/out"
head -c "$size" /dev/urandom >"$work/www/big.bin"
port=$(free_port)
start_nginx "$work" "$port"
url="http://127.0.0.1:$port/big.bin"

# Each run starts with an empty folder, so every run writes a new file.
engine_once() { rm -rf "$work/out"/*; "$tool" "$url" "$work/out" "$1"; }
engine_best() {
  local best="" t
  for _ in $(seq "$rounds"); do
    t=$(engine_once "$1")
    best=$(smaller "$best" "$t")
  done
  echo "$best"
}

engine1=$(engine_best 1)
cmp "$work/www/big.bin" "$work/out/engine_bench.bin" >&2 || { echo "engine wrote a different file" >&2; exit 1; }
engine2=$(engine_best 2)
dd_time=$(best_seconds_emptying "$work/out" "$rounds" dd if="$work/www/big.bin" of="$work/out/dd.bin" bs=4095 status=none)
curl_time=$(best_seconds_emptying "$work/out" "$rounds" curl -s -o "$work/out/curl.bin" "$url")
aria_time=$(best_seconds_emptying "$work/out" "$rounds" aria2c -q -x1 -s1 --allow-overwrite=true --file-allocation=none \
  -d "$work/out" -o aria.bin "$url")

result engine1_mb_s "$(mb_per_s "$size" "$engine1")"
result engine2_mb_s "$(mb_per_s "$size" "$engine2")"
result dd4095_mb_s "$(mb_per_s "$size" "$dd_time")"
result curlfile_mb_s "$(mb_per_s "$size" "$curl_time")"
result aria2_mb_s "$(mb_per_s "$size" "$aria_time")"
result engine1_vs_dd "$(ratio "$dd_time" "$engine1")"
result engine2_vs_dd "$(ratio "$dd_time" "$engine2")"
result engine1_vs_aria2 "$(ratio "$aria_time" "$engine1")"
result engine1_vs_curlfile "$(ratio "$curl_time" "$engine1")"
