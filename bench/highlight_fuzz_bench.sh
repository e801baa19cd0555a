#!/usr/bin/env bash
# Memory of the highlighter's fuzz target, built with clang in build/fuzz as scripts/fuzz builds
# its targets:
#   big page   one page of 15 MB holding 1,000 matching links, marked once: the peak resident
#              memory and the time, with the address sanitizer's quarantine as it comes and off
#   runs       a fixed number of inputs from a fixed seed, starting from the test pages: the
#              resident memory every tenth of the way, quarantine as it comes and off (what the
#              sanitizer keeps of freed memory, bounded by its quarantine, against what the
#              target itself holds)
#
#   bash bench/highlight_fuzz_bench.sh [runs]        (default 100000)
#
# CRAWLMERE_FUZZ_BUILD names the build folder (default build/fuzz); BENCH_DIR the work folder
# (default build/highlight-fuzz-bench, emptied first).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-100000}"
build="${CRAWLMERE_FUZZ_BUILD:-$root/build/fuzz}"
work="${BENCH_DIR:-$root/build/highlight-fuzz-bench}"
target="$build/fuzz/highlight_fuzz"

CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCRAWLMERE_FUZZ=ON -DCRAWLMERE_TESTS=OFF -DCRAWLMERE_BENCH=OFF >/dev/null
cmake --build "$build" -j3 --target highlight_fuzz >/dev/null
command -v python3 >/dev/null || { echo "highlight_fuzz_bench: python3 is missing" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/seeds" "$work/home"
find "$root/tests/fixtures/pages" -type f -name '*.html' | sort | while read -r file; do
    for flags in 00 0f 3f 7f bf ff; do
        { printf "\\x$flags"; cat "$file"; } >"$work/seeds/$flags-$(basename "$file")"
    done
done
python3 - "$work/big.html" <<'PY'
import sys
filler = b"<p>" + b"plain text of the page " * 40 + b"</p>\n"
page = [b"\x00/x.html\n<html><head><title>t</title></head><body>"]
for _ in range(1000):
    page += [filler * 16, b'<a href="/x.html">x</a>\n']
page.append(b"</body></html>")
open(sys.argv[1], "wb").write(b"".join(page))
PY

export QT_QPA_PLATFORM=offscreen CRAWLMERE_HOME="$work/home"
quarantine() { [ "$1" = off ] && echo "detect_leaks=0:quarantine_size_mb=0" || echo "detect_leaks=0"; }

printf '%-10s %-11s %10s %9s\n' "case" "quarantine" "peak MB" "seconds"
for q in on off; do
    ASAN_OPTIONS="$(quarantine $q)" /usr/bin/time -f "%M %e" -o "$work/time" "$target" "$work/big.html" >/dev/null 2>&1
    read -r kb seconds <"$work/time"
    printf '%-10s %-11s %10d %9s\n' "big page" "$q" "$((kb / 1024))" "$seconds"
done

echo
printf '%-11s %s\n' "quarantine" "inputs:rss MB, every tenth of $runs"
for q in on off; do
    rm -rf "$work/corpus" && mkdir -p "$work/corpus"
    (cd "$work" && ASAN_OPTIONS="$(quarantine $q)" "$target" "$work/corpus" "$work/seeds" -seed=11 -runs="$runs" \
        -max_len=262144 -timeout=10 -rss_limit_mb=4096 -artifact_prefix="$work/" >"$work/run-$q.log" 2>&1 || true)
    printf '%-11s ' "$q"
    grep -oE '^#[0-9]+.* rss: [0-9]+Mb' "$work/run-$q.log" | awk -v step="$((runs / 10))" '
        { n = substr($1, 2) + 0; rss = $NF; sub(/Mb/, "", rss) }
        n >= mark { printf "%d:%d ", n, rss; mark = n - n % step + step }'
    echo
done
