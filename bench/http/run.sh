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
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A port nothing listens on.
while :; do
  port=$((20000 + RANDOM % 30000))
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
done

mkdir -p "$work/www" "$work/temp"
head -c "$size" /dev/zero >"$work/www/big.bin"
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $work/temp/body;
  proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi;
  uwsgi_temp_path $work/temp/uwsgi;
  scgi_temp_path $work/temp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
url="http://127.0.0.1:$port/big.bin"
for _ in $(seq 50); do
  curl -s -o /dev/null -r 0-0 "$url" && break
  sleep 0.1
done

# best_of COMMAND...: the shortest wall time of $rounds runs; an output file
# named last is removed before each run so every run writes a new file.
best_of() {
  local best="" t
  for _ in $(seq "$rounds"); do
    rm -f "$work/out"
    t=$(seconds_of "$@")
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  rm -f "$work/out"
  echo "$best"
}

cat "$work/www/big.bin" >/dev/null  # into the page cache for every contender alike
curl_discard=$(best_of curl -s -o /dev/null "$url")
ours_discard=$(best_of "$tool" "$url")
curl_file=$(best_of curl -s -o "$work/out" "$url")
ours_file=$(best_of "$tool" "$url" "$work/out")
dd_file=$(best_of dd if="$work/www/big.bin" of="$work/out" bs=4095 status=none)
echo "seconds: curl discard $curl_discard, ours discard $ours_discard, curl file $curl_file, ours file $ours_file, dd $dd_file" >&2

mb=$(echo "$size / 1048576" | bc -l)
result http_discard_mb_s "$(echo "scale=1; $mb / $ours_discard" | bc -l)"
result http_discard_vs_curl "$(ratio "$curl_discard" "$ours_discard")"
result http_file_mb_s "$(echo "scale=1; $mb / $ours_file" | bc -l)"
result http_file_vs_dd "$(ratio "$dd_file" "$ours_file")"
result http_file_vs_curlfile "$(ratio "$curl_file" "$ours_file")"
