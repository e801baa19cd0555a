#!/bin/bash
# Opens the program's main window on the X display of the run (a virtual display), waits until a
# visible window of the class Crawlmere is there (its title is the selected site's starting
# URL), presses Ctrl+Q in it and waits for the program to end. Exits with the program's
# status; 90 when no window showed, 91 when Ctrl+Q did not end it.
# Usage: open-and-quit.sh PROGRAM [SCREENSHOT.png]
program="$1"
shot="$2"
"$program" &
pid=$!
window=""
for _ in $(seq 1 150); do
    window=$(xdotool search --onlyvisible --class 'Crawlmere' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
if [ -z "$window" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid"
    exit 90
fi
sleep 0.5
if [ -n "$shot" ] && command -v import > /dev/null; then
    import -window root "$shot"
fi
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+q
for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait "$pid"
    exit 91
fi
wait "$pid"
