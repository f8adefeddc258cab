#!/bin/bash
# Run 32-bit Windows test programs under wine32 in one QEMU guest (this host cannot
# execute 32-bit code itself).
#
#   run-tests.sh [--prepared] [--display] DIR ENTRY [ENTRY...]
#
# DIR    build folder, shared read-write; each program runs in its own folder under it.
# ENTRY  "prog.exe [ARG...]"  a path relative to DIR, then arguments, split at blanks
#                             (one shell word per program: "t.exe --gtest_filter=A.*")
#        @FILE                one ENTRY per line of FILE; empty lines and #-lines skipped
#        An ENTRY that names an existing file as a whole is taken as a program without
#        arguments (so "sub/my prog.exe" works); arguments cannot contain blanks.
# --display  start Xvfb in the guest and export DISPLAY (for programs that open windows)
# --prepared do not prepare the guest, only check that prepare.sh has done so (the
#            test stage: `make emu32` is the step that prepares)
#
# Per program: "emu32: RUN name", its stdout/stderr as it runs, then
# "emu32: PASS name (N s)" or "emu32: FAIL name (exit X)"; at the end
# "emu32: N passed, M failed". Exit status 0 only if every program exited 0.
# Env: YKT_EMU32_TIMEOUT     seconds per program (default 300), then it is killed
#      YKT_EMU32_BOOT_TIMEOUT seconds for boot + wine start (default 300)
#      YKT_EMU32_CACHE       prepared files (default /var/cache/vb-ykt-emu32)
#      YKT_EMU32_KEEP=1      keep the state folder (console.log etc.) for debugging
set -uo pipefail
. "$(dirname "$(readlink -f "$0")")/lib.sh"
TIMEOUT=${YKT_EMU32_TIMEOUT:-300}
BOOT_TIMEOUT=${YKT_EMU32_BOOT_TIMEOUT:-300}

DISP=0; PREPARED=0
while [ $# -gt 0 ]; do
  case $1 in --display) DISP=1; shift ;; --prepared) PREPARED=1; shift ;; *) break ;; esac
done
[ $# -ge 2 ] || { sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0" >&2; exit 2; }
DIR=$(readlink -f "$1") && [ -d "$DIR" ] || die "no such folder: $1"
shift
ENTRIES=()
for e in "$@"; do
  if [ "${e#@}" != "$e" ]; then
    [ -f "${e#@}" ] || die "no such list file: ${e#@}"
    while IFS= read -r l || [ -n "$l" ]; do
      l=$(printf '%s' "$l" | sed 's/^[[:space:]]*//;s/[[:space:]]*$//')
      case $l in ''|'#'*) ;; *) ENTRIES+=("$l") ;; esac
    done < "${e#@}"
  else
    ENTRIES+=("$e")
  fi
