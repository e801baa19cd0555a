#!/usr/bin/env bash
# Cookie flood benchmark: a site on 127.0.0.1 of BENCH_PAGES pages (default 600), each setting
# BENCH_COOKIES persistent cookies (default 40) of BENCH_COOKIE_BYTES bytes (default 1000), is
# scanned by `crawlmere --headless` in a private CRAWLMERE_HOME whose cookie store already holds
# a login cookie for another host. Reports the scan's time and peak RSS, the cookie store's size
# after it, and whether the login cookie outlived the scan and a second start; then the same
# site setting no cookies, as the baseline.
#
#   bash bench/cookie_flood_bench.sh
#   BENCH_PAGES=200 bash bench/cookie_flood_bench.sh
#
# CRAWLMERE names the program (default build/release/crawlmere); BENCH_DIR the work folder
# (default build/cookie-bench); BENCH_PORT the port (default 18093).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
work="${BENCH_DIR:-$root/build/cookie-bench}"
port="${BENCH_PORT:-18093}"
pages="${BENCH_PAGES:-600}"
per_page="${BENCH_COOKIES:-40}"
bytes="${BENCH_COOKIE_BYTES:-1000}"

if [ ! -x "$crawlmere" ]; then
    echo "cookie_flood_bench: no program at $crawlmere (bash scripts/run builds it)" >&2
    exit 1
fi
for tool in python3 /usr/bin/time; do
    command -v "$tool" >/dev/null 2>&1 || { echo "cookie_flood_bench: $tool is missing" >&2; exit 1; }
done

rm -rf "$work"
mkdir -p "$work"
server_pid=""
stop_server() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        server_pid=""
    fi
}
trap stop_server EXIT

# Serves the site with $1 cookies a page.
serve() {
    stop_server
    python3 "$root/bench/cookie_flood_server.py" --port "$port" --pages "$pages" --cookies "$1" \
        --size "$bytes" &
    server_pid=$!
    for _ in $(seq 50); do
        python3 - "$port" <<'PY' && break
import socket, sys
try:
    socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=0.2).close()
except OSError:
    sys.exit(1)
PY
        sleep 0.1
    done
}

# Scans the site served with $1 cookies a page into folder $2.
scan() {
    local cookies="$1" run="$2" store
    serve "$cookies"
    mkdir -p "$run/home/.local/share/Crawlmere"
    chmod 700 "$run/home" "$run/home/.local/share/Crawlmere"
    store="$run/home/.local/share/Crawlmere/cookies.txt"
    printf 'login.example\tFALSE\t/\tFALSE\t4102444800\tlogin\tkeep-me\n' >"$store"
    CRAWLMERE_HOME="$run/home" /usr/bin/time -v -o "$run/time" "$crawlmere" --headless \
        "http://127.0.0.1:$port/" --set numberOfThreads=4 --set delay=0 --csv "$run/scan.csv" >"$run/out" 2>"$run/err" || {
        echo "cookie_flood_bench: the scan failed (see $run/err)" >&2
        exit 1
    }
    local seconds rss size kept second
    seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$run/time")
    rss=$(awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$run/time")
    size=$(stat -c %s "$store")
    kept=$(grep -c $'\tlogin\tkeep-me' "$store" || true)
    # A second start: one page, as the next run would.
    CRAWLMERE_HOME="$run/home" "$crawlmere" --headless "http://127.0.0.1:$port/p/$((pages - 1)).html" \
        --set numberOfThreads=1 >/dev/null 2>&1 || true
    second=$(grep -c $'\tlogin\tkeep-me' "$store" || true)
    printf '%-12s %10s %8s MB  store %9s bytes, %5s cookie lines  login kept: %s, after a second start: %s\n' \
        "$cookies/page" "$seconds" "$rss" "$size" "$(grep -c $'\t' "$store" || true)" \
        "$([ "$kept" -ge 1 ] && echo yes || echo NO)" "$([ "$second" -ge 1 ] && echo yes || echo NO)"
}

echo "$pages pages, $per_page cookies of $bytes bytes a page"
scan "$per_page" "$work/with-cookies"
scan 0 "$work/without-cookies"
