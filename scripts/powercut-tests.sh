#!/usr/bin/env bash
# A power cut right after the program has saved: the unchanged build/MendrelWin
# in a small virtual machine (as scripts/e2e-alsa.sh boots one: the stock
# kernel of scripts/guest-kernel.sh, the host's root shared read-only) saves
# a new library file, a library file over an old one, the settings file at
# Quit and a new settings file at start-up, each onto an ext4 file system of
# its own on a virtio disk made here. The guest is then reset at once (no
# sync, no unmount), and a second boot of the same disks reads what they
# kept. Every file must hold exactly the bytes the program wrote, with
# nothing left beside it.
#
# Each disk is written through QEMU's write-logging driver, so the check runs
# twice: on the disk as QEMU kept it (every write the guest made, flushed or
# not: the host holds them for it), and on the disk rebuilt from its state at
# boot with only the writes up to the guest's last cache flush, which is what
# a drive that loses its write cache with the power keeps.
# Prints "powercut: N passed, M failed" last. KSQX_POWERCUT_SECONDS bounds
# each boot (900).
set -euo pipefail
cd "$(dirname "$0")/.."
SRC="$PWD"
E="$SRC/build/powercut"
BOOT_SECONDS="${KSQX_POWERCUT_SECONDS:-900}"
started=$(date +%s)
note() { echo "powercut: $*"; }
trap 'rc=$?; [ $rc -ne 0 ] && [ -z "${finished:-}" ] && echo "powercut: 0 passed, 1 failed"' EXIT

bash scripts/setup.sh
bash scripts/build.sh MendrelWin
mkdir -p "$E"
# The kernel unpacked once for every guest; this guest's own initramfs: the
# shares, the overlay, the disks and ext4.
# shellcheck source=guest-kernel.sh
source scripts/guest-kernel.sh
guest_kernel "$SRC/build/e2e-alsa"
guest_initramfs "$E" tests/e2e/guest-init.sh "$E/initramfs.cpio.gz" \
  virtio_pci 9pnet_virtio 9p overlay virtio_blk crc32c_generic ext4

OUT="$E/run"
rm -rf "$OUT" && mkdir -p "$OUT/disks"
D="$OUT/disks"

# The disks as they are before the first boot: the old library file and an
# old settings block (another magic, so that the rewrite at Quit differs;
# its reserved bytes are kept by the program).
mkdir -p "$D/lib-new/lib" "$D/lib-over/lib" "$D/set-new/config" "$D/set-over/config/KestrumQX"
python3 - "$D/lib-over/lib/bank.ksqx" "$D/set-over/config/KestrumQX/setting.ksqc" <<'PY'
import sys
lib = bytearray()
for n in range(100):
    lib += bytes([0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20, n])
    lib += bytes(((31 + n * 7 + i * 13) % 0x80) for i in range(37)) + bytes([0xF7])
open(sys.argv[1], "wb").write(lib)
block = bytearray(b"XXXX" + bytes([12, 6, 106, 2, 74, 8]) + bytes(range(1, 7)) + bytes([1] * 24) + bytes([40] * 26))
open(sys.argv[2], "wb").write(block)
PY
DISKS="lib-new lib-over set-over set-new"
for d in $DISKS; do
  # Everything made now, nothing left for the guest to initialise later.
  mkfs.ext4 -q -F -b 4096 -E lazy_itable_init=0,lazy_journal_init=0 -d "$D/$d" "$D/$d.img" 32M
  cp "$D/$d.img" "$D/$d.before.img"
  : >"$D/$d.log"
done

# boot PHASE DISK_ARGS...: one run of the guest, bounded; its console in
# OUT/console-PHASE.log. Sets QEMU_RC.
boot() {
  local phase="$1"
  shift
  cat >"$OUT/guest.env" <<EOF
SRC='$SRC'
PROGRAM='$SRC/build/MendrelWin'
PHASE=$phase
GUEST_SECONDS=$((BOOT_SECONDS - 60))
EOF
  guest_qemu "$BOOT_SECONDS" "$E/initramfs.cpio.gz" "$SRC/tests/powercut/guest.sh" "$OUT" "$OUT/console-$phase.log" "$@"
}

