#!/usr/bin/env bash
# Crawl benchmark: times `crawlmere --headless` (12 fetches in flight, no delay) over generated
# static sites of 10,000, 30,000 and 100,000 pages served by nginx on 127.0.0.1, and
# `wget --spider -r` over the same sites in the same run as the baseline; reports pages per
# second, peak RSS, and the peak RSS above that of a one-page scan spread over the URLs found
# and over the link occurrences of the site (bytes per URL, bytes per occurrence; each figure
# counts all of the scan's memory, so they are two views of one cost, not parts of it).
# Before a figure is printed, the run's CSV must hold every URL the generator linked.
#
#   bash bench/crawl_bench.sh                 # all three sizes
#   BENCH_SIZES="10000" bash bench/crawl_bench.sh
#   BENCH_SIZES="200" BENCH_SET="runJS=YES" bash bench/crawl_bench.sh   # pages rendered
#   BENCH_SIZES="10000" BENCH_WINDOW=1 bash bench/crawl_bench.sh  # the main window under xvfb-run:
#       how late a 50 ms timer runs during the scan (window_scan_bench; -DCRAWLMERE_BENCH=ON);
#       BENCH_WINDOW_TAB picks the result view shown (1 by link, the default; 2 by page;
#       3 by status; 4 flat view)
#
# CRAWLMERE names the program (default build/release/crawlmere, as scripts/run builds it);
# BENCH_DIR the work folder (default build/crawl-bench); BENCH_PORT the port (default 18089);
# BENCH_NGINX_WORKERS nginx's worker processes (default 4).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
sizes="${BENCH_SIZES:-10000 30000 100000}"
work="${BENCH_DIR:-$root/build/crawl-bench}"
port="${BENCH_PORT:-18089}"
threads="${BENCH_THREADS:-12}"
# Further crawl settings, "key=value" words, each passed with --set.
extra_settings=()
for setting in ${BENCH_SET:-}; do
    extra_settings+=(--set "$setting")
done
workers="${BENCH_NGINX_WORKERS:-4}"
# The window's bench program, built apart from the program (-DCRAWLMERE_BENCH=ON).
window_bench="${WINDOW_BENCH:-$(dirname "$crawlmere")/bench/window_scan_bench}"
if [ -n "${BENCH_WINDOW:-}" ] && [ ! -x "$window_bench" ]; then
    echo "crawl_bench: the bench program $window_bench is missing (configure with -DCRAWLMERE_BENCH=ON and build window_scan_bench, or set WINDOW_BENCH)" >&2
    exit 1
fi

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools crawl_bench nginx wget /usr/bin/time python3
require_program crawl_bench "$crawlmere"
mkdir -p "$work"

# Scans the site of $1 pages into folder $2 with /usr/bin/time; exits on failure.
scan() {
    local n="$1" run="$2"
    mkdir -p "$run"
    /usr/bin/time -v -o "$run/crawlmere.time" "$crawlmere" --headless "http://127.0.0.1:$port/" \
        --set "numberOfThreads=$threads" --set delay=0 "${extra_settings[@]}" --csv "$run/scan.csv" \
        >"$run/crawlmere.out" 2>"$run/crawlmere.err" || {
        echo "crawl_bench: crawlmere failed on $n pages (see $run/crawlmere.err)" >&2
        exit 1
    }
}

# Scans the site being served in the main window under xvfb-run, printing how late a 50 ms
# timer ran; answers non-zero when a tick was over 100 ms late or the bench failed.
scan_in_window() {
    local run="$1" home status=0
    mkdir -p "$run"
    home="$(mktemp -d)"
    CRAWLMERE_HOME="$home" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
        "$window_bench" "http://127.0.0.1:$port/" "$threads" 0 "${BENCH_WINDOW_TAB:-1}" 2>"$run/window.err" \
        || status=$?
    rm -rf "$home"
    return "$status"
}

