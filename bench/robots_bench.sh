#!/usr/bin/env bash
# robots.txt benchmark: times `crawlmere --headless` (robots.txt not obeyed, the default) on a
# page of 100 links to pages of the same site, served by nginx on 127.0.0.1 beside a robots.txt
# of many distinct Disallow lines, and reports the scan's wall time and peak RSS for each size
# of robots.txt. A scan whose time grows with the robots.txt reads and matches it all.
#
#   bash bench/robots_bench.sh                       # robots.txt of 0, 1 and 50 MB
#   BENCH_ROBOTS_MB="0 50" bash bench/robots_bench.sh
#   BENCH_ROBOTS_RULES=wildcard bash bench/robots_bench.sh   # rules with "*" and "$" instead
#
# CRAWLMERE names the program (default build/release/crawlmere, as scripts/run builds it);
# BENCH_DIR the work folder (default build/robots-bench); BENCH_PORT the port (default 18093).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
sizes="${BENCH_ROBOTS_MB:-0 1 50}"
rules="${BENCH_ROBOTS_RULES:-plain}"
work="${BENCH_DIR:-$root/build/robots-bench}"
port="${BENCH_PORT:-18093}"

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools robots_bench nginx wget /usr/bin/time python3
require_program robots_bench "$crawlmere"
mkdir -p "$work"

printf '%-12s %10s %10s %8s\n' "robots.txt" "seconds" "peak MB" "URLs"
for mb in $sizes; do
    site="$work/site-$rules-$mb"
    if [ ! -f "$site/.complete" ]; then
        rm -rf "$site"
        mkdir -p "$site/p"
        python3 - "$site" "$mb" "$rules" <<'PY'
import sys
site, mb, rules = sys.argv[1], int(sys.argv[2]), sys.argv[3]
links = "".join(f'<a href="/p/{i}.html">page {i}</a>\n' for i in range(100))
open(f"{site}/index.html", "w").write(f"<html><head><title>links</title></head><body>{links}</body></html>")
for i in range(100):
    open(f"{site}/p/{i}.html", "w").write(f"<html><head><title>{i}</title></head><body>page {i}</body></html>")
with open(f"{site}/robots.txt", "w") as robots:
    robots.write("User-agent: *\n")
    written, n = 0, 0
    while written < mb * 1024 * 1024:
        line = (f"Disallow: /*/section-{n:08d}.html$\n" if rules == "wildcard"
                else f"Disallow: /private/section-{n:08d}/\n")
        robots.write(line)
        written += len(line)
        n += 1
PY
        touch "$site/.complete"
    fi
    start_nginx "$site"
    run="$work/run-$rules-$mb"
    mkdir -p "$run"
    /usr/bin/time -v -o "$run/crawlmere.time" "$crawlmere" --headless "http://127.0.0.1:$port/" \
        --set delay=0 --csv "$run/scan.csv" >"$run/crawlmere.out" 2>"$run/crawlmere.err" || {
        echo "robots_bench: crawlmere failed with a robots.txt of $mb MB (see $run/crawlmere.err)" >&2
        exit 1
    }
    stop_nginx
    urls=$(($(wc -l <"$run/scan.csv") - 1))
    printf '%-12s %10s %10s %8s\n' "$mb MB" "$(wall_seconds "$run/crawlmere.time")" \
        "$(peak_mb "$run/crawlmere.time")" "$urls"
done
