#!/usr/bin/env bash
# HTTP client throughput: a 1 GiB body from a local nginx read in 4095-byte
# reads, once discarded and once written read by read to a file, against
# curl doing the same and dd copying the file in 4095-byte blocks (the cost
# of one write per 4095 bytes, the ceiling for that chunking).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../common.sh
source "$here/../common.sh"

ensure_package nginx curl bc

build=${FETCHWICK_BUILD_DIR:?set by bench/run}
tool="$build/bench/http/http_read_bench"
[ -x "$tool" ] || cmake --build "$build" --target http_read_bench >&2

size=$((1024 * 1024 * 1024))
rounds=${HTTP_BENCH_ROUNDS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/fetchwick-bench-http.XXXXXX")
cleanup() {
  stop_nginx
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www"
head -c "$size" /dev/zero >"$work/www/big.bin"
port=$(free_port)
start_nginx "$work" "$port"
url="http://127.0.0.1:$port/big.bin"

# Each round runs every contender once, so drifting load on the machine
# falls on all of them alike; a contender's figure is its best round. Every
# run starts with no output file and no dirty pages left by the one before.
declare -A best=()
timed() {
  local name=$1 t
  shift
  rm -f "$work/out"
  sync
  t=$(seconds_of "$@")
  best[$name]=$(smaller "${best[$name]:-}" "$t")
}

cat "$work/www/big.bin" >/dev/null  # into the page cache for every contender alike
for _ in $(seq "$rounds"); do
  timed curl_discard curl -s -o /dev/null "$url"
  timed ours_discard "$tool" "$url"
  timed curl_file curl -s -o "$work/out" "$url"
  timed ours_file "$tool" "$url" "$work/out"
  timed dd_file dd if="$work/www/big.bin" of="$work/out" bs=4095 status=none
done
rm -f "$work/out"
curl_discard=${best[curl_discard]}
ours_discard=${best[ours_discard]}
curl_file=${best[curl_file]}
ours_file=${best[ours_file]}
dd_file=${best[dd_file]}
echo "seconds: curl discard $curl_discard, ours discard $ours_discard, curl file $curl_file, ours file $ours_file, dd $dd_file" >&2

result http_discard_mb_s "$(mb_per_s "$size" "$ours_discard")"
result http_discard_vs_curl "$(ratio "$curl_discard" "$ours_discard")"
result http_file_mb_s "$(mb_per_s "$size" "$ours_file")"
result http_file_vs_dd "$(ratio "$dd_file" "$ours_file")"
result http_file_vs_curlfile "$(ratio "$curl_file" "$ours_file")"
