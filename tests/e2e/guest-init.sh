#!/bin/busybox sh
# The initramfs's /init of the end-to-end guest: loads the modules listed in
# /modules.list (in dependency order), lays a tmpfs overlay over the host's
# root (shared read-only as "hostroot"), mounts the writable "ksqxout" share
# at /ksqx-out and hands over to the script named by ksqx.script= on the
# kernel command line, run by the host's bash as the new init.
/bin/busybox mkdir -p /bin /proc /sys /dev
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev

off() {
  echo "guest-init: $*"
  echo o >/proc/sysrq-trigger
  sleep 10
}

for m in $(cat /modules.list); do
  insmod "/modules/$m" || echo "guest-init: insmod $m failed"
done

script=""
for arg in $(cat /proc/cmdline); do
  case "$arg" in ksqx.script=*) script="${arg#ksqx.script=}" ;; esac
done

mkdir -p /lower /upper /newroot
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose,ro hostroot /lower || off "no host root"
# Room for what the steps write, a Wine prefix's changes among them.
mount -t tmpfs -o size=600m,mode=755 upper /upper
mkdir -p /upper/data /upper/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work /newroot || off "no overlay"
mkdir -p /newroot/ksqx-out
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 ksqxout /newroot/ksqx-out || off "no output share"
for d in proc sys dev; do mount --move "/$d" "/newroot/$d"; done
[ -n "$script" ] || off "no ksqx.script= on the command line"
exec switch_root /newroot /bin/bash "$script" /ksqx-out
