#!/usr/bin/env bash
# Sourced by the scripts that boot a small QEMU guest: Debian's stock kernel
# (the cloud kernel has neither sound nor 9p), unpacked into a folder of the
# build, never installed, and an initramfs of busybox, an /init and the
# modules a guest needs.
#
# guest_kernel DIR: unpacks the kernel into DIR/kroot once; sets KV (its
# version), MODS (its modules folder) and VMLINUZ.
# guest_initramfs DIR INIT OUT MODULE...: writes OUT, an initramfs with
# busybox, INIT as /init, and the modules (their dependencies first, in load
# order) listed in /modules.list.
# guest_qemu SECONDS INITRAMFS SCRIPT OUT LOG [QEMU ARGS...]: boots the
# kernel with INITRAMFS (software CPU without SMAP, 4 processors,
# GUEST_MEMORY MB (512 unless set), no network),
# the host's root shared read-only as "hostroot" and OUT writable as
# "ksqxout", ksqx.script=SCRIPT on the kernel command line, the console in
# LOG; at most SECONDS, no reboot. Sets QEMU_RC.

guest_kernel() {
  local e="$1" pkg kv
  if ! { [ -f "$e/kernel.version" ] && [ -f "$e/kroot/boot/vmlinuz-$(cat "$e/kernel.version")" ]; }; then
    rm -rf "$e/dl" "$e/kroot"
    mkdir -p "$e/dl"
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}' || true)
    if [ -z "$pkg" ]; then apt-get update -qq; pkg=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'); fi
    echo "guest-kernel: unpacking $pkg"
    (cd "$e/dl" && apt-get download -qq "$pkg" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
    dpkg-deb -x "$e"/dl/"$pkg"_*.deb "$e/kroot"
    kv=$(ls "$e/kroot/lib/modules")
    busybox depmod -b "$e/kroot" "$kv"
    rm -rf "$e/dl"
    echo "$kv" >"$e/kernel.version"
  fi
  KV=$(cat "$e/kernel.version")
  MODS="$e/kroot/lib/modules/$KV"
  VMLINUZ="$e/kroot/boot/vmlinuz-$KV"
}

# guest_module_order MODULE...: the modules' files, dependencies first.
guest_module_order() {
  local m path deps d
  for m in "$@"; do
    path=$(grep -E "/$m\.ko(\.xz)?:" "$MODS/modules.dep" | cut -d: -f1)
    [ -n "$path" ] || { echo "no module $m" >&2; return 1; }
    deps=$(grep -E "^$path:" "$MODS/modules.dep" | cut -d: -f2)
    for d in $(echo $deps | tr ' ' '\n' | tac); do echo "$d"; done
    echo "$path"
  done | awk '!seen[$0]++'
}

guest_initramfs() {
  local e="$1" init="$2" out="$3" path paths
  shift 3
  paths=$(guest_module_order "$@") || return 1
  rm -rf "$e/initramfs" && mkdir -p "$e/initramfs/bin" "$e/initramfs/modules"
  cp /bin/busybox "$e/initramfs/bin/busybox"
  cp "$init" "$e/initramfs/init" && chmod 755 "$e/initramfs/init"
  : >"$e/initramfs/modules.list"
  for path in $paths; do
    cp "$MODS/$path" "$e/initramfs/modules/"
    basename "$path" >>"$e/initramfs/modules.list"
  done
  (cd "$e/initramfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$out")
}

guest_qemu() {
  local seconds="$1" initramfs="$2" script="$3" out="$4" log="$5"
  shift 5
  QEMU_RC=0
  # SMAP off: with it, this QEMU's software CPU faults Wine's return to user
  # mode (iretq), an oops in the guest's kernel. No self-tests of the
  # kernel's ciphers: one of them once spun for minutes on the software CPU
  # ("soft lockup ... cryptomgr_test") and the guest never came up.
  timeout -k 10 "$seconds" qemu-system-x86_64 \
    -accel tcg,thread=multi -cpu max,-smap -smp 4 -m "${GUEST_MEMORY:-512}" \
    -nodefaults -display none -no-reboot -serial stdio -monitor none -net none \
    -kernel "$VMLINUZ" -initrd "$initramfs" \
    -append "console=ttyS0 panic=-1 quiet loglevel=4 cryptomgr.notests ksqx.script=$script" \
    -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
    -fsdev local,id=ksqxout,path="$out",security_model=none,multidevs=remap \
    -device virtio-9p-pci,fsdev=ksqxout,mount_tag=ksqxout \
    "$@" </dev/null >"$log" 2>&1 || QEMU_RC=$?
}