# Every URL the generator listed for site $1 is a row of CSV $2 (the first column holding
# absolute URLs); prints what is missing and exits otherwise.
check_csv() {
    python3 - "$1/urls.txt" "$2" "http://127.0.0.1:$port" <<'PY' || exit 1
import csv, sys
listed = [line.strip() for line in open(sys.argv[1], encoding="utf-8") if line.strip()]
base = sys.argv[3]
with open(sys.argv[2], encoding="utf-8-sig", newline="") as f:
    rows = list(csv.reader(f))
column = next((i for i, v in enumerate(rows[1]) if v.startswith(base)), None) if len(rows) > 1 else None
found = set()
if column is not None:
    for row in rows[1:]:
        if len(row) > column and row[column].startswith(base):
            found.add(row[column][len(base):] or "/")
missing = [path for path in listed if path not in found]
if missing:
    print(f"crawl_bench: {len(missing)} of {len(listed)} URLs missing from {sys.argv[2]}, "
          f"for example {', '.join(missing[:5])}", file=sys.stderr)
    sys.exit(1)
PY
}

results="$work/results.txt"

if [ -n "${BENCH_WINDOW:-}" ]; then
    require_tools crawl_bench xvfb-run
    failed=0
    echo "window scan benchmark $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores, numberOfThreads $threads" | tee "$results"
    for n in $sizes; do
        make_site "$n"
        start_nginx "$work/site-$n"
        echo "$n pages:" | tee -a "$results"
        if ! scan_in_window "$work/window-$n" | tee -a "$results"; then
            echo "crawl_bench: a timer tick was over 100 ms late (or the bench failed, see $work/window-$n/window.err)" |
                tee -a "$results"
            failed=1
        fi
        stop_nginx
    done
    echo "results in $results"
    exit "$failed"
fi

# The one-page scan whose peak RSS the per-URL figures are measured above.
make_site 1
start_nginx "$work/site-1"
scan 1 "$work/run-1"
stop_nginx
base_rss_kb="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/run-1/crawlmere.time")"

{
    echo "crawl benchmark $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores, numberOfThreads $threads, delay 0," \
        "nginx workers $workers, one-page scan $((base_rss_kb / 1024)) MB"
    printf '%-7s | %-8s %-8s %-7s %-8s %-7s %-7s %-6s | %-8s %-8s %-6s\n' pages crawlmere pages/s URLs occurr. \
        "RSS MB" "B/URL" "B/occ" "wget" pages/s "RSS MB"
} | tee "$results"

for n in $sizes; do
    site="$work/site-$n"
    make_site "$n"
    start_nginx "$site"

    run="$work/run-$n"
    scan "$n" "$run"
    check_csv "$site" "$run/scan.csv"
    c_wall="$(wall_seconds "$run/crawlmere.time")"
    c_rss="$(peak_mb "$run/crawlmere.time")"
    c_rss_kb="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$run/crawlmere.time")"
    c_urls="$(awk -F': ' '/^URLs checked/ { print $2 }' "$run/crawlmere.out" | tr -d ',')"
    occurrences="$(cat "$site/occurrences.txt")"
    c_rate="$(awk -v n="$n" -v s="$c_wall" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')"
    per_url="$(awk -v r="$c_rss_kb" -v b="$base_rss_kb" -v u="$c_urls" 'BEGIN { printf "%.0f", (u > 0 ? (r - b) * 1024 / u : 0) }')"
    per_occ="$(awk -v r="$c_rss_kb" -v b="$base_rss_kb" -v o="$occurrences" 'BEGIN { printf "%.0f", (o > 0 ? (r - b) * 1024 / o : 0) }')"

    rm -rf "$run/wget"
    # wget ends with status 8 because the sites hold broken links.
    /usr/bin/time -v -o "$run/wget.time" wget --spider -r -l inf -nd -q -e robots=off -P "$run/wget" \
        "http://127.0.0.1:$port/" >/dev/null 2>&1 || true
    w_wall="$(wall_seconds "$run/wget.time")"
    w_rss="$(peak_mb "$run/wget.time")"
    w_rate="$(awk -v n="$n" -v s="$w_wall" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')"

    stop_nginx
    printf '%-7s | %-8s %-8s %-7s %-8s %-7s %-7s %-6s | %-8s %-8s %-6s\n' "$n" "${c_wall}s" "$c_rate" "$c_urls" \
        "$occurrences" "$c_rss" "$per_url" "$per_occ" "${w_wall}s" "$w_rate" "$w_rss" | tee -a "$results"
done
echo "results in $results"
