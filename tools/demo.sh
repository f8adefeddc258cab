#!/bin/sh
# A scripted till session under wine64: ykt.exe and the x86_64 Vb_Ykt.dll
# over the reader simulators, in a private wine prefix with the default
# settings. Prints a transcript (command, output, expected and actual exit
# status) and saves a screenshot of the settings dialog.
#   tools/demo.sh [BUILD_DIR]     (default build/win64, already built)
# Output: build/demo/transcript.txt, build/demo/dialog.png. Exit status 0
# when every step ended as expected.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-$top/build/win64}"
demo="$top/build/demo"
export YKT_WINEPREFIX="$demo/prefix"
export WINEPREFIX="$YKT_WINEPREFIX"
run="$top/tools/wine-run.sh"
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=wineserver

for f in "$build/Vb_Ykt.dll" "$build/ykt.exe" "$build/simulator/irdll.dll" "$build/simulator/BCIdll.dll"; do
    [ -f "$f" ] || { echo "demo: $f is missing; build first (make demo does)" >&2; exit 1; }
done

# The till folder: the library with the simulators beside it, and a card
# state that starts from the sample card on every run.
mkdir -p "$demo"
cp "$build/Vb_Ykt.dll" "$build/ykt.exe" "$build/simulator/irdll.dll" "$build/simulator/BCIdll.dll" "$demo/"
state="$demo/ykt-sim.txt"
rm -f "$state" "$demo/dialog.png"
unset YKT_SIM_STATE YKT_SIM_DELAY_MS YKT_SIM_TRACE
transcript="$demo/transcript.txt"
: >"$transcript"

