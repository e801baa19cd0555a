#!/usr/bin/env bash
# Memory on a real documentation site: scans the Rust standard library's documentation (Debian's
# rust-doc, about 32,000 HTML files, some 21,700 URLs reached from its top page) served from
# loopback, by Python's http.server and by nginx, with `crawlmere --headless` (internal links
# only: its pages link hosts that cannot be reached here; 12 fetches in flight, no delay, the CSV
# written), several times under each server. Prints each run's URLs, wall time and peak RSS, the
# peak RSS of the run's last 1.5 s against that before (a rise at the finish shows there), then
# the medians. Skipped, with a message and status 0, when rust-doc is not installed.
#
#   bash bench/rustdoc_bench.sh                        # both servers, three runs each
#   BENCH_SERVERS=nginx BENCH_RUNS=1 bash bench/rustdoc_bench.sh
#
# CRAWLMERE names the program (default build/release/crawlmere); BENCH_DIR the work folder
# (default build/rustdoc-bench); BENCH_PORT the port (default 18094); RUSTDOC_HTML the served
# folder (default /usr/share/doc/rust-doc/html).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
servers="${BENCH_SERVERS:-python nginx}"
runs="${BENCH_RUNS:-3}"
work="${BENCH_DIR:-$root/build/rustdoc-bench}"
port="${BENCH_PORT:-18094}"
threads="${BENCH_THREADS:-12}"
html="${RUSTDOC_HTML:-/usr/share/doc/rust-doc/html}"

if [ ! -f "$html/index.html" ]; then
    echo "rustdoc_bench: skipped: no rust-doc at $html (apt-get install rust-doc)"
    exit 0
fi

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools rustdoc_bench nginx wget /usr/bin/time python3
require_program rustdoc_bench "$crawlmere"
mkdir -p "$work"

python_pid=""
stop_servers() {
    stop_nginx
    if [ -n "$python_pid" ]; then
        kill "$python_pid" 2>/dev/null || true
        wait "$python_pid" 2>/dev/null || true
        python_pid=""
    fi
}
trap stop_servers EXIT

start_python() {
    python3 -m http.server --bind 127.0.0.1 --directory "$html" "$port" >"$work/python.log" 2>&1 &
    python_pid=$!
    for _ in $(seq 1 50); do
        if wget -q -O /dev/null "http://127.0.0.1:$port/" 2>/dev/null; then
            return 0
        fi
        sleep 0.1
    done
    echo "rustdoc_bench: http.server did not answer on port $port (see $work/python.log)" >&2
    exit 1
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# Samples the resident set of process $1 every 0.1 s into file $2 ("seconds kilobytes" lines)
# until it ends.
sample_rss() {
    local pid="$1" out="$2" start
    start="$(date +%s.%N)"
    while [ -r "/proc/$pid/status" ]; do
        awk -v t="$(date +%s.%N)" -v s="$start" '/^VmRSS:/ { printf "%.2f %d\n", t - s, $2 }' \
            "/proc/$pid/status" 2>/dev/null >>"$out" || true
        sleep 0.1
    done
}

echo "rust-doc memory benchmark $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores, load" \
    "$(cut -d' ' -f1-3 /proc/loadavg), numberOfThreads $threads, $runs runs a server"
printf '%-7s %-6s %-7s %-8s %-8s %-12s %-12s\n' server run URLs "wall s" "peak MB" "before end" "last 1.5 s"
for server in $servers; do
    case "$server" in
    python) start_python ;;
    nginx) start_nginx "$html" ;;
    *)
        echo "rustdoc_bench: no server \"$server\" (python, nginx)" >&2
        exit 1
        ;;
    esac
    walls=()
    peaks=()
    for i in $(seq 1 "$runs"); do
        run="$work/$server-$i"
        rm -rf "$run"
        mkdir -p "$run"
        home="$run/home"
        mkdir -p "$home"
        CRAWLMERE_HOME="$home" /usr/bin/time -v -o "$run/time" "$crawlmere" --headless "http://127.0.0.1:$port/" \
            --set internalOnly=YES --set "numberOfThreads=$threads" --set delay=0 --csv "$run/scan.csv" \
            >"$run/out" 2>"$run/err" &
        scan_pid=$!
        # /usr/bin/time's child is the program.
        child=""
        for _ in $(seq 1 50); do
            child="$(pgrep -P "$scan_pid" | head -1 || true)"
            [ -n "$child" ] && break
            sleep 0.02
        done
        [ -n "$child" ] && sample_rss "$child" "$run/rss" &
        sampler=$!
        wait "$scan_pid" || {
            echo "rustdoc_bench: crawlmere failed under $server (see $run/err)" >&2
            exit 1
        }
        wait "$sampler" 2>/dev/null || true
        urls="$(awk -F': ' '/^URLs checked/ { print $2 }' "$run/out" | tr -d ',')"
        # The resident peak before the last 1.5 s of the run, and within them.
        read -r before last < <(awk '{ t[NR] = $1; k[NR] = $2 } END {
            end = t[NR]; b = 0; l = 0
            for (i = 1; i <= NR; i++) { if (t[i] < end - 1.5) { if (k[i] > b) b = k[i] } else if (k[i] > l) l = k[i] }
            printf "%.0f %.0f\n", b / 1024, l / 1024 }' "$run/rss" 2>/dev/null || echo "0 0")
        walls+=("$(wall_seconds "$run/time")")
        peaks+=("$(peak_mb "$run/time")")
        printf '%-7s %-6s %-7s %-8s %-8s %-12s %-12s\n' "$server" "$i" "${urls:-?}" "${walls[-1]}" "${peaks[-1]}" \
            "$before" "$last"
    done
    stop_servers
    printf '%-7s %-6s %-7s %-8s %-8s\n' "$server" median "" "$(printf '%s\n' "${walls[@]}" | median)" \
        "$(printf '%s\n' "${peaks[@]}" | median)"
done