# The first boot. The guest sees a drive with a write cache (QEMU's default,
# write-back through the host's page cache), so its file system flushes as
# it must on a real one; each write and flush is logged on its way.
args=()
for d in $DISKS; do
  args+=(-blockdev "driver=file,filename=$D/$d.img,node-name=$d-file"
    -blockdev "driver=file,filename=$D/$d.log,node-name=$d-log"
    -blockdev "driver=blklogwrites,file=$d-file,log=$d-log,log-sector-size=512,node-name=$d"
    -device "virtio-blk-pci,drive=$d,serial=$d")
done
note "first boot: save, then the power cut (at most ${BOOT_SECONDS} s)"
t=$(date +%s)
boot cut "${args[@]}"
note "the guest ran $(($(date +%s) - t)) s (qemu exit $QEMU_RC)"
cut_rc=$QEMU_RC

# What a drive that lost its cache keeps, rebuilt from the logs.
args=()
for d in $DISKS; do
  note "$d: $(python3 tests/powercut/replay_to_last_flush.py "$D/$d.before.img" "$D/$d.log" "$D/$d.flushed.img")"
  args+=(-drive "file=$D/$d.img,format=raw,if=none,id=$d" -device "virtio-blk-pci,drive=$d,serial=$d"
    -drive "file=$D/$d.flushed.img,format=raw,if=none,id=$d-flushed" -device "virtio-blk-pci,drive=$d-flushed,serial=$d-flushed")
done
note "second boot: what the disks kept"
t=$(date +%s)
boot check "${args[@]}"
note "the guest ran $(($(date +%s) - t)) s (qemu exit $QEMU_RC)"

# The checks, on the host.
passed=0 failed=0
check() { if eval "$2"; then note "ok: $1"; passed=$((passed + 1)); else note "FAIL: $1"; failed=$((failed + 1)); fi; }
check "the first boot saved everything and was reset (no power-off)" \
  '[ "$cut_rc" -eq 0 ] && [ "$(cat "$OUT/steps.rc" 2>/dev/null)" = 0 ] && ! grep -q "reboot: Power down" "$OUT/console-cut.log"'
check "the second boot read the disks and powered off" '[ "$QEMU_RC" -eq 0 ] && grep -q "reboot: Power down" "$OUT/console-check.log"'
declare -A FILE=([lib-new]=lib/new.ksqx [lib-over]=lib/bank.ksqx [set-over]=config/KestrumQX/setting.ksqc [set-new]=config/KestrumQX/setting.ksqc)
declare -A WHAT=([lib-new]="a new library file" [lib-over]="a library file saved over an old one"
  [set-over]="the settings file rewritten at Quit" [set-new]="the settings file made at start-up")
for d in $DISKS; do
  for kept in "$d" "$d-flushed"; do
    how="as QEMU kept the disk"
    [ "$kept" = "$d" ] || how="up to the last flush"
    check "${WHAT[$d]}, $how: exactly the bytes written" \
      '[ -f "$OUT/expected-$d.bin" ] && cmp -s "$OUT/expected-$d.bin" "$OUT/after-$kept.bin"'
    # Only the file saved (and its folders) beside what the disk began with.
    want=$( (cd "$D/$d" && find . -print; echo "./${FILE[$d]}"; dirname "./${FILE[$d]}") | LC_ALL=C sort -u)
    check "${WHAT[$d]}, $how: nothing left beside it" '[ "$(cat "$OUT/listing-$kept.txt" 2>/dev/null)" = "$want" ]'
  done
  check "${WHAT[$d]}: both disks' file systems are consistent after the cut" \
    'e2fsck -fn "$D/$d.img" >"$OUT/fsck-$d.log" 2>&1 && e2fsck -fn "$D/$d.flushed.img" >>"$OUT/fsck-$d.log" 2>&1'
done
if [ "$failed" -ne 0 ]; then
  for d in $DISKS; do
    for kept in "$d" "$d-flushed"; do echo "--- $kept:"; cat "$OUT/listing-$kept.txt" 2>/dev/null || echo "(no listing)"; done
  done
  echo "--- first boot's steps ---"; tail -n 30 "$OUT/steps.log" 2>/dev/null || true
  echo "--- first boot's console ---"; tail -n 20 "$OUT/console-cut.log" || true
  echo "--- second boot's console ---"; tail -n 20 "$OUT/console-check.log" || true
  echo "(everything is in $OUT)"
fi
finished=1
note "took $(($(date +%s) - started)) s"
echo "powercut: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