done
[ ${#ENTRIES[@]} -gt 0 ] || die "no programs to run"

"$EMU/prepare.sh" $([ $PREPARED = 1 ] && echo --check) $([ $DISP = 1 ] && echo --display) ||
  die "preparation failed, nothing was run"

# Private state folder per invocation: two runs at once never share files.
ST=$(mktemp -d "${TMPDIR:-/tmp}/ykt-emu32.XXXXXX") || die "mktemp failed"
QPID=; TAILS=
cleanup() {
  [ -n "$TAILS" ] && kill $TAILS 2>/dev/null
  [ -n "$QPID" ] && kill "$QPID" 2>/dev/null && wait "$QPID" 2>/dev/null
  if [ -n "${YKT_EMU32_KEEP:-}" ]; then echo "emu32: state kept in $ST" >&2; else rm -rf "$ST"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
# shared lock: prepare.sh will not replace the prefix under a running guest
exec 9>"$CACHE/.lock" && flock -s -w 1800 9 || die "cache lock busy: $CACHE/.lock"

NAMES=(); n=0
for e in "${ENTRIES[@]}"; do
  if [ -f "$DIR/$e" ]; then words=("$e"); else read -ra words <<< "$e"; fi
  n=$((n+1)); J=$ST/jobs/$n; mkdir -p "$J"
  NAMES[$n]=$e
  printf '%s\n' "${words[0]}" > "$J/exe"
  printf '%s\n' "${words[@]:1}" | sed '/^$/d' > "$J/args"
  [ -f "$DIR/${words[0]}" ] || echo missing > "$J/missing"
done
printf 'EMU_TIMEOUT=%s\nEMU_DISPLAY=%s\n' "$TIMEOUT" "$DISP" > "$ST/env"
cp "$EMU/guest/run.sh" "$ST/job.sh"

# wait_for FILE SECONDS: 0 when FILE appears, 1 when the guest is gone, 2 on timeout
wait_for() {
  local end=$((SECONDS + $2))
  while [ ! -e "$1" ]; do
    kill -0 "$QPID" 2>/dev/null || { sleep 0.3; [ -e "$1" ]; return $(( $? ? 1 : 0 )); }
    [ $SECONDS -lt $end ] || return 2
    sleep 0.2
  done
}
show_console() { echo "emu32: guest console (last lines):" >&2; tail -n 25 "$ST/console.log" "$ST/qemu.log" >&2 2>/dev/null; }

T0=$(now)
start_guest "$ST" "$DIR"
PASS=0; FAIL=0; GUEST=up
wait_for "$ST/ready" "$BOOT_TIMEOUT"; r=$?
if [ $r = 0 ]; then
  echo "emu32: guest ready in $(dt "$T0") s (boot + wine start)"
else
  GUEST=down
  [ $r = 2 ] && echo "emu32: guest not ready after $BOOT_TIMEOUT s" >&2 || echo "emu32: guest stopped before it was ready" >&2
  show_console
fi
for i in $(seq 1 $n); do
  J=$ST/jobs/$i; name=${NAMES[$i]}
  if [ $GUEST = down ]; then
    echo "emu32: FAIL $name (not run: guest down)"; FAIL=$((FAIL+1)); continue
  fi
  echo "emu32: RUN $name"
  [ -f "$J/missing" ] && echo "emu32: no such program: $DIR/$(cat "$J/exe")" >&2
  wait_for "$J/started" 60; r=$?
  if [ $r = 0 ]; then
    # follow both files live until rc appears (tail --pid drains them before it exits)
    ( wait_for "$J/rc" $((TIMEOUT + 60)) ) & W=$!
    tail -s 0.2 --pid=$W -c +1 -f "$J/stdout" & T1=$!
    tail -s 0.2 --pid=$W -c +1 -f "$J/stderr" >&2 & T2=$!
    TAILS="$T1 $T2"
    wait $W; r=$?
    wait $T1 $T2 2>/dev/null; TAILS=
    # keep our status line on a line of its own
    [ -s "$J/stdout" ] && [ "$(tail -c1 "$J/stdout" | od -An -tx1 | tr -d ' ')" != 0a ] && echo
  fi
  if [ $r = 0 ]; then
    read -r rc secs to < "$J/rc"
    if [ "$rc" = 0 ]; then echo "emu32: PASS $name ($secs s)"; PASS=$((PASS+1)); continue; fi
    if [ "$to" = 1 ]; then echo "emu32: FAIL $name (timeout: killed after $TIMEOUT s)"
    else echo "emu32: FAIL $name (exit $rc)"; fi
    FAIL=$((FAIL+1)); continue
  fi
  # no exit code came back: the guest died or hung as a whole
  FAIL=$((FAIL+1)); GUEST=down
  [ $r = 2 ] && echo "emu32: FAIL $name (guest hung)" || echo "emu32: FAIL $name (guest died)"
  show_console
  kill "$QPID" 2>/dev/null
done
# the guest powers itself off after the last program
for i in $(seq 1 150); do kill -0 "$QPID" 2>/dev/null || break; sleep 0.2; done
kill "$QPID" 2>/dev/null; wait "$QPID" 2>/dev/null; QPID=
echo "emu32: total $(dt "$T0") s"
echo "emu32: $PASS passed, $FAIL failed"
[ $FAIL = 0 ]
