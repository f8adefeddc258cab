#!/bin/sh
# Guest job of run-tests.sh. /state/env sets EMU_TIMEOUT and EMU_DISPLAY;
# /state/jobs/1, 2, ... each hold exe (path under /job) and args (one per line).
# Per program it writes stdout, stderr, then "started", and at the end "rc":
# "EXIT SECONDS TIMEDOUT". The host follows these files over the shared folder.
. /state/env
t() { cut -d' ' -f1 /proc/uptime; }
mkdir -p /job /wpfx /ovl /root/.wine
# cache=loose, not none/mmap: uncached 9p reads can come back short, and wine reads
# the sections of a PE file that is not page-aligned with one pread, so pages of a large
# exe or DLL (> ~0.5 MB) stayed zero and it crashed. Nothing changes DIR during a run.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,rw,cache=loose job /job \
  || echo "guest: mount job failed"
# The prepared prefix stays pristine on the host: read-only below, RAM above.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,ro,cache=loose wpfx /wpfx \
  || echo "guest: mount prefix failed"
mount -t tmpfs -o size=1g tmpfs /ovl && mkdir -p /ovl/upper /ovl/work
mount -t overlay -o lowerdir=/wpfx,upperdir=/ovl/upper,workdir=/ovl/work overlay /root/.wine \
  || echo "guest: overlay mount failed"
export WINEPREFIX=/root/.wine WINEARCH=win32 WINEDEBUG=-all
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

if [ "$EMU_DISPLAY" = 1 ]; then
  # xkbcomp writes compiled keymaps under /var/lib/xkb; -ac: nothing else can reach
  # this guest, so no xauth cookie is needed.
  mkdir -p /var/lib/xkb /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
  Xvfb :99 -screen 0 1024x768x24 -nolisten tcp -ac >/state/xvfb.log 2>&1 &
  i=0; while [ ! -S /tmp/.X11-unix/X99 ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done
  [ -S /tmp/.X11-unix/X99 ] || echo "guest: Xvfb did not start"
  export DISPLAY=:99
fi

# Start wineserver and wine's services once, before the first program, so each program
# costs only its own run time (and its timeout does not include this ~10 s).
/usr/lib/wine/wineserver -p
/usr/lib/wine/wine cmd /c exit </dev/null >/state/warmup.log 2>&1
t > /state/ready

n=1
while [ -d /state/jobs/$n ]; do
  J=/state/jobs/$n
  IFS= read -r EXE < $J/exe
  set --
  while IFS= read -r a; do set -- "$@" "$a"; done < $J/args
  : > $J/stdout; : > $J/stderr; : > $J/started
  t0=$(t); to=0
  # working directory = the program's folder, like a double click on Windows
  if [ -f "/job/$EXE" ] && cd "$(dirname "/job/$EXE")"; then
    timeout -k 5 "$EMU_TIMEOUT" /usr/lib/wine/wine "/job/$EXE" "$@" </dev/null >>$J/stdout 2>>$J/stderr
    rc=$?
  else
    rc=127
  fi
  cd /root
  secs=$(awk -v a="$t0" -v b="$(t)" 'BEGIN{printf "%.1f", b-a}')
  # timeout(1) says 124 (or 137 after -k); a program may return 124 itself, so check the clock
  case $rc in 124|137) awk -v s="$secs" -v l="$EMU_TIMEOUT" 'BEGIN{exit !(s >= l)}' && to=1 ;; esac
  echo "$rc $secs $to" > $J/rc.tmp && mv $J/rc.tmp $J/rc
  n=$((n+1))
done
/usr/lib/wine/wineserver -k 2>/dev/null
echo "guest: done at $(t)s"
