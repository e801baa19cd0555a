#!/bin/sh
# Runs a test program on a virtual X display; exits 77 (skipped) when xvfb-run is missing.
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "xvfb-run is not installed: skipped"
    exit 77
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
