# Sourced by prepare.sh and run-tests.sh: paths and the QEMU command line.
EMU=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Outside the source tree: the prefix alone is ~0.6 GB and must survive `git clean`.
CACHE=${YKT_EMU32_CACHE:-/var/cache/vb-ykt-emu32}
WINE_PKGS="wine32:i386"

die() { echo "emu32: $*" >&2; exit 2; }
now() { awk '{print $1}' /proc/uptime; }           # sub-second clock for timings
dt()  { awk -v a="$1" -v b="$(now)" 'BEGIN{printf "%.1f", b-a}'; }

# start_guest STATEDIR [JOBDIR]: boot the guest in the background; it runs STATEDIR/job.sh
# and powers off. Sets QPID. Console (kernel + job log) goes to STATEDIR/console.log.
#  - TCG only (no KVM here); -smap because QEMU 7.2's TCG with SMAP oopses at iret
#    on every 32-bit process.
#  - the uncompressed vmlinux boots through PVH, ~3 s faster than bzImage under TCG.
#  - host /usr and /etc read-only: the guest runs the host's own wine32 and locales.
start_guest() {
  local st=$1 job=${2:-} esc
  esc() { printf '%s' "$1" | sed 's/,/,,/g'; }     # QEMU option-value escaping
  local a=(qemu-system-x86_64 -machine pc -accel tcg,thread=multi
    -cpu max,-smap -smp "${YKT_EMU32_SMP:-2}" -m "${YKT_EMU32_MEM:-2048}"
    -kernel "$CACHE/kernel/vmlinux" -initrd "$CACHE/initrd.cpio.gz"
    -append "console=ttyS0 quiet loglevel=3 panic=-1 mitigations=off"
    -display none -serial "file:$st/console.log" -monitor none -no-reboot -nodefaults
    -virtfs local,path=/usr,mount_tag=usr,security_model=none,readonly=on,multidevs=remap
    -virtfs local,path=/etc,mount_tag=etc,security_model=none,readonly=on,multidevs=remap
    -virtfs "local,path=$(esc "$st"),mount_tag=state,security_model=none,multidevs=remap")
  [ -n "$job" ] && a+=(-virtfs "local,path=$(esc "$job"),mount_tag=job,security_model=none,multidevs=remap")
  [ -d "$CACHE/prefix" ] && a+=(-virtfs "local,path=$(esc "$CACHE/prefix"),mount_tag=wpfx,security_model=none,readonly=on,multidevs=remap")
  "${a[@]}" </dev/null >"$st/qemu.log" 2>&1 &
  QPID=$!
}
