#!/bin/sh
# Runs an x86_64 Windows program under wine64 in the project's private prefix,
# with ANSI code page 936 (the locale zh_CN.UTF-8) as on the tills.
#   tools/wine-run.sh PROGRAM.exe [ARGS...]
#   tools/wine-run.sh --init     create the prefix and start the server, then return
# One wineserver stays up for a while between programs, so only the first
# program of a run pays for the server's start.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${YKT_WINEPREFIX:-$top/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs in a test prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=wineserver

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Creating a prefix takes seconds; let parallel callers wait for one another.
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$wine" wineboot --init >/dev/null 2>&1 || true
            "$server" -w
        fi
    ) 9>"$WINEPREFIX.lock"
fi
# Wine's helper processes (services, explorer) start with the first program
# after the server and inherit its standard output; a pipe from a test runner
# would then stay open until the server exits. Start them here, detached.
socket="/tmp/.wine-$(id -u)/$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))/socket"
if [ ! -S "$socket" ]; then
    "$server" -p300 </dev/null >/dev/null 2>&1 || true
    "$wine" wineboot </dev/null >/dev/null 2>&1 || true
else
    "$server" -p300 </dev/null >/dev/null 2>&1 || true
fi

[ "${1:-}" = "--init" ] && exit 0
exec "$wine" "$@"
