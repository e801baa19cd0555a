#!/usr/bin/env bash
# The main window while a large style sheet is read: a page linking one sheet of many url()
# values (each naming one of 100 images) is scanned in the window under xvfb-run, while a 50 ms
# timer measures how late the event loop runs it (window_scan_bench). The sheet is read on the
# main thread, so a reading that takes long shows as late ticks.
#
#   bash bench/css_window_bench.sh                    # sheets of 100,000 and 1,000,000 values
#   BENCH_CSS_RULES="25000" bash bench/css_window_bench.sh
#
# CRAWLMERE names the program (default build/release/crawlmere; configure that build with
# -DCRAWLMERE_BENCH=ON for window_scan_bench beside it); BENCH_DIR the work folder (default
# build/css-bench); BENCH_PORT the port (default 18095). Exits 1 when a tick was over 100 ms late.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
rules="${BENCH_CSS_RULES:-100000 1000000}"
work="${BENCH_DIR:-$root/build/css-bench}"
port="${BENCH_PORT:-18095}"
window_bench="${WINDOW_BENCH:-$(dirname "$crawlmere")/bench/window_scan_bench}"

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools css_window_bench nginx xvfb-run python3
require_program css_window_bench "$window_bench"
mkdir -p "$work"

late=0
for n in $rules; do
    site="$work/site-$n"
    if [ ! -f "$site/.complete" ]; then
        rm -rf "$site"
        mkdir -p "$site/i"
        python3 - "$site" "$n" <<'PY'
import sys
site, n = sys.argv[1], int(sys.argv[2])
open(f"{site}/index.html", "w").write(
    '<html><head><title>sheet</title><link rel="stylesheet" href="/style.css"></head><body>page</body></html>')
with open(f"{site}/style.css", "w") as sheet:
    for i in range(n):
        sheet.write(f"p{{b:url(/i/{i % 100:06d}.png)}}\n")
for i in range(100):
    open(f"{site}/i/{i:06d}.png", "wb").write(b"\x89PNG\r\n\x1a\n")
PY
        touch "$site/.complete"
    fi
    start_nginx "$site"
    home="$(mktemp -d)"
    echo "$n url() values ($(du -h "$site/style.css" | cut -f1)):"
    CRAWLMERE_HOME="$home" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
        "$window_bench" "http://127.0.0.1:$port/" 4 0 1 linkedFiles=YES checkImages=YES shouldParseCSS=YES \
        2>"$work/window-$n.err" || late=1
    rm -rf "$home"
    stop_nginx
done
exit "$late"
