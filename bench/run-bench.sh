#!/bin/sh
# `make bench`: the cost of each card export against its floor under wine64,
# the time until the settings dialog is visible (on a private X display, in a
# private wine prefix, so no other run's desktop is disturbed), and the size
# of the product.
#   bench/run-bench.sh [call_bench.exe options: --runs=7 --calls=400]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
export YKT_WINEPREFIX="${YKT_WINEPREFIX:-$top/build/wineprefix-bench}"

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    # This prefix's server owns a desktop on our display: end it with the display.
    [ -d "$YKT_WINEPREFIX" ] && WINEPREFIX="$YKT_WINEPREFIX" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

dialog=""
if command -v Xvfb >/dev/null 2>&1; then
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 3>"$work/display" &
    xvfb_pid=$!
    i=0
    while [ ! -s "$work/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    if [ -s "$work/display" ]; then
        export DISPLAY=":$(cat "$work/display")"
        dialog="--dialog"
    fi
fi
[ -n "$dialog" ] || echo "bench: no X display (Xvfb missing or not starting): the dialog is not timed"
# A desktop left by an earlier run may still point at a display that is gone.
[ -d "$YKT_WINEPREFIX" ] && WINEPREFIX="$YKT_WINEPREFIX" /usr/lib/wine/wineserver64 -k 2>/dev/null || true

cd "$top/build/win64"
"$top/tools/wine-run.sh" --init
"$top/tools/wine-run.sh" call_bench.exe $dialog "$@"

dll="$top/build/win32/Vb_Ykt.dll"
if [ -f "$dll" ]; then
    echo "build/win32/Vb_Ykt.dll: $(stat -c %s "$dll") bytes (built $(date -r "$dll" '+%F %T'))"
else
    echo "build/win32/Vb_Ykt.dll: not built"
fi
