#!/usr/bin/env bash
# The window benchmark. The crawler's real window (offscreen) deep-crawls a
# generated local site whose pages list 100,000 distinct links, and
# crawl_harness crawls the same site in the same run: rows shown per second,
# the interface thread's longest pause, and the window's crawl speed against
# the harness's. Settings and history go to a folder of the run's own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../common.sh
source "$here/../common.sh"
ensure_package nginx bc python3

build=${FETCHWICK_BUILD_DIR:?set by bench/run}
cmake --build "$build" --target crawler_gui_bench crawl_harness >&2
rounds=${GUI_BENCH_ROUNDS:-3}
pages=${GUI_BENCH_PAGES:-5000}
files_per_page=${GUI_BENCH_FILES_PER_PAGE:-19}

work=$(mktemp -d "${TMPDIR:-/tmp}/fetchwick-bench-gui.XXXXXX")
cleanup() { stop_nginx; rm -rf "$work"; }
trap cleanup EXIT
python3 "$here/make_wide_site.py" "$work/www" "$pages" "$files_per_page" >&2
port=$(free_port)
start_nginx "$work" "$port"
url="http://127.0.0.1:$port/index.html"
mkdir -m 0700 -p "$work/config" "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen

best_rows="" worst_stall="" best_gui_pages=""
for _ in $(seq "$rounds"); do
  "$build/bench/gui/crawler_gui_bench" "$url" 2 >"$work/gui.out"
  rows=$(sed -n 's/^RESULT crawler_rows_s //p' "$work/gui.out")
  stall=$(sed -n 's/^RESULT crawler_max_stall_ms //p' "$work/gui.out")
  gui_pages=$(sed -n 's/^RESULT gui_crawl_pages_s //p' "$work/gui.out")
  if [ -z "$best_rows" ] || [ "$(echo "$rows > $best_rows" | bc -l)" = 1 ]; then best_rows=$rows; fi
  if [ -z "$worst_stall" ] || [ "$(echo "$stall > $worst_stall" | bc -l)" = 1 ]; then worst_stall=$stall; fi
  if [ -z "$best_gui_pages" ] || [ "$(echo "$gui_pages > $best_gui_pages" | bc -l)" = 1 ]; then
    best_gui_pages=$gui_pages
  fi
done

best_harness=""
for _ in $(seq "$rounds"); do
  "$build/bench/tools/crawl_harness" --deep 2 "$url" >"$work/list.txt" 2>"$work/harness.err"
  read -r fetched seconds < <(sed -n 's/^crawl_harness: \([0-9]*\) pages fetched in \([0-9.]*\) s/\1 \2/p' \
    "$work/harness.err")
  rate=$(echo "scale=1; $fetched / $seconds" | bc -l)
  echo "gui: crawl_harness fetched $fetched pages in $seconds s ($rate pages/s), $(wc -l <"$work/list.txt") links" >&2
  if [ -z "$best_harness" ] || [ "$(echo "$rate > $best_harness" | bc -l)" = 1 ]; then best_harness=$rate; fi
done

result crawler_rows_s "$best_rows"
result crawler_max_stall_ms "$worst_stall"
result gui_crawl_pages_s "$best_gui_pages"
result harness_crawl_pages_s "$best_harness"
result gui_crawl_vs_harness "$(ratio "$best_gui_pages" "$best_harness")"
