#!/usr/bin/env bash
# How long the main window takes to answer while a scan's start clears a page archive of 4,000
# files: runs the desktop scenario tests/desktop/archive_clearing.py under xvfb-run with a bound
# of 100 ms (CRAWLMERE_ANSWER_BOUND_MS to change it) and prints its slowest answer. The test
# suite runs the same scenario with a bound a loaded machine meets.
#
#   bash bench/archive_clearing_bench.sh      # CRAWLMERE names the program (build/release/crawlmere)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
if [ ! -x "$crawlmere" ]; then
    echo "archive_clearing_bench: no program at $crawlmere (run bash scripts/run first)" >&2
    exit 1
fi
export CRAWLMERE_ANSWER_BOUND_MS="${CRAWLMERE_ANSWER_BOUND_MS:-100}"
exec xvfb-run -a -s "-screen 0 1280x800x24" python3 -B "$root/tests/desktop/archive_clearing.py" \
    "$crawlmere" "$(dirname "$crawlmere")"
