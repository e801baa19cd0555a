#!/usr/bin/env bash
# Memory benchmark: scans the generated sites of 10,000 and 100,000 pages (bench/make_crawl_site.py,
# served by nginx on 127.0.0.1, 12 fetches in flight, no delay, the CSV written) with
# `crawlmere --headless` several times each and prints every run's wall time and peak RSS, then
# the median of each. Two sites of each size: "short", whose pages carry about 25 links reading
# "Page N", and "long", whose pages carry about 32 links with texts of 20 to 60 characters that
# repeat across pages, as the pages of a documentation site do. And the site shaped like a real
# one (make_crawl_site.py --shape real: a section tree, breadcrumbs, pages of 14-35 KB, missing
# pages, redirects, outside addresses, a folder robots.txt disallows, nofollow pages), scanned
# with the defaults ("real") and obeying robots.txt ("robots").
# A run counts only when it reports every URL the generator linked. Other work on the machine
# slows the runs: compare figures taken on a quiet machine, or at least in one sitting.
#
#   bash bench/memory_bench.sh                          # 10k and 100k, three runs each
#   BENCH_SIZES="10000" BENCH_RUNS=5 bash bench/memory_bench.sh
#   BENCH_SITES="long" bash bench/memory_bench.sh        # the long-text site only
#   BENCH_SITES="real robots" BENCH_SIZES=100000 bash bench/memory_bench.sh
#
# CRAWLMERE names the program (default build/release/crawlmere); BENCH_DIR the work folder
# (default build/crawl-bench, whose generated sites crawl_bench.sh shares); BENCH_PORT the port
# (default 18089).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
sizes="${BENCH_SIZES:-10000 100000}"
runs="${BENCH_RUNS:-3}"
sites="${BENCH_SITES:-short long real robots}"
work="${BENCH_DIR:-$root/build/crawl-bench}"
port="${BENCH_PORT:-18089}"
threads="${BENCH_THREADS:-12}"

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools memory_bench nginx wget /usr/bin/time python3
require_program memory_bench "$crawlmere"
mkdir -p "$work"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

echo "memory benchmark $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)," \
    "numberOfThreads $threads, $runs runs a size"
printf '%-6s %-7s %-6s %-8s %-8s %-9s\n' site pages run URLs "wall s" "peak MB"
for texts in $sites; do
    for n in $sizes; do
        # The short-text site is the one crawl_bench.sh scans too.
        listed=urls.txt settings=()
        case "$texts" in
        short) site="$work/site-$n" options=() ;;
        long) site="$work/site-long-$n" options=(--links 32 --link-texts long) ;;
        real) site="$work/site-real-$n" options=(--shape real) ;;
        robots) site="$work/site-real-$n" options=(--shape real) listed=urls-robots.txt \
            settings=(--set blacklistByRobotsTxt=YES) ;;
        *)
            echo "memory_bench: no site \"$texts\" (short, long, real, robots)" >&2
            exit 1
            ;;
        esac
        if [ ! -f "$site/.complete" ]; then
            rm -rf "$site"
            python3 "$root/bench/make_crawl_site.py" --pages "$n" --out "$site" "${options[@]}"
            touch "$site/.complete"
        fi
        expected="$(grep -c . "$site/$listed")"
        start_nginx "$site"
        walls=()
        peaks=()
        for i in $(seq 1 "$runs"); do
            run="$work/memory-$texts-$n-$i"
            mkdir -p "$run"
            /usr/bin/time -v -o "$run/time" "$crawlmere" --headless "http://127.0.0.1:$port/" \
                --set "numberOfThreads=$threads" --set delay=0 "${settings[@]}" --csv "$run/scan.csv" >"$run/out" 2>"$run/err" || {
                echo "memory_bench: crawlmere failed on the $texts-text site of $n pages (see $run/err)" >&2
                exit 1
            }
            urls="$(awk -F': ' '/^URLs checked/ { print $2 }' "$run/out" | tr -d ',')"
            if [ "${urls:-0}" -lt "$expected" ]; then
                echo "memory_bench: $texts-text site of $n pages: ${urls:-no} URLs checked of $expected linked (see $run/out)" >&2
                exit 1
            fi
            walls+=("$(wall_seconds "$run/time")")
            peaks+=("$(peak_mb "$run/time")")
            printf '%-6s %-7s %-6s %-8s %-8s %-9s\n' "$texts" "$n" "$i" "$urls" "${walls[-1]}" "${peaks[-1]}"
        done
        stop_nginx
        printf '%-6s %-7s %-6s %-8s %-8s %-9s\n' "$texts" "$n" median "" "$(printf '%s\n' "${walls[@]}" | median)" \
            "$(printf '%s\n' "${peaks[@]}" | median)"
    done
done
