#!/usr/bin/env bash
# Binary property lists that expand when read: a 506-byte list of 40 arrays, each holding the
# next one twice through the format's shared references (2^41 values once read), is given to
# `crawlmere --headless` as a settings file and as a batch, and planted as the defaults store
# before a scan of the bundled sample site. Prints each run's wall time, peak RSS, exit status
# and the line that says why the list was refused; the list must be refused within a second
# and 100 MB each time.
#
#   bash bench/plist_expansion_bench.sh
#
# CRAWLMERE names the program (default build/release/crawlmere, as scripts/run builds it);
# BENCH_DIR the work folder (default build/plist-bench).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
work="${BENCH_DIR:-$root/build/plist-bench}"

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools plist_expansion_bench /usr/bin/time python3
require_program plist_expansion_bench "$crawlmere"
rm -rf "$work"
mkdir -p "$work"

# bplist00, 40 arrays of two one-byte references to the next object, a 178-letter string, the
# offset table (4 bytes an offset) and the trailer.
python3 - "$work/chain.plist" <<'PY'
import struct, sys
objects, offsets = b"", []
for i in range(40):
    offsets.append(8 + len(objects))
    objects += bytes([0xA2, i + 1, i + 1])
offsets.append(8 + len(objects))
objects += bytes([0x5F, 0x11]) + struct.pack(">H", 178) + b"x" * 178
table = b"".join(struct.pack(">I", o) for o in offsets)
trailer = bytes(6) + bytes([4, 1]) + struct.pack(">QQQ", len(offsets), 0, 8 + len(objects))
data = b"bplist00" + objects + table + trailer
assert len(data) == 506
open(sys.argv[1], "wb").write(data)
PY

printf '%-10s %8s %8s %5s  %s\n' "as" "seconds" "peak MB" "exit" "said"
run_case() {
    local name="$1" home="$work/home-$1"
    shift
    mkdir -p "$home"
    local status=0
    CRAWLMERE_HOME="$home" /usr/bin/time -v -o "$work/$name.time" "$crawlmere" --headless "$@" \
        >"$work/$name.out" 2>"$work/$name.err" || status=$?
    printf '%-10s %8s %8s %5s  %s\n' "$name" "$(wall_seconds "$work/$name.time")" "$(peak_mb "$work/$name.time")" \
        "$status" "$(grep -m1 -o 'the property list expands to more than [0-9]* [a-z]*' "$work/$name.err" || echo '(not refused)')"
}

cp "$work/chain.plist" "$work/chain.lcsettings"
run_case settings "$work/chain.lcsettings"
cp "$work/chain.plist" "$work/chain.lcsbatch"
run_case batch "$work/chain.lcsbatch"
mkdir -p "$work/home-defaults/.config/Crawlmere"
cp "$work/chain.plist" "$work/home-defaults/.config/Crawlmere/defaults.plist"
run_case defaults "$root/examples/sample-site/index.html"
