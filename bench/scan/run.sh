#!/usr/bin/env bash
# The scan benchmark: the page crawl's scan ("HREF" then "SRC", every value
# through AddLink) over a generated 50 MB page, against grep and Python's
# html.parser on the same file, and 100,000 distinct links through AddLink.
#
# scan_vs_grep compares the scan of the page in memory, as a page crawl runs
# it, with the whole grep run over the cached file; the whole scan_bench run,
# reading the file included, is shown on stderr as well.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../common.sh
. "$here/../common.sh"
ensure_package bc grep python3

bench="$FETCHWICK_BUILD_DIR/bench/scan/scan_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="$work/page.html"
"$bench" generate "$page" 50000000 >&2
megabytes=$(echo "scale=6; $(stat -c %s "$page") / 1000000" | bc -l)
cat "$page" >/dev/null  # every run starts from the cached file

# seconds_into FILE COMMAND...: wall time of a command writing its output to
# FILE. Not /dev/null: GNU grep stops at the first match when it writes there.
seconds_into() {
  local out=$1 start end
  shift
  start=$(date +%s.%N)
  "$@" >"$out"
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# best_of N COMMAND...: the shortest of N wall times.
best_of() {
  local rounds=$1 best="" seconds
  shift
  for _ in $(seq "$rounds"); do
    seconds=$(seconds_into "$work/out" "$@")
    best=$(smaller "$best" "$seconds")
  done
  echo "$best"
}

scan_line=$("$bench" scan "$page" 5)
echo "$scan_line"
scan_mb_s=${scan_line##* }
scan_seconds=$(echo "scale=6; $megabytes / $scan_mb_s" | bc -l)

grep_seconds=$(best_of 3 env LC_ALL=C grep -oiE '(href|src)=[^ >]+' "$page")
echo "scan: grep found $(wc -l <"$work/out") matches in $grep_seconds s" >&2
process_seconds=$(best_of 3 "$bench" scan-once "$page")
echo "scan: whole scan_bench run, reading the file included: $process_seconds s" \
  "(x$(ratio "$grep_seconds" "$process_seconds") against grep)" >&2

python_seconds=$(seconds_into "$work/out" python3 "$here/htmlparser_links.py" "$page")
echo "scan: html.parser found $(cat "$work/out") links in $python_seconds s" >&2

result scan_vs_grep "$(ratio "$grep_seconds" "$scan_seconds")"
result scan_vs_htmlparser "$(ratio "$python_seconds" "$scan_seconds")"
"$bench" add 100000 3
