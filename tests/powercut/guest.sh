#!/bin/bash
# The power-cut guest's init after the switch to the host's root (booted by
# scripts/powercut-tests.sh, through tests/e2e/guest-init.sh). Its disks are
# found by their serial numbers and mounted at /ksqx-disks/<serial>. PHASE "cut":
# the steps save onto them and the machine is reset at once, with no sync
# and no unmount. PHASE "check": what each disk kept is copied out, then the
# machine powers off.
# Usage (as init): guest.sh OUT_DIR
OUT="$1"
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
# shellcheck source=/dev/null
source "$OUT/guest.env"
off() { echo "guest: $*"; echo o >/proc/sysrq-trigger; sleep 30; }
# Fresh private folders; a checkout below one of them (a clone in /tmp) is
# put back on top.
mkdir -p /mnt/ksqx-src && mount --bind "$SRC" /mnt/ksqx-src
for d in /tmp /run /var/tmp /dev/shm; do
  mkdir -p "$d" && mount -t tmpfs -o mode=1777 tmpfs "$d"
  case "$SRC/" in "$d"/*) mkdir -p "$SRC" && mount --bind /mnt/ksqx-src "$SRC" ;; esac
done
mkdir -p /dev/pts && mount -t devpts devpts /dev/pts
ip link set lo up 2>/dev/null || true

# Nothing reaches the disks but what a program flushes itself: no periodic
# write-back of dirty pages, and a journal commit only every ten minutes, so
# a file system changed a minute before the reset is as one changed a moment
# before it.
echo 0 >/proc/sys/vm/dirty_writeback_centisecs
echo 360000 >/proc/sys/vm/dirty_expire_centisecs
for s in /sys/block/vd*/serial; do
  [ -e "$s" ] || continue
  dev=${s%/serial}
  name=$(cat "$s")
  mkdir -p "/ksqx-disks/$name"
  mount -t ext4 -o commit=600,noatime "/dev/${dev##*/}" "/ksqx-disks/$name" || off "disk $name did not mount"
done
echo "guest: phase $PHASE, disks: $(ls /ksqx-disks | tr '\n' ' ')"

case "$PHASE" in
  cut)
    # The steps reset the machine themselves once all is saved; here only
    # when they fail. (The output share is written through to the host at
    # each write; the disks are not.)
    rc=0
    timeout -k 5 "$GUEST_SECONDS" bash "$SRC/tests/powercut/guest-steps.sh" "$OUT" >"$OUT/steps.log" 2>&1 || rc=$?
    echo "$rc" >"$OUT/steps.rc"
    echo "guest: steps ended with $rc"
    echo b >/proc/sysrq-trigger
    ;;
  check)
    for m in /ksqx-disks/*/; do
      name=$(basename "$m")
      (cd "$m" && find . -path ./lost+found -prune -o -print | LC_ALL=C sort) >"$OUT/listing-$name.txt"
      # Each disk holds one of the files saved.
      for f in lib/new.ksqx lib/bank.ksqx config/KestrumQX/setting.ksqc; do
        [ -f "$m/$f" ] && cp "$m/$f" "$OUT/after-$name.bin"
      done
      umount "$m"
    done
    off "checked"
    ;;
esac
off "no phase $PHASE"
