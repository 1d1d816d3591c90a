#!/usr/bin/env bash
# The crawl benchmark: a deep crawl to depth 5 by crawl_harness and
# "wget -r -l 5 --spider" over the same generated static site (2,000 pages
# of about 10 KB, each linking 20 pages and 10 files), served by a local
# nginx of its own. Prints the harness's pages per second and the ratio to
# wget's pages per second, each side taking its own count of the pages it
# fetched and the wall time of its whole run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../common.sh
source "$here/../common.sh"
ensure_package nginx wget bc python3

build=${FETCHWICK_BUILD_DIR:?set by bench/run}
harness="$build/bench/tools/crawl_harness"
[ -x "$harness" ] || cmake --build "$build" --target crawl_harness >&2
rounds=${CRAWL_BENCH_ROUNDS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/fetchwick-bench-crawl.XXXXXX")
cleanup() { stop_nginx; rm -rf "$work"; }
trap cleanup EXIT
python3 "$here/make_site.py" "$work/www" 2000 >&2
port=$(free_port)
start_nginx "$work" "$port"
url="http://127.0.0.1:$port/index.html"

# best_rate NAME COMMAND...: runs COMMAND $rounds times and prints the best
# pages per second; COMMAND leaves its page count in $work/pages.
best_rate() {
  local name=$1 best="" start end seconds pages rate
  shift
  for _ in $(seq "$rounds"); do
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    seconds=$(echo "$end - $start" | bc -l)
    pages=$(cat "$work/pages")
    rate=$(echo "scale=1; $pages / $seconds" | bc -l)
    echo "crawl: $name fetched $pages pages in $seconds s ($rate pages/s)" >&2
    best=$(larger "$best" "$rate")
  done
  echo "$best"
}

harness_once() {
  "$harness" --deep 5 "$url" >"$work/list.txt" 2>"$work/harness.err"
  sed -n 's/^crawl_harness: \([0-9]*\) pages fetched.*/\1/p' "$work/harness.err" >"$work/pages"
}

wget_once() {
  rm -rf "$work/wget"
  mkdir -p "$work/wget"
  # wget ends with 8 when any answer was an error (robots.txt is missing).
  (cd "$work/wget" && wget -r -l 5 --spider -nv -o "$work/wget.log" "$url") || true
  grep -oE 'URL: ?http://[^ ]+\.html' "$work/wget.log" | sed 's/URL: *//' | sort -u | wc -l >"$work/pages"
}

harness_rate=$(best_rate crawl_harness harness_once)
echo "crawl: the harness listed $(wc -l <"$work/list.txt") links" >&2
wget_rate=$(best_rate wget wget_once)

result crawl_pages_s "$harness_rate"
result wget_pages_s "$wget_rate"
result crawl_vs_wget "$(ratio "$harness_rate" "$wget_rate")"
