#!/usr/bin/env bash
# Name-lookup benchmark: times `crawlmere --headless` (defaults: 12 fetches in flight) on sites
# served by nginx on 127.0.0.1 whose links lead to many outside hosts, looked up by the machine's
# own resolver:
#   dead     one page linking 400 distinct unknown hosts (http://deadN.invalid-host-xyz.org/pN)
#   python   the HTML documentation of Python 3.11 (Debian's python3.11-doc)
#   git      the HTML documentation of git (Debian's git-doc)
# The two documentation packages are installed with apt-get when missing (this script only).
# Only lookups leave the machine: hosts that do not resolve are never fetched, and the script
# reports how many outside URLs got an HTTP answer (0 where outside names do not resolve).
#
#   bash bench/lookup_bench.sh                # all three
#   BENCH_SITES="dead git" bash bench/lookup_bench.sh
#
# CRAWLMERE names the program (default build/release/crawlmere, as scripts/run builds it);
# BENCH_DIR the work folder (default build/lookup-bench); BENCH_PORT the port (default 18091).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
sites="${BENCH_SITES:-dead python git}"
work="${BENCH_DIR:-$root/build/lookup-bench}"
port="${BENCH_PORT:-18091}"

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools lookup_bench nginx wget /usr/bin/time python3
require_program lookup_bench "$crawlmere"
mkdir -p "$work"

# Installs the Debian package $1 when it is not installed.
ensure_package() {
    if dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; then
        return 0
    fi
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get install -y --no-install-recommends "$1" >"$work/apt-$1.log" 2>&1 || {
        echo "lookup_bench: apt-get install $1 failed (see $work/apt-$1.log)" >&2
        exit 1
    }
}

# Prints the folder to serve for site $1 (and prepares it) plus the starting path.
prepare_site() {
    case "$1" in
    dead)
        local site="$work/site-dead"
        mkdir -p "$site"
        python3 - "$site/index.html" <<'PY'
import sys
links = "\n".join(f'<a href="http://dead{n}.invalid-host-xyz.org/p{n}">dead {n}</a><br>' for n in range(400))
open(sys.argv[1], "w").write(f"<html><head><title>Dead hosts</title></head><body>\n{links}\n</body></html>\n")
PY
        echo "$site /"
        ;;
    python)
        ensure_package python3.11-doc
        echo "/usr/share/doc/python3.11/html /index.html"
        ;;
    git)
        ensure_package git-doc
        local folder=/usr/share/doc/git/html
        [ -d "$folder" ] || folder=/usr/share/doc/git-doc
        echo "$folder /index.html"
        ;;
    *)
        echo "lookup_bench: unknown site $1" >&2
        exit 1
        ;;
    esac
}

results="$work/results.txt"
{
    echo "name-lookup benchmark $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores, $(grep -c '^nameserver' /etc/resolv.conf 2>/dev/null || echo 0) name server(s)"
    printf '%-7s | %-9s %-7s %-9s %-9s %-7s\n' site seconds URLs "outside" "answered" "RSS MB"
} | tee "$results"

for name in $sites; do
    read -r folder start < <(prepare_site "$name")
    if [ ! -d "$folder" ]; then
        echo "lookup_bench: $folder is missing after installing the package" >&2
        exit 1
    fi
    start_nginx "$folder"
    run="$work/run-$name"
    mkdir -p "$run"
    home="$(mktemp -d)"
    CRAWLMERE_HOME="$home" /usr/bin/time -v -o "$run/crawlmere.time" "$crawlmere" --headless \
        "http://127.0.0.1:$port$start" --csv "$run/scan.csv" >"$run/crawlmere.out" 2>"$run/crawlmere.err" || {
        echo "lookup_bench: crawlmere failed on $name (see $run/crawlmere.err)" >&2
        rm -rf "$home"
        exit 1
    }
    rm -rf "$home"
    stop_nginx
    wall="$(wall_seconds "$run/crawlmere.time")"
    rss="$(peak_mb "$run/crawlmere.time")"
    # Rows of the CSV: every URL, the outside ones (not on 127.0.0.1), and the outside ones
    # with an HTTP status (a fetch that left the machine).
    read -r urls outside answered < <(python3 - "$run/scan.csv" "127.0.0.1:$port" <<'PY'
import csv, sys
with open(sys.argv[1], encoding="utf-8-sig", newline="") as f:
    rows = list(csv.reader(f))
header, body = rows[0], rows[1:]
url_col = next((i for i, v in enumerate(rows[1]) if v.startswith(("http://", "https://", "file:"))), 0) if body else 0
status_col = next((i for i, h in enumerate(header) if h.strip().lower() in ("status", "status code")), None)
outside = [r for r in body if len(r) > url_col and sys.argv[2] not in r[url_col]]
answered = 0
if status_col is not None:
    for r in outside:
        code = r[status_col].split(" ")[0] if len(r) > status_col else ""
        if code.isdigit() and int(code) > 0:
            answered += 1
print(len(body), len(outside), answered if status_col is not None else "?")
PY
    )
    printf '%-7s | %-9s %-7s %-9s %-9s %-7s\n' "$name" "${wall}s" "$urls" "$outside" "$answered" "$rss" | tee -a "$results"
done
echo "results in $results"
