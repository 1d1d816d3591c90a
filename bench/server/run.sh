#!/usr/bin/env bash
# The engine across processes: a 1 GiB file from a local nginx downloaded by
# the engine with engine_client as the one connected client, then with a
# second client (sink_listener) connected that receives every event too;
# against curl writing the same file, and against the ceiling of a bare
# 600-byte request / 16-byte reply over a Unix socket at 4095 bytes per
# round trip (one status call per read); and against the engine in one
# process with a sink of its own (engine1), downloading the same file in
# the same run. Then the engine's processor use while two clients are
# connected and nothing downloads, and the status call's round trip over
# the shared-memory channel against the socket.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../common.sh
source "$here/../common.sh"

ensure_package nginx curl bc

build=${FETCHWICK_BUILD_DIR:?set by bench/run}
cmake --build "$build" --target pullwright engine_client ceiling_bench sink_listener engine_bench \
  status_channel_bench >&2

# SERVER_BENCH_MIB makes the file smaller for quick trials.
size=$((${SERVER_BENCH_MIB:-1024} * 1024 * 1024))
rounds=${SERVER_BENCH_ROUNDS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/fetchwick-bench-server.XXXXXX")
trap bench_cleanup EXIT

mkdir -p -m 0700 "$work/config" "$work/runtime"
mkdir -p "$work/www" "$work/dl" "$work/in-process"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
"$build/bin/pullwright" -RegServer
truncate -s "$size" "$work/www/big.bin"
# Read once, so that no round pays for nginx's first read of it (filling
# the page cache costs 1.9 s of processor time here), which engine1 never
# does.
cat "$work/www/big.bin" >/dev/null
echo small >"$work/www/small.bin"

port=$(free_port)
start_nginx "$work" "$port"
url="http://127.0.0.1:$port/big.bin"

# The ceiling is measured again before every download round and its best
# window counts, so that a slow or fast spell of this machine touches both
# sides alike.
# Before the two-client rounds the same is done for the bare fan-out to
# two peers (fanout2_mb_s): the most two clients could reach here.
# (Kept in files: the rounds run in subshells.)
"$build/bench/server/ceiling_bench" 2 1 >"$work/ceiling1"
"$build/bench/server/ceiling_bench" 2 2 >"$work/ceiling2"
measure_ceiling() {
  local peers=$1 now best
  now=$("$build/bench/server/ceiling_bench" 1 "$peers")
  best=$(larger "$(cat "$work/ceiling$peers")" "$now")
  echo "$best" >"$work/ceiling$peers"
}

# best_engine_seconds PEERS: the best of the rounds, each after a ceiling
# window with PEERS peers. The last round's file goes before the clock
# starts (deleting 1 GiB takes the system 0.2-0.3 s), so that every round
# writes a new file under the same name, as engine1 does.
best_engine_seconds() {
  local best="" t
  for _ in $(seq "$rounds"); do
    measure_ceiling "$1"
    rm -f "$work/dl/"*
    t=$(seconds_of "$build/bench/tools/engine_client" --dir "$work/dl/" --quiet "$url")
    [ "$(stat -c %s "$work/dl/big.bin")" = "$size" ] || { echo "server bench: short download" >&2; exit 1; }
    best=$(smaller "$best" "$t")
  done
  rm -f "$work/dl/"*
  echo "$best"
}

# The server starts with the first client; a small download first, so the
# measured runs find it running.
"$build/bench/tools/engine_client" --dir "$work/dl/" --quiet "http://127.0.0.1:$port/small.bin" >/dev/null
one=$(best_engine_seconds 1)

start_second_client "$build/bench/server/sink_listener"
two=$(best_engine_seconds 2)
stop_second_client

curl_seconds=$(best_seconds_emptying "$work/dl" "$rounds" curl -s -o "$work/dl/curl.out" "$url")
rm -f "$work/dl/"*

# The engine in this process, one sink: what crossing processes costs.
engine1_seconds=""
for _ in $(seq "$rounds"); do
  rm -f "$work/in-process/"*
  t=$("$build/bench/engine/engine_bench" "$url" "$work/in-process" 1 2>/dev/null)
  engine1_seconds=$(smaller "$engine1_seconds" "$t")
done
rm -f "$work/in-process/"*

# Two clients connected, nothing to download: the engine must sleep.
mkfifo "$work/idle.in"
"$build/bench/server/sink_listener" <"$work/idle.in" >"$work/idle1.out" 2>/dev/null &
idle1=$!
"$build/bench/server/sink_listener" <"$work/idle.in" >"$work/idle2.out" 2>/dev/null &
idle2=$!
exec 8>"$work/idle.in"
for _ in $(seq 200); do
  grep -qx ready "$work/idle1.out" 2>/dev/null && grep -qx ready "$work/idle2.out" 2>/dev/null && break
  sleep 0.05
done
engine_pid=$(engine_pids "$work" | head -n 1)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
idle_seconds=5
before=$(cpu_ticks "$engine_pid")
sleep "$idle_seconds"
after=$(cpu_ticks "$engine_pid")
idle_pct=$(echo "scale=2; ($after - $before) * 100 / $(getconf CLK_TCK) / $idle_seconds" | bc -l)
exec 8>&-
wait "$idle1" "$idle2" 2>/dev/null || true

"$build/bench/server/status_channel_bench" 3 1 9
"$build/bench/server/status_channel_bench" 3 2 9

server1=$(mb_per_s "$size" "$one")
server2=$(mb_per_s "$size" "$two")
engine1=$(mb_per_s "$size" "$engine1_seconds")
ceiling=$(cat "$work/ceiling1")
fanout2=$(cat "$work/ceiling2")
result ceiling_mb_s "$ceiling"
result fanout2_mb_s "$fanout2"
result server1_mb_s "$server1"
result server2_mb_s "$server2"
result server1_vs_ceiling "$(ratio "$server1" "$ceiling")"
result server2_vs_ceiling "$(ratio "$server2" "$ceiling")"
result server2_vs_fanout2 "$(ratio "$server2" "$fanout2")"
result engine1_mb_s "$engine1"
result server1_vs_engine1 "$(ratio "$server1" "$engine1")"
result server2_vs_engine1 "$(ratio "$server2" "$engine1")"
result engine_idle_cpu_pct "$idle_pct"
result server1_vs_curlfile "$(ratio "$curl_seconds" "$one")"