xvfb_pid=""
work=$(mktemp -d)
cleanup() {
    # The prefix's desktop belongs to our display: end its server first.
    [ -d "$WINEPREFIX" ] && "$server" -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

say() { printf '%s\n' "$*" | tee -a "$transcript"; }

# A display of our own, its number chosen by Xvfb. Without one the console
# steps still run; only the screenshot is skipped.
[ -d "$WINEPREFIX" ] && "$server" -k 2>/dev/null
if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 3>"$work/display" &
    xvfb_pid=$!
    i=0
    while [ ! -s "$work/display" ] && [ $i -lt 100 ] && kill -0 "$xvfb_pid" 2>/dev/null; do
        i=$((i + 1)); sleep 0.1
    done
    if [ -s "$work/display" ]; then
        export DISPLAY=":$(cat "$work/display")"
    else
        echo "demo: Xvfb did not start; no screenshot" >&2
        xvfb_pid=""
        unset DISPLAY
    fi
else
    unset DISPLAY
fi

started=$(date +%s)
say "== Vb_Ykt.dll demo: ykt.exe (x86_64) over the reader simulator, wine prefix build/demo/prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "(creating the wine prefix: this takes a while the first time)"
fi
"$run" --init

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The default settings, as the dialog would save them on a new till.
cat >"$work/settings.reg" <<'REG'
REGEDIT4

[-HKEY_LOCAL_MACHINE\SOFTWARE\Velbrook]

[HKEY_LOCAL_MACHINE\SOFTWARE\Velbrook\Lib]
"YKT_PORT"="0"
"YKT_RATE"="9600"
"YKT_SECTOR"="7"
"YKT_KEY"="5A3C96E1B74D2F08C5A17E39"
"YKT_AUTO"="0"
"YKT_STEPSEC"="1500"
"YKT_DBSATAUS"="0"
"YKT_CODEORNO"="0"
REG
"$run" reg import "$(winpath "$work/settings.reg")" >/dev/null 2>&1 ||
    { echo "demo: cannot write the settings into the prefix" >&2; exit 1; }

# Windows drawn by wine's own desktop carry their title bars (there is no
# window manager on the display); it takes effect when the server restarts.
if [ -n "${DISPLAY:-}" ] && ! grep -q '"Default"="1024x768"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"Desktop"="Default"\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"Default"="1024x768"\n' >"$work/desktop.reg"
    "$run" reg import "$(winpath "$work/desktop.reg")" >/dev/null 2>&1
    # The dialog's "宋体" (SimSun) drawn with a Song face of the same measures.
    for face in 宋体 SimSun; do
        "$run" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'AR PL UMing CN' /f >/dev/null 2>&1
    done
    "$run" reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /d 0 /f >/dev/null 2>&1
    "$server" -k 2>/dev/null
    "$server" -w 2>/dev/null
    "$run" --init
fi

set_value() {
    "$run" reg add 'HKLM\SOFTWARE\Velbrook\Lib' /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>&1
    say ""
    say "-- setting $1 = $2"
}

steps=0
failures=0
# step TITLE EXPECTED_STATUS EXPECTED_TEXT ARGS...
step() {
    title=$1 want=$2 text=$3
    shift 3
    steps=$((steps + 1))
    say ""
    say "-- step $steps: $title"
    say "\$ ykt $*"
    (cd "$demo" && "$run" "$demo/ykt.exe" "$@") >"$work/out" 2>&1
    got=$?
    sed 's/^/    /' "$work/out" | tee -a "$transcript"
    verdict=ok
    [ "$got" = "$want" ] || verdict=MISMATCH
    if [ -n "$text" ] && ! grep -qF -- "$text" "$work/out"; then verdict=MISMATCH; fi
    [ $verdict = ok ] || failures=$((failures + 1))
    say "   expected: exit $want${text:+, output with \"$text\"}   got: exit $got   [$verdict]"
}

step "the stored settings (password masked)" 0 "YKT_CODEORNO" show
step "library present, reader opens with the stored settings" 0 "vbInitCom（结果 0）" probe
step "read the card: card code, 9 digits" 0 "卡号：000000012" read
step "charge 2.50 (250 hundredths) to that card" 0 "余额：97.50 元（卡片计数 1）" deduct 000000012 250
step "read again, with the reader's beep" 0 "卡号：000000012" read --beep
set_value YKT_CODEORNO 1
step "serial-number mode: 10 digits" 0 "卡号：3052741689" read
set_value YKT_DBSATAUS 1
sed -i 's/^card_state=.*/card_state=2/' "$state"
say "-- the card system now reports the card as unusable (card_state=2 in $(basename "$state"))"
step "card-state check on, card unusable: result -1" 2 "（结果 -1）" read
say ""
say "-- the card on the reader ($(basename "$state")):"
grep -v '^#' "$state" | sed 's/^/    /' | tee -a "$transcript"

# The settings dialog, photographed while it is open; ykt closes it itself.
say ""
if [ -n "${DISPLAY:-}" ]; then
    say "-- the settings dialog: ykt settings --close-after 4000 (screenshot build/demo/dialog.png)"
    (cd "$demo" && exec "$run" "$demo/ykt.exe" settings --close-after 4000) >"$work/settings" 2>&1 &
    ykt_pid=$!
    i=0
    while [ $i -lt 300 ] && kill -0 "$ykt_pid" 2>/dev/null && ! grep -q '设置窗口已打开' "$work/settings"; do
        i=$((i + 1)); sleep 0.1
    done
    sleep 1  # let it paint
    if xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$demo/dialog.png" 2>/dev/null; then
        say "    screenshot saved: build/demo/dialog.png"
    else
        say "    screenshot failed"
    fi
    grep -q '设置窗口已打开' "$work/settings" || say "    (no dialog window appeared; the screenshot shows the screen as it was)"
    i=0
    while [ $i -lt 200 ] && kill -0 "$ykt_pid" 2>/dev/null; do i=$((i + 1)); sleep 0.1; done
    kill -0 "$ykt_pid" 2>/dev/null && kill "$ykt_pid" 2>/dev/null
    wait "$ykt_pid" 2>/dev/null
    sed 's/^/    /' "$work/settings" | tee -a "$transcript"
else
    say "-- no X display: the settings dialog screenshot is skipped"
fi

say ""
say "== $steps steps, $failures mismatched, $(( $(date +%s) - started )) s; transcript: build/demo/transcript.txt"
[ "$failures" = 0 ]
