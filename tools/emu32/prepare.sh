#!/bin/bash
# One-time preparation for run-tests.sh (Debian 12 amd64, root, Debian packages only).
#   prepare.sh [--display]      (--display also makes sure Xvfb and a CJK font are there)
#   prepare.sh --check [--display]   only say whether everything is there: 0, or 1 with
#                                    what is missing and the command that prepares it
# Each step leaves a stamp, written last, so a second run checks the stamps and is done
# in well under a second, and an interrupted step is redone. Cache: $YKT_EMU32_CACHE
# (default /var/cache/vb-ykt-emu32). Progress on stdout; on failure one line on stderr.
set -uo pipefail
. "$(dirname "$(readlink -f "$0")")/lib.sh"
fail() { echo "emu32-prepare: FAILED: $*" >&2; exit 1; }
say()  { echo "emu32-prepare: $*"; }
T0=$(now)
QPID=
trap '[ -n "$QPID" ] && kill "$QPID" 2>/dev/null' EXIT   # never leave a guest behind
trap 'exit 130' INT TERM HUP

CHECK=0; DISPLAY_PKGS=0
for a in "$@"; do
  case $a in --check) CHECK=1 ;; --display) DISPLAY_PKGS=1 ;; *) fail "unknown argument: $a" ;; esac
done
PKGS="qemu-system-x86 busybox-static wine32:i386 xz-utils"
[ $DISPLAY_PKGS = 1 ] && PKGS="$PKGS xvfb xauth fonts-wqy-microhei"

