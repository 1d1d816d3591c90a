#!/usr/bin/env bash
# The memory benchmark: the peak resident memory of crawl_harness on hostile
# pages from hostile_server.py on 127.0.0.1, against the bound of six times
# the page limit (64 MiB) plus 150 bytes a listed link:
#   links          a page of 4.55 million links (cut at the page limit, then
#                  at the link limit)
#   endless        a body that never ends, without links
#   endless_links  a body that never ends, a link every 70 bytes
#   deep_endless   a deep crawl ten levels down a chain of endless pages
# For each: RESULT crawl_peak_rss_mb_<name>, crawl_listed_links_<name>,
# crawl_peak_budget_mb_<name> and crawl_peak_vs_budget_<name> (the bound over
# the peak: above 1 is within it). Then crawl_bytes_per_link: what a listed
# link costs, from pages of a million links and of none.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../common.sh
source "$here/../common.sh"
ensure_package python3 time bc curl

build=${FETCHWICK_BUILD_DIR:?set by bench/run}
harness="$build/bench/tools/crawl_harness"
[ -x "$harness" ] || cmake --build "$build" --target crawl_harness >&2

work=$(mktemp -d "${TMPDIR:-/tmp}/fetchwick-bench-memory.XXXXXX")
port=$(free_port)
python3 "$here/hostile_server.py" "$port" --lifetime 900 2>"$work/server.log" &
server_pid=$!
cleanup() { kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done

cap_mb=$(echo "64 * 1048576 / 1000000" | bc -l)

# peak_kb ARGS...: runs the harness once; prints its peak in KB and leaves the
# listed links in $work/links.
peak_kb() {
  /usr/bin/time -f '%M' -o "$work/peak" "$harness" "$@" >"$work/list" 2>"$work/harness.err" || true
  wc -l <"$work/list" >"$work/links"
  grep -v '^crawl_harness:' "$work/harness.err" | tail -n 2 | sed 's/^/memory: /' >&2
  cat "$work/peak"
}

measure() {
  local name=$1 kb links peak budget
  shift
  kb=$(peak_kb "$@")
  links=$(cat "$work/links")
  peak=$(echo "scale=1; $kb * 1024 / 1000000" | bc -l)
  budget=$(echo "scale=1; (6 * $cap_mb + 150 * $links / 1000000) / 1" | bc -l)
  result "crawl_peak_rss_mb_$name" "$peak"
  result "crawl_listed_links_$name" "$links"
  result "crawl_peak_budget_mb_$name" "$budget"
  result "crawl_peak_vs_budget_$name" "$(ratio "$budget" "$peak")"
}

url="http://127.0.0.1:$port"
measure links "$url/links/4550000"
measure endless "$url/endless/text"
measure endless_links "$url/endless/links"
measure deep_endless --deep 10 "$url/endless/chain"

# A page of a million links against an empty one: the difference less the
# page text is what the listed links cost.
empty_kb=$(peak_kb "$url/links/0")
full_kb=$(peak_kb "$url/links/1000000")
page_bytes=$(curl -s "$url/links/1000000" | wc -c)
result crawl_bytes_per_link "$(echo "scale=1; (($full_kb - $empty_kb) * 1024 - $page_bytes) / 1000000" | bc -l)"
