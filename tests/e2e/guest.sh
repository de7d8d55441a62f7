#!/bin/bash
# The end-to-end guest's init after the switch to the host's root: fresh
# private folders, then the steps under a time limit, their exit code and
# output to the output share, and the power off whatever happened.
# Usage (as init): guest.sh OUT_DIR
OUT="$1"
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
for d in /tmp /run /var/tmp /dev/shm; do mkdir -p "$d"; mount -t tmpfs -o mode=1777 tmpfs "$d"; done
mkdir -p /dev/pts && mount -t devpts devpts /dev/pts
ip link set lo up 2>/dev/null || true
# shellcheck source=/dev/null
source "$OUT/guest.env"
echo "guest: up after $(cut -d' ' -f1 /proc/uptime) s"
ls -l /dev/snd 2>&1

rc=124
timeout -k 5 "$GUEST_SECONDS" bash "$SRC/tests/e2e/guest-steps.sh" "$OUT" >"$OUT/steps.log" 2>&1 && rc=0 || rc=$?
echo "$rc" >"$OUT/steps.rc"
echo "guest: steps ended with $rc after $(cut -d' ' -f1 /proc/uptime) s"
sync
umount "$OUT" 2>/dev/null || true
echo o >/proc/sysrq-trigger
sleep 30