missing_pkgs() {
  local p out=""
  for p in $PKGS; do
    dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || out="$out $p"
  done
  echo $out
}
kernel_ok() {
  [ -s "$CACHE/kernel/stamp" ] && [ -s "$CACHE/kernel/modules/order" ] || return 1
  # an ELF vmlinux, or the bzImage fallback ("HdrS" at 0x202)
  [ "$(head -c4 "$CACHE/kernel/vmlinux" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 7f454c46 ] ||
    [ "$(dd if="$CACHE/kernel/vmlinux" bs=1 skip=514 count=4 2>/dev/null)" = HdrS ] || return 1
  local m; while read -r m; do [ -s "$CACHE/kernel/modules/$m" ] || return 1; done < "$CACHE/kernel/modules/order"
}
# the initramfs must be rebuilt whenever what goes into it changes
initrd_sum() { cat "$EMU/guest/init" /bin/busybox "$CACHE/kernel/stamp" "$CACHE/kernel/modules/order" 2>/dev/null | sha256sum | cut -c1-16; }
initrd_ok() { [ -s "$CACHE/initrd.cpio.gz" ] && [ "$(cat "$CACHE/initrd.stamp" 2>/dev/null)" = "$(initrd_sum)" ]; }
# a new wine or a changed recipe means a new prefix
prefix_sum() { { dpkg-query -W -f='${Version}' wine32:i386; cat "$EMU/guest/mkprefix.sh"; } 2>/dev/null | sha256sum | cut -c1-16; }
prefix_ok() {
  [ -f "$CACHE/prefix/system.reg" ] && [ -f "$CACHE/prefix/drive_c/windows/system32/kernel32.dll" ] &&
  [ "$(cat "$CACHE/prefix.stamp" 2>/dev/null)" = "$(prefix_sum)" ]
}
zh_locale_ok() { locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; }
all_ok() { [ -z "$(missing_pkgs)" ] && zh_locale_ok && kernel_ok && initrd_ok && prefix_ok; }

# Fast path without any lock: a running run-tests.sh holds a shared lock for its whole run.
all_ok && exit 0
if [ $CHECK = 1 ]; then
  what=""
  [ -z "$(missing_pkgs)" ] || what="$what packages ($(missing_pkgs))"
  zh_locale_ok || what="$what zh_CN.UTF-8 locale"
  kernel_ok || what="$what kernel"
  initrd_ok || what="$what initramfs"
  prefix_ok || what="$what 32-bit wine prefix"
  fail "the emulated i686 guest is not prepared; missing:$what. Prepare it with: make emu32 (as root)"
fi

[ "$(id -u)" = 0 ] || fail "preparation needs root (packages, $CACHE)"
mkdir -p "$CACHE" || fail "cannot create $CACHE"
exec 9>"$CACHE/.lock"
if ! flock -x -n 9; then
  say "waiting for the cache lock ($CACHE/.lock): another preparation or test run is busy"
  flock -x -w 1800 9 || fail "cache lock busy for 30 min: $CACHE/.lock"
fi
all_ok && exit 0                                 # another run may have finished it meanwhile
rm -rf "$CACHE"/tmp.*                            # leftovers of an interrupted run
free_mb() { df -Pm "$1" | awk 'NR==2{print $4}'; }
LOG=$CACHE/apt.log; : > "$LOG"
APT=(apt-get -o DPkg::Lock::Timeout=600 -y -q)
# DPkg::Lock::Timeout covers dpkg's lock but not the lists lock of a concurrent
# "apt-get update": retry that one for up to 10 min ourselves.
apt_update() {
  local i
  for i in $(seq 1 60); do
    "${APT[@]}" update >"$LOG.1" 2>&1 && { cat "$LOG.1" >> "$LOG"; return 0; }
    cat "$LOG.1" >> "$LOG"
    grep -qE 'Could not get lock|Unable to lock' "$LOG.1" || return 1
    sleep 10
  done
  return 1
}

# --- 1. Debian packages ------------------------------------------------------------
MISS=$(missing_pkgs)
if [ -n "$MISS" ]; then
  say "installing: $MISS"
  [ "$(free_mb /var/cache/apt)" -ge 2500 ] || fail "less than 2.5 GB free under /var/cache/apt for packages"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 || fail "dpkg --add-architecture i386 failed"
  # update every time: the i386 lists may be missing or older than the amd64 ones
  apt_update || fail "apt-get update failed: $(grep -m1 '^E:' "$LOG.1")"
  # --no-install-recommends: wine32's recommends pull ~150 more i386 packages we never use
  DEBIAN_FRONTEND=noninteractive "${APT[@]}" install --no-install-recommends $MISS >>"$LOG" 2>&1 \
    || fail "apt-get install $MISS failed: $(grep -m1 '^E:' "$LOG") (log: $LOG)"
  MISS=$(missing_pkgs); [ -z "$MISS" ] || fail "still missing after apt-get install: $MISS"
fi
[ -x /usr/lib/wine/wine ] || fail "/usr/lib/wine/wine (wine32) is missing"
# wine32 must sit beside wine64 at the same version, else the 64-bit tests break
if [ -e /usr/lib/wine/wine64 ]; then
  /usr/lib/wine/wine64 --version >/dev/null 2>&1 || fail "/usr/lib/wine/wine64 no longer runs after installing wine32"
fi
if ! zh_locale_ok; then
  say "generating the zh_CN.UTF-8 locale"
  [ -f /etc/locale.gen ] || fail "package 'locales' is missing (needed for zh_CN.UTF-8)"
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null 2>&1 && zh_locale_ok || fail "locale-gen zh_CN.UTF-8 failed"
fi

# --- 2. kernel: stock Debian amd64 kernel (has IA32 emulation), fetched, not installed --
if ! kernel_ok; then
  [ "$(free_mb "$CACHE")" -ge 3000 ] || fail "less than 3 GB free in $CACHE"
  kpkg() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}'; }
  KPKG=$(kpkg)
  [ -n "$KPKG" ] || { apt_update; KPKG=$(kpkg); }
  [ -n "$KPKG" ] || fail "no Debian kernel package found (apt-cache depends linux-image-amd64)"
  say "kernel: $KPKG"
  T=$(mktemp -d "$CACHE/tmp.XXXXXX")
  DEB=$(ls /var/cache/apt/archives/"${KPKG}"_*_amd64.deb 2>/dev/null | head -1)
  if [ -z "$DEB" ]; then
    (cd "$T" && "${APT[@]}" download "$KPKG") >"$T/dl.log" 2>&1 \
      || fail "apt-get download $KPKG failed: $(grep -m1 '^E:' "$T/dl.log")"
    DEB=$(ls "$T/${KPKG}"_*.deb)
  fi
  mkdir -p "$T/x" "$T/k/modules"
  dpkg-deb --fsys-tarfile "$DEB" | tar -C "$T/x" -x --wildcards './boot/vmlinuz-*' './lib/modules/*' 2>/dev/null
  MD=$(echo "$T"/x/lib/modules/*)
  [ -f "$MD/modules.builtin" ] && ls "$T"/x/boot/vmlinuz-* >/dev/null 2>&1 || fail "unexpected content in $DEB"
  # The .deb has no modules.dep (depmod makes it on install, and kmod may be absent):
  # read each module's "depends=" from its .modinfo strings; load dependencies first.
  declare -A KO=() SEEN=(); ORDER=()
  while read -r f; do b=${f##*/}; b=${b%%.ko*}; KO[${b//-/_}]=$f; done < <(cd "$MD" && find kernel -name '*.ko*')
  visit() { local n=$1 d; [ -n "${SEEN[$n]:-}" ] && return; SEEN[$n]=1
            [ -n "${KO[$n]:-}" ] || { grep -qE "/$n\.ko$" "$MD/modules.builtin" && return; fail "kernel module $n not found in $KPKG"; }
            for d in $(ko_cat "$MD/${KO[$n]}" | LC_ALL=C grep -ao 'depends=[A-Za-z0-9_,-]*' | head -1 | cut -d= -f2 | tr ',-' ' _'); do
              visit "$d"; done
            ORDER+=("${KO[$n]}"); }
  ko_cat() { case $1 in *.xz) xz -dc "$1" ;; *.zst) zstd -dqc "$1" ;; *) cat "$1" ;; esac; }
  for want in virtio_pci 9pnet_virtio 9p overlay; do visit $want; done
  for m in "${ORDER[@]}"; do
    b=$(basename "$m"); b=${b%.xz}; b=${b%.zst}
    ko_cat "$MD/$m" > "$T/k/modules/$b" \
      || fail "cannot unpack module $m"
    echo "$b" >> "$T/k/modules/order"
  done
  # Uncompressed ELF kernel: QEMU boots it via PVH, skipping ~3 s of xz under TCG per boot.
  VZ=$(ls "$T"/x/boot/vmlinuz-* | head -1)
  OFF=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$VZ" | head -1 | cut -d: -f1)
  [ -n "$OFF" ] && tail -c +$((OFF + 1)) "$VZ" | xz -dcq --single-stream > "$T/k/vmlinux" 2>/dev/null
  if [ "$(head -c4 "$T/k/vmlinux" 2>/dev/null | od -An -c | tr -d ' ')" != '177ELF' ]; then
    say "no xz payload in $VZ, booting the compressed image"; cp "$VZ" "$T/k/vmlinux"
  fi
  echo "$KPKG" > "$T/k/stamp"
  rm -rf "$CACHE/kernel" && mv "$T/k" "$CACHE/kernel" && rm -rf "$T"
  kernel_ok || fail "kernel step produced an incomplete $CACHE/kernel"
