#!/usr/bin/env bash
# Thumbnail-program benchmark: runs `crawlmere-thumbnail URL FILE` on three pages served on
# 127.0.0.1 and reports, for each, its exit status, wall time and the peak resident memory of
# the program with every process below it (the browser engine's), sampled every 50 ms:
#   endless   a page whose body never ends (20 KB of markup every 5 ms)
#   filler    a page whose script fills memory (arrays of 64 MB, one every 10 ms) while its
#             body never ends
#   refused   an address nothing listens on (the load fails at once)
# Each run is given up after 15 s, as the window gives up on a thumbnail; a run whose process
# tree passes BENCH_KILL_MB (default 3000) is killed by the benchmark to spare the machine.
# Then five sites whose page never finishes (the endless page), selected one after the other:
#   five-at-once    the five programs started together (as the window once did), and the peak of
#                   all their trees together
#   five-in-turn    one program at a time (as the window runs them now), each given up after
#                   BENCH_TURN_SECONDS (default 6), and the peak of whichever runs
#
#   bash bench/thumbnail_bench.sh
#
# THUMBNAIL names the program (default build/release/crawlmere-thumbnail); BENCH_DIR the work
# folder (default build/thumbnail-bench); BENCH_PORT the port (default 18094).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

thumbnail="${THUMBNAIL:-$root/build/release/crawlmere-thumbnail}"
work="${BENCH_DIR:-$root/build/thumbnail-bench}"
port="${BENCH_PORT:-18094}"
kill_mb="${BENCH_KILL_MB:-3000}"
if [ ! -x "$thumbnail" ]; then
    echo "thumbnail_bench: no program at $thumbnail (bash scripts/run builds it)" >&2
    exit 1
fi
command -v python3 >/dev/null || { echo "thumbnail_bench: python3 is missing" >&2; exit 1; }
mkdir -p "$work"

python3 - "$port" <<'PY' &
import http.server, socketserver, sys, time
FILLER = b"""<script>
const kept = [];
setInterval(() => { const a = new Float64Array(8 * 1024 * 1024); a.fill(1.5); kept.push(a); }, 10);
</script>"""
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *args): pass
    def do_GET(self):
        # Both pages never finish loading: the filler's script runs meanwhile, the endless page
        # keeps growing.
        filler = self.path == "/filler"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        try:
            first = b"<html><body>" + (FILLER if filler else b"")
            self.wfile.write(b"%x\r\n%s\r\n" % (len(first), first))
            chunk = b"<p>still loading</p>\n" if filler else b"<div>" + b"endless page " * 1600 + b"</div>\n"
            while True:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
                time.sleep(0.1 if filler else 0.005)
        except (BrokenPipeError, ConnectionResetError):
            pass
class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
Server(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
PY
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sleep 1

# Resident kB of process $1 and every process below it.
tree_kb() {
    local pids=("$1") i=0 total=0 pid kb
    while [ $i -lt ${#pids[@]} ]; do
        for pid in $(cat /proc/"${pids[$i]}"/task/*/children 2>/dev/null); do pids+=("$pid"); done
        i=$((i + 1))
    done
    for pid in "${pids[@]}"; do
        kb=$(awk '/^VmRSS/ { print $2 }' /proc/"$pid"/status 2>/dev/null || true)
        total=$((total + ${kb:-0}))
    done
    echo "$total"
}

printf '%-10s %8s %10s %10s\n' "page" "status" "seconds" "peak MB"
for page in endless filler refused; do
    url="http://127.0.0.1:$port/$page"
    [ "$page" = refused ] && url="http://127.0.0.1:1/"
    rm -f "$work/$page.tiff"
    start=$(date +%s.%N)
    setsid "$thumbnail" "$url" "$work/$page.tiff" 2>"$work/$page.err" &
    program=$!
    peak=0
    ended=""
    while kill -0 "$program" 2>/dev/null; do
        kb=$(tree_kb "$program")
        [ "$kb" -gt "$peak" ] && peak=$kb
        elapsed=$(echo "$(date +%s.%N) - $start" | bc)
        if [ "$((kb / 1024))" -gt "$kill_mb" ]; then ended="killed>${kill_mb}MB"; fi
        if [ "$(echo "$elapsed > 15" | bc)" -eq 1 ]; then ended="gave-up-15s"; fi
        if [ -n "$ended" ]; then
            kill -KILL -- "-$program" 2>/dev/null || true
            break
        fi
        sleep 0.05
    done
    status=0
    wait "$program" 2>/dev/null || status=$?
    seconds=$(echo "$(date +%s.%N) - $start" | bc)
    printf '%-10s %8s %10.1f %10d\n' "$page" "${ended:-$status}" "$seconds" "$((peak / 1024))"
done

# Five sites at once, or in turn: the peak resident memory of every program running meanwhile.
turn_seconds="${BENCH_TURN_SECONDS:-6}"
five_sites() {
    local mode=$1 start peak=0 kb total pid ended="" programs=()
    start=$(date +%s.%N)
    for site in 1 2 3 4 5; do
        if [ "$mode" = in-turn ]; then
            setsid "$thumbnail" "http://127.0.0.1:$port/endless" "$work/site$site.tiff" 2>/dev/null &
            pid=$!
            while kill -0 "$pid" 2>/dev/null; do
                kb=$(tree_kb "$pid")
                [ "$kb" -gt "$peak" ] && peak=$kb
                if [ "$(echo "$(date +%s.%N) - $start > $turn_seconds * $site" | bc)" -eq 1 ]; then
                    kill -KILL -- "-$pid" 2>/dev/null || true
                    break
                fi
                sleep 0.05
            done
            wait "$pid" 2>/dev/null || true
        else
            setsid "$thumbnail" "http://127.0.0.1:$port/endless" "$work/site$site.tiff" 2>/dev/null &
            programs+=($!)
            sleep 0.3
        fi
    done
    while [ "$mode" = at-once ] && [ -z "$ended" ]; do
        total=0
        for pid in "${programs[@]}"; do total=$((total + $(tree_kb "$pid"))); done
        [ "$total" -gt "$peak" ] && peak=$total
        [ "$((total / 1024))" -gt "$kill_mb" ] && ended="killed>${kill_mb}MB"
        [ "$(echo "$(date +%s.%N) - $start > $turn_seconds" | bc)" -eq 1 ] && ended="gave-up"
        alive=0
        for pid in "${programs[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
        [ "$alive" -eq 0 ] && ended="ended"
        sleep 0.05
    done
    for pid in "${programs[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    printf '%-14s %-16s %10.1f %10d\n' "five-$mode" "${ended:-in-turn}" "$(echo "$(date +%s.%N) - $start" | bc)" \
        "$((peak / 1024))"
}
echo
printf '%-14s %-16s %10s %10s\n' "sites" "end" "seconds" "peak MB"
five_sites at-once
five_sites in-turn
