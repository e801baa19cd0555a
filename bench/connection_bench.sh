#!/usr/bin/env bash
# Connection benchmark: scans a generated site (bench/make_crawl_site.py, served by nginx on
# 127.0.0.1 with keep-alive) with `crawlmere --headless` at each number of fetches in flight
# given, and with `wget --spider -r` as the baseline, and prints for each scan the requests the
# server answered, the connections they came on (counted from the server's own log), the wall
# time and the requests a second. With one fetch in flight the figures compare the cost of one
# request against wget's, which also uses one connection.
#
#   bash bench/connection_bench.sh                       # 10,000 pages at 12 and 1 in flight
#   BENCH_SIZES="100000" BENCH_THREADS="12" bash bench/connection_bench.sh
#   BENCH_RUNS=3 bash bench/connection_bench.sh          # each scan three times
#
# CRAWLMERE names the program (default build/release/crawlmere); BENCH_DIR the work folder
# (default build/crawl-bench, whose generated sites the other benchmarks share); BENCH_PORT the
# port (default 18089).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
sizes="${BENCH_SIZES:-10000}"
threads_list="${BENCH_THREADS:-12 1}"
runs="${BENCH_RUNS:-1}"
work="${BENCH_DIR:-$root/build/crawl-bench}"
port="${BENCH_PORT:-18089}"

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools connection_bench nginx wget /usr/bin/time python3
require_program connection_bench "$crawlmere"
mkdir -p "$work"

# Prints "requests connections" of nginx log $1.
count_log() {
    awk '{ requests++; seen[$1] = 1 } END { n = 0; for (c in seen) n++; print requests + 0, n }' "$1"
}

# Serves site $1 logging to $2, runs the rest of the arguments under `time -v` into $3, and
# prints "requests connections seconds requests/s".
measure() {
    local site="$1" log="$2" timing="$3"
    shift 3
    rm -f "$log"
    NGINX_ACCESS_LOG="$log" start_nginx "$site"
    rm -f "$log" # the start-up probe's request is not the scan's
    kill -USR1 "$(cat "$work/nginx/nginx.pid")" # reopen the log
    for _ in $(seq 1 50); do [ -f "$log" ] && break; sleep 0.1; done
    /usr/bin/time -v -o "$timing" "$@" >/dev/null 2>&1 || true
    stop_nginx
    local counts seconds
    counts="$(count_log "$log")"
    seconds="$(wall_seconds "$timing")"
    echo "$counts $seconds" | awk '{ printf "%d %d %.2f %.0f\n", $1, $2, $3, ($3 > 0 ? $1 / $3 : 0) }'
}

results="$work/connections.txt"
echo "connection benchmark $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores" | tee "$results"
printf '%-7s %-10s %-8s | %-9s %-11s %-8s %-9s %-8s\n' pages scanner "in flight" requests connections seconds \
    "req/s" "RSS MB" | tee -a "$results"
for n in $sizes; do
    site="$work/site-$n"
    make_site "$n"
    for run in $(seq 1 "$runs"); do
        for threads in $threads_list; do
            out="$work/connections-$n-$threads"
            mkdir -p "$out"
            read -r requests connections seconds rate < <(measure "$site" "$out/access.log" "$out/time" \
                "$crawlmere" --headless "http://127.0.0.1:$port/" --set "numberOfThreads=$threads" --set delay=0)
            printf '%-7s %-10s %-8s | %-9s %-11s %-8s %-9s %-8s\n' "$n" crawlmere "$threads" "$requests" \
                "$connections" "$seconds" "$rate" "$(peak_mb "$out/time")" | tee -a "$results"
        done
        out="$work/connections-$n-wget"
        mkdir -p "$out"
        rm -rf "$out/files"
        # wget ends with status 8 because the sites hold broken links.
        read -r requests connections seconds rate < <(measure "$site" "$out/access.log" "$out/time" \
            wget --spider -r -l inf -nd -q -e robots=off -P "$out/files" "http://127.0.0.1:$port/")
        printf '%-7s %-10s %-8s | %-9s %-11s %-8s %-9s %-8s\n' "$n" wget 1 "$requests" "$connections" "$seconds" \
            "$rate" "$(peak_mb "$out/time")" | tee -a "$results"
    done
done
echo "results in $results"
