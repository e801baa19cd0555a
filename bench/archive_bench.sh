#!/usr/bin/env bash
# Archive benchmark: a generated static site (2,000 pages by default) served by nginx on
# 127.0.0.1 is scanned by `crawlmere --headless` with archiving on and exported in Process mode,
# and mirrored by `httrack` as the baseline. For each copy: the time, the pages (HTML files) and
# files it holds, and its broken local links as crawlmere finds them scanning the copy over
# file://. The generated site itself holds one broken link in ten pages (/missing/<i>.html).
#
#   bash bench/archive_bench.sh
#   BENCH_PAGES=500 bash bench/archive_bench.sh
#
# CRAWLMERE names the program (default build/release/crawlmere, as scripts/run builds it);
# BENCH_DIR the work folder (default build/archive-bench); BENCH_PORT the port (default 18090).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

crawlmere="${CRAWLMERE:-$root/build/release/crawlmere}"
pages="${BENCH_PAGES:-2000}"
work="${BENCH_DIR:-$root/build/archive-bench}"
port="${BENCH_PORT:-18090}"
threads="${BENCH_THREADS:-12}"

# shellcheck source=bench/nginx_site.sh
source "$root/bench/nginx_site.sh"
require_tools archive_bench nginx wget httrack /usr/bin/time python3
require_program archive_bench "$crawlmere"
mkdir -p "$work"

site="$work/site-$pages"
if [ ! -f "$site/.complete" ]; then
    rm -rf "$site"
    python3 "$root/bench/make_crawl_site.py" --pages "$pages" --out "$site"
    touch "$site/.complete"
fi
run="$work/run-$pages"
rm -rf "$run"
mkdir -p "$run/home" "$run/export"
# The archive folder lives under a private home, so the run never touches the real one.
export CRAWLMERE_HOME="$run/home"

# Broken links of a local copy: crawlmere scanning it from its start page over file://.
bad_links_of() {
    "$crawlmere" --headless "$1" --set "numberOfThreads=$threads" >"$2" 2>/dev/null || true
    awk -F': ' '/^Bad links/ { print $2 }' "$2"
}
html_files() { find "$1" -type f \( -name '*.html' -o -name '*.htm' \) | wc -l; }
all_files() { find "$1" -type f | wc -l; }

start_nginx "$site"

# Scan without archiving, for the archive's own cost.
/usr/bin/time -v -o "$run/plain.time" "$crawlmere" --headless "http://127.0.0.1:$port/" \
    --set "numberOfThreads=$threads" --set delay=0 >"$run/plain.out" 2>"$run/plain.err"
# Scan with archiving, then the Process export.
/usr/bin/time -v -o "$run/archive.time" "$crawlmere" --headless "http://127.0.0.1:$port/" \
    --set "numberOfThreads=$threads" --set delay=0 --set shouldArchive=YES \
    --set "archiveSaveLocation=$run/export" --default exportEntireSite_Process=YES \
    >"$run/archive.out" 2>"$run/archive.err"
# Counted now: the next scan (of a copy, below) empties the archive folder, as every scan does.
archive_files="$(find "$run/home" -type d -name archive -exec find {} -type f \; | wc -l)"
export_line="$(grep '^Archive:' "$run/archive.out")"
export_folder="$(sed -n 's/^Archive: exported to \(.*\) ([0-9]* files.*/\1/p' "$run/archive.out")"
export_seconds="$(sed -n 's/.* files in \([0-9.]*\) s.*/\1/p' "$run/archive.out")"
c_start="$(find "$export_folder" -maxdepth 2 -name index.html | head -1)"

# httrack's mirror of the same site: 12 connections, at most HTTRACK_RATE new connections a
# second (its own default of 10 and its transfer-rate cap make it wait; -%! lifts its limits),
# no wait for each link's type before the next (-%N0: with it, about one link a second here),
# robots.txt not read, no top index.
/usr/bin/time -v -o "$run/httrack.time" httrack "http://127.0.0.1:$port/" -O "$run/httrack" \
    -q -%! -c"$threads" -%c"${HTTRACK_RATE:-1000}" -A1000000000 -%N0 -s0 -I0 -%v0 >"$run/httrack.out" 2>&1 || true
h_start="$run/httrack/127.0.0.1_$port/index.html"
stop_nginx

c_bad="$(bad_links_of "file://$c_start" "$run/crawlmere-copy.out")"
h_bad="$(bad_links_of "file://$h_start" "$run/httrack-copy.out")"
s_bad="$(awk -F': ' '/^Bad links/ { print $2 }' "$run/plain.out")"

results="$work/results.txt"
{
    echo "archive benchmark $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores, $pages pages, numberOfThreads $threads"
    echo "site over http: $s_bad bad links (its own /missing/ links)"
    echo "crawlmere scan without archive: $(wall_seconds "$run/plain.time") s, peak $(peak_mb "$run/plain.time") MB"
    echo "crawlmere scan with archive + Process export: $(wall_seconds "$run/archive.time") s, peak $(peak_mb "$run/archive.time") MB"
    echo "  archive folder: $archive_files files (index.plist included)"
    echo "  Process export: $export_seconds s, $(html_files "$export_folder") pages, $(all_files "$export_folder") files"
    echo "  copy over file://: $c_bad bad links (a link to a page not archived leads to its address on the site)"
    echo "httrack mirror: $(wall_seconds "$run/httrack.time") s, peak $(peak_mb "$run/httrack.time") MB, $(html_files "$run/httrack/127.0.0.1_$port") pages, $(all_files "$run/httrack/127.0.0.1_$port") files"
    echo "  copy over file://: $h_bad bad links (httrack saves the server's 404 pages as files)"
    echo "$export_line"
} | tee "$results"
