#!/bin/sh
# Runs a command on a private Xvfb display, for the tests that drive windows:
#   tools/with-xvfb.sh COMMAND [ARGS...]
# The display is started here (a free number chosen by Xvfb itself) and
# killed by its process id when the command ends, also on failure or
# interruption. Wine programs get their own prefix (YKT_WINEPREFIX, default
# build/wineprefix-dialog) so that they never share a registry with tests
# running beside them; its wineserver is ended at the end as well, since its
# desktop process belongs to this display.
# Screenshots: a program writes NAME.req (geometry WxH+X+Y) into
# $YKT_SHOT_DIR; this script answers with NAME.png cut from the screen.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
export YKT_WINEPREFIX="${YKT_WINEPREFIX:-$top/build/wineprefix-dialog}"
shots="${YKT_ARTIFACTS:-$top/build/artifacts}"
mkdir -p "$shots"

wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
work=$(mktemp -d)
xvfb_pid=""
watch_pid=""
cleanup() {
    [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null || true
    # The prefix's programs first, while their display is still there.
    if [ -d "$YKT_WINEPREFIX" ]; then
        WINEPREFIX="$YKT_WINEPREFIX" "$wineserver" -k 2>/dev/null || true
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# A desktop left by an earlier run may still point at a display that is gone.
if [ -d "$YKT_WINEPREFIX" ]; then
    WINEPREFIX="$YKT_WINEPREFIX" "$wineserver" -k 2>/dev/null || true
fi

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 3>"$work/display" &
xvfb_pid=$!
i=0
while [ ! -s "$work/display" ]; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "with-xvfb: Xvfb did not start" >&2
        exit 1
    fi
    sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"

# Screenshot requests, answered until the command ends.
(
    while :; do
        for req in "$shots"/*.req; do
            [ -e "$req" ] || continue
            name=${req%.req}
            geometry=$(cat "$req")
            rm -f "$req"
            if xwd -root -silent -display "$DISPLAY" | convert xwd:- -crop "$geometry" +repage "png:$name.tmp"; then
                mv "$name.tmp" "$name.png"
            fi
        done
        sleep 0.05
    done
) &
watch_pid=$!

"$top/tools/wine-run.sh" --init
export YKT_SHOT_DIR="Z:$shots"
"$@"
