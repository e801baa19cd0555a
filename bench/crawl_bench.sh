#!/usr/bin/env bash
# Crawl benchmark: times `crawlmere --headless` (12 fetches in flight, no delay) over generated
# static sites of 1,000, 10,000 and 30,000 pages served by nginx on 127.0.0.1, and
# `wget --spider -r` over the same sites as the baseline; reports pages per second and peak RSS.
#
#   bash bench/crawl_bench.sh                 # all three sizes
#   BENCH_SIZES="10000" bash bench/crawl_bench.sh
#   BENCH_SIZES="200" BENCH_SET="runJS=YES" bash bench/crawl_bench.sh   # pages rendered
#   BENCH_SIZES="10000" BENCH_WINDOW=1 bash bench/crawl_bench.sh  # the main window under xvfb-run:
#       how late a 50 ms timer runs during the scan (window_scan_bench; -DCRAWLMERE_BENCH=ON)
#
# CRAWLMERE names the program (default build/release/crawlmere, as scripts/run builds it);
# BENCH_DIR the work folder (default build/crawl-bench); BENCH_PORT the port (default 18089).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
sizes="${BENCH_SIZES:-1000 10000 30000}"
work="${BENCH_DIR:-$root/build/crawl-bench}"
port="${BENCH_PORT:-18089}"
threads="${BENCH_THREADS:-12}"
# Further crawl settings, "key=value" words, each passed with --set.
extra_settings=()
for setting in ${BENCH_SET:-}; do
    extra_settings+=(--set "$setting")
done

for tool in nginx wget /usr/bin/time python3; do
    if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
        echo "crawl_bench: $tool is missing (bash scripts/setup installs it)" >&2
        exit 1
    fi
done
if [ ! -x "$crawlmere" ]; then
    echo "crawl_bench: no program at $crawlmere (bash scripts/run builds it)" >&2
    exit 1
fi

mkdir -p "$work"
# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"

results="$work/results.txt"
{
    echo "crawl benchmark $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores, numberOfThreads $threads, delay 0"
    printf '%-8s | %-10s %-9s %-7s %-8s | %-10s %-9s %-8s\n' pages crawlmere pages/s URLs "RSS MB" "wget s" pages/s "RSS MB"
} | tee "$results"

for n in $sizes; do
    site="$work/site-$n"
    if [ ! -f "$site/.complete" ]; then
        rm -rf "$site"
        python3 "$root/bench/make_crawl_site.py" --pages "$n" --out "$site"
        touch "$site/.complete"
    fi
    start_nginx "$site"

    run="$work/run-$n"
    mkdir -p "$run"
    if [ -n "${BENCH_WINDOW:-}" ]; then
        window_bench="${WINDOW_BENCH:-$(dirname "$crawlmere")/bench/window_scan_bench}"
        home="$(mktemp -d)"
        status=0
        CRAWLMERE_HOME="$home" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
            "$window_bench" "http://127.0.0.1:$port/" "$threads" 2>"$run/window.err" | tee -a "$results" || status=$?
        rm -rf "$home"
        stop_nginx
        [ "$status" -eq 0 ] || echo "crawl_bench: a timer tick was over 100 ms late (or the bench failed, see $run/window.err)" | tee -a "$results"
        continue
    fi
    /usr/bin/time -v -o "$run/crawlmere.time" "$crawlmere" --headless "http://127.0.0.1:$port/" \
        --set "numberOfThreads=$threads" --set delay=0 "${extra_settings[@]}" --csv "$run/scan.csv" \
        >"$run/crawlmere.out" 2>"$run/crawlmere.err" || {
        echo "crawl_bench: crawlmere failed on $n pages (see $run/crawlmere.err)" >&2
        exit 1
    }
    c_wall="$(wall_seconds "$run/crawlmere.time")"
    c_rss="$(peak_mb "$run/crawlmere.time")"
    c_urls="$(awk -F': ' '/^URLs checked/ { print $2 }' "$run/crawlmere.out")"
    c_rate="$(awk -v n="$n" -v s="$c_wall" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')"

    rm -rf "$run/wget"
    # wget ends with status 8 because the sites hold broken links.
    /usr/bin/time -v -o "$run/wget.time" wget --spider -r -l inf -nd -q -e robots=off -P "$run/wget" \
        "http://127.0.0.1:$port/" >/dev/null 2>&1 || true
    w_wall="$(wall_seconds "$run/wget.time")"
    w_rss="$(peak_mb "$run/wget.time")"
    w_rate="$(awk -v n="$n" -v s="$w_wall" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')"

    stop_nginx
    printf '%-8s | %-10s %-9s %-7s %-8s | %-10s %-9s %-8s\n' "$n" "${c_wall}s" "$c_rate" "$c_urls" "$c_rss" \
        "${w_wall}s" "$w_rate" "$w_rss" | tee -a "$results"
done
echo "results in $results"