fi

# --- 3. initramfs: static busybox + modules + guest/init -----------------------------
if ! initrd_ok; then
  say "building the initramfs"
  T=$(mktemp -d "$CACHE/tmp.XXXXXX"); R=$T/root
  mkdir -p "$R"/.bb/mod "$R"/{proc,sys,dev,usr,etc,tmp,root,run,var/tmp,state,mnt}
  cp /bin/busybox "$R/.bb/busybox" && cp "$CACHE"/kernel/modules/* "$R/.bb/mod/" || fail "initramfs: copy failed"
  for l in bin sbin lib lib32 lib64 libx32; do ln -s usr/$l "$R/$l"; done   # merged /usr
  chmod 1777 "$R/tmp" "$R/var/tmp"
  install -m 755 "$EMU/guest/init" "$R/init"
  (cd "$R" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$T/initrd" || fail "initramfs: cpio failed"
  mv "$T/initrd" "$CACHE/initrd.cpio.gz" && initrd_sum > "$CACHE/initrd.stamp" && rm -rf "$T"
fi

# --- 4. the 32-bit wine prefix, made inside the guest (the host cannot run wine32) ---
if ! prefix_ok; then
  [ "$(free_mb "$CACHE")" -ge 2000 ] || fail "less than 2 GB free in $CACHE for the wine prefix"
  say "creating the 32-bit wine prefix in the guest (about 2 min)"
  T=$(mktemp -d "$CACHE/tmp.XXXXXX")
  cp "$EMU/guest/mkprefix.sh" "$T/job.sh"
  rm -f "$CACHE/prefix.stamp"
  mv "$CACHE/prefix" "$T/old" 2>/dev/null         # keep it out of the guest's shares
  start_guest "$T"
  end=$(( SECONDS + ${YKT_EMU32_PREP_TIMEOUT:-900} ))
  while kill -0 "$QPID" 2>/dev/null && [ $SECONDS -lt $end ]; do sleep 1; done
  kill "$QPID" 2>/dev/null; wait "$QPID" 2>/dev/null
  cp "$T/console.log" "$CACHE/mkprefix.console.log" 2>/dev/null
  if ! grep -q '^mkprefix: wineboot at' "$T/console.log" 2>/dev/null; then
    fail "the guest did not boot (console: $CACHE/mkprefix.console.log, qemu: $(head -c 300 "$T/qemu.log" | tr '\n' ' '))"
  fi
  [ "$(cat "$T/rc" 2>/dev/null)" = 0 ] && [ -s "$T/prefix.tar" ] \
    || fail "wineboot in the guest failed (console: $CACHE/mkprefix.console.log)"
  mkdir "$T/new" && tar -C "$T/new" --strip-components=1 -xf "$T/prefix.tar" || fail "cannot unpack the prefix"
  mv "$T/new" "$CACHE/prefix" && rm -rf "$T"
  prefix_sum > "$CACHE/prefix.stamp"
  prefix_ok || fail "the new prefix is incomplete ($CACHE/prefix)"
fi
say "ready in $(dt "$T0") s (cache $CACHE)"
