#!/usr/bin/env bash
# The window benchmarks, with settings, history and the engine in folders of
# the run's own.
#
# The crawler's real window (offscreen) deep-crawls a generated local site
# whose pages list 100,000 distinct links, and crawl_harness crawls the same
# site in the same run: rows shown per second, the interface thread's
# longest pause, and the window's crawl speed against the harness's.
#
# The download manager's real window, connected to the real engine, shows
# 10,000 records queued (a slow location keeps them waiting) while a 1 GiB
# file downloads from the local nginx: its longest pause, the most events
# that ever waited for it, and a full reload of the 10,000 rows; and how
# long its history pane takes to read and show 1,000 endings. Then the
# engine's speed on the same file with the window as the second connected
# client, against the bare listener of the server benchmark in its place.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../common.sh
source "$here/../common.sh"
ensure_package nginx bc python3

build=${FETCHWICK_BUILD_DIR:?set by bench/run}
cmake --build "$build" --target crawler_gui_bench crawl_harness manager_gui_bench pullwright engine_client \
  sink_listener engine_bench >&2
rounds=${GUI_BENCH_ROUNDS:-3}
pages=${GUI_BENCH_PAGES:-5000}
files_per_page=${GUI_BENCH_FILES_PER_PAGE:-19}

records=${GUI_BENCH_RECORDS:-10000}
size=$((${GUI_BENCH_MIB:-1024} * 1024 * 1024))

work=$(mktemp -d "${TMPDIR:-/tmp}/fetchwick-bench-gui.XXXXXX")
trap bench_cleanup EXIT
python3 "$here/make_wide_site.py" "$work/www" "$pages" "$files_per_page" >&2
mkdir -p "$work/www/slow" "$work/dl"
truncate -s "$size" "$work/www/big.bin"
truncate -s 1048576 "$work/www/slow/wait.bin"
port=$(free_port)
start_nginx "$work" "$port" "location /slow/ { limit_rate 64; }"
url="http://127.0.0.1:$port/index.html"
mkdir -m 0700 -p "$work/config" "$work/runtime" "$work/data"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=offscreen

best_rows="" worst_stall="" best_gui_pages="" worst_filter=""
for _ in $(seq "$rounds"); do
  "$build/bench/gui/crawler_gui_bench" "$url" 2 >"$work/gui.out"
  rows=$(sed -n 's/^RESULT crawler_rows_s //p' "$work/gui.out")
  stall=$(sed -n 's/^RESULT crawler_max_stall_ms //p' "$work/gui.out")
  gui_pages=$(sed -n 's/^RESULT gui_crawl_pages_s //p' "$work/gui.out")
  filter=$(sed -n 's/^RESULT crawler_filter_ms //p' "$work/gui.out")
  worst_filter=$(larger "$worst_filter" "$filter")
  best_rows=$(larger "$best_rows" "$rows")
  worst_stall=$(larger "$worst_stall" "$stall")
  best_gui_pages=$(larger "$best_gui_pages" "$gui_pages")
done

best_harness=""
for _ in $(seq "$rounds"); do
  "$build/bench/tools/crawl_harness" --deep 2 "$url" >"$work/list.txt" 2>"$work/harness.err"
  read -r fetched seconds < <(sed -n 's/^crawl_harness: \([0-9]*\) pages fetched in \([0-9.]*\) s/\1 \2/p' \
    "$work/harness.err")
  rate=$(echo "scale=1; $fetched / $seconds" | bc -l)
  echo "gui: crawl_harness fetched $fetched pages in $seconds s ($rate pages/s), $(wc -l <"$work/list.txt") links" >&2
  best_harness=$(larger "$best_harness" "$rate")
done

# The download manager, in rounds like engine1 below, each with an engine,
# a queue and a history of its own. One worker: the big file runs, the
# records wait. The file is read once before, so that no round pays for
# nginx's first read of it (filling the page cache), which engine1 never
# does.
"$build/bin/pullwright" -RegServer
big="http://127.0.0.1:$port/big.bin"
cat "$work/www/big.bin" >/dev/null
best_load="" worst_manager_stall="" worst_backlog="" best_reload=""
for round in $(seq "$rounds"); do
  "$build/bench/gui/manager_gui_bench" load "$big" "http://127.0.0.1:$port/slow/wait.bin" "$records" "$work/dl/" \
    >"$work/manager.out"
  stop_engines "$work"
  rm -f "$work/dl/"*
  rm -rf "$work/data/fetchwick"
  load=$(sed -n 's/^RESULT manager_load_mb_s //p' "$work/manager.out")
  stall=$(sed -n 's/^RESULT manager_max_stall_ms //p' "$work/manager.out")
  backlog=$(sed -n 's/^RESULT manager_backlog_max //p' "$work/manager.out")
  reload=$(sed -n 's/^RESULT manager_reload_ms //p' "$work/manager.out")
  echo "gui: manager round $round: $load MB/s, longest pause $stall ms, $backlog waiting, reload $reload ms" >&2
  best_load=$(larger "$best_load" "$load")
  worst_manager_stall=$(larger "$worst_manager_stall" "$stall")
  worst_backlog=$(larger "$worst_backlog" "$backlog")
  best_reload=$(smaller "$best_reload" "$reload")
done
result manager_max_stall_ms "$worst_manager_stall"
result manager_backlog_max "$worst_backlog"
result manager_reload_ms "$best_reload"
result manager_load_mb_s "$best_load"

# The same file by the engine in this process with one sink: how much of
# it the window's own download (manager_load_mb_s) keeps.
engine1_seconds=""
mkdir -p "$work/in-process"
for _ in $(seq "$rounds"); do
  rm -f "$work/in-process/"*
  t=$("$build/bench/engine/engine_bench" "$big" "$work/in-process" 1 2>/dev/null)
  engine1_seconds=$(smaller "$engine1_seconds" "$t")
done
rm -rf "$work/in-process"
result manager_load_vs_engine1 "$(ratio "$best_load" "$(mb_per_s "$size" "$engine1_seconds")")"

# The history pane with a full history of 1,000 endings.
"$build/bench/gui/manager_gui_bench" history 1000
rm -rf "$work/data/fetchwick"

# engine_seconds SECOND_CLIENT...: the best time of the rounds for the big
# file with SECOND_CLIENT connected beside engine_client.
engine_seconds() {
  local best="" t
  start_second_client "$@" || exit 1
  for _ in $(seq "$rounds"); do
    rm -f "$work/dl/"*
    t=$(seconds_of "$build/bench/tools/engine_client" --dir "$work/dl/" --quiet "$big")
    [ "$(stat -c %s "$work/dl/big.bin")" = "$size" ] || { echo "gui bench: short download" >&2; exit 1; }
    best=$(smaller "$best" "$t")
  done
  stop_second_client
  rm -f "$work/dl/"*
  echo "$best"
}
with_manager=$(engine_seconds "$build/bench/gui/manager_gui_bench" listen)
with_listener=$(engine_seconds "$build/bench/server/sink_listener")
echo "gui: the big file took $with_manager s beside the window, $with_listener s beside the listener" >&2

result crawler_rows_s "$best_rows"
result crawler_max_stall_ms "$worst_stall"
result crawler_filter_ms "$worst_filter"
result gui_crawl_pages_s "$best_gui_pages"
result harness_crawl_pages_s "$best_harness"
result gui_crawl_vs_harness "$(ratio "$best_gui_pages" "$best_harness")"
result manager_vs_listener "$(ratio "$with_listener" "$with_manager")"
