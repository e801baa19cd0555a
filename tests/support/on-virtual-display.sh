#!/bin/bash
# Runs a command on a virtual X display of its own, and stops the display after it.
#
#   on-virtual-display.sh SCREEN COMMAND [ARGUMENT...]     (SCREEN: width x height x depth)
#
# Xvfb chooses a free display number itself and says which one once it takes connections
# (-displayfd). Runs started together therefore never share a number, as `xvfb-run -a` can when
# two of them look for a free one at the same moment: the second server then fails, and its
# command is left talking to the first one's display or to none. Exits with the command's status;
# 77 (skipped) when Xvfb or xauth is missing, 1 when the display does not start.
set -u
screen="$1"
shift
for tool in Xvfb xauth mcookie; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is not installed: skipped"
        exit 77
    fi
done

work="$(mktemp -d -t crawlmere-display.XXXXXX)" || exit 1
server=
stop_display() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null
    fi
    rm -rf "$work"
}
trap stop_display EXIT
trap 'exit 143' TERM INT HUP

# The server accepts every cookie in its file, whatever display the entry names; clients look up
# their display's entry, added once the server has said its number.
auth="$work/Xauthority"
cookie="$(mcookie)"
if ! xauth -q -f "$auth" add :0 . "$cookie" 2>"$work/xauth.log"; then
    echo "xauth could not write the display's cookie: $(cat "$work/xauth.log")" >&2
    exit 1
fi
mkfifo "$work/number"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -auth "$auth" 3>"$work/number" 2>"$work/Xvfb.log" &
server=$!
number=
read -r -t 60 number <"$work/number"
case "$number" in
'' | *[!0-9]*)
    echo "the virtual display did not start: $(cat "$work/Xvfb.log")" >&2
    exit 1
    ;;
esac
xauth -q -f "$auth" add ":$number" . "$cookie" 2>>"$work/xauth.log"

DISPLAY=":$number" XAUTHORITY="$auth" "$@"
status=$?
exit "$status"
