#!/bin/bash
# The end-to-end guest's init after the switch to the host's root: fresh
# private folders, then the steps of each part (PARTS) under what is left of
# the time limit, each part's exit code and output to the output share
# (PART.rc, PART.log), and the power off whatever happened.
# Usage (as init): guest.sh OUT_DIR
OUT="$1"
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
# shellcheck source=/dev/null
source "$OUT/guest.env"
# The checkout may itself lie below one of the folders made private here (a
# clone in /tmp): it is kept aside and put back on top.
mkdir -p /mnt/ksqx-src && mount --bind "$SRC" /mnt/ksqx-src
for d in /tmp /run /var/tmp /dev/shm; do
  mkdir -p "$d"
  mount -t tmpfs -o mode=1777 tmpfs "$d"
  case "$SRC/" in
    "$d"/*) mkdir -p "$SRC" && mount --bind /mnt/ksqx-src "$SRC" ;;
  esac
done
mkdir -p /dev/pts && mount -t devpts devpts /dev/pts
ip link set lo up 2>/dev/null || true
echo "guest: up after $(cut -d' ' -f1 /proc/uptime) s"
ls -l /dev/snd 2>&1

end=$((SECONDS + GUEST_SECONDS))
for part in $PARTS; do
  began=$SECONDS rc=124
  if [ "$SECONDS" -lt "$end" ]; then
    timeout -k 5 $((end - SECONDS)) bash "$SRC/tests/e2e/guest-steps.sh" "$OUT" "$part" >"$OUT/$part.log" 2>&1 && rc=0 || rc=$?
  fi
  echo "$rc" >"$OUT/$part.rc"
  echo "guest: part $part ended with $rc after $((SECONDS - began)) s"
done
echo "guest: steps ended after $(cut -d' ' -f1 /proc/uptime) s"
sync
umount "$OUT" 2>/dev/null || true
echo o >/proc/sysrq-trigger
sleep 30
