#!/bin/sh
# Guest job of prepare.sh: create the 32-bit wine prefix in guest RAM, then hand it to
# the host as one tar file (one big 9p write is much faster than thousands of small ones).
# The zh_CN locale is set already here so later runs don't re-run wine's locale update.
export WINEPREFIX=/root/.wine WINEARCH=win32 WINEDEBUG=-all
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# no Mono/Gecko install prompts; no desktop menu entries
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
t0=$(cut -d' ' -f1 /proc/uptime)
echo "mkprefix: wineboot at ${t0}s"
/usr/lib/wine/wine wineboot -i </dev/null >/state/wineboot.log 2>&1
rc=$?
/usr/lib/wine/wineserver -w
echo "mkprefix: wineboot rc=$rc at $(cut -d' ' -f1 /proc/uptime)s"
[ -f /root/.wine/system.reg ] || rc=1
tar -C /root -cf /state/prefix.tar .wine || rc=1
echo "mkprefix: tar done at $(cut -d' ' -f1 /proc/uptime)s ($(du -sh /root/.wine | cut -f1))"
echo $rc > /state/rc
