#!/usr/bin/env bash
# End to end over a real MIDI stack: the unmodified build/MendrelWin against
# an emulated Kestrum QX on ALSA sequencer ports, inside a small virtual
# machine (this machine's kernel has no ALSA; a stock Debian kernel has). The
# guest runs this machine's own userland: its root is the host's / shared
# read-only with a tmpfs overlay on top; results come back through a second,
# writable share. The kernel package is unpacked into build/e2e-alsa, never
# installed. Prints "e2e-alsa: N passed, N failed" last.
# KSQX_E2E_SECONDS bounds the guest (1800: its steps take about 4 minutes
# idle, and a software CPU beside a full load is several times slower; each
# wait in the steps has its own bound, so a fault fails long before);
# KSQX_E2E_PROGRAM runs another build of the program (e.g.
# ./build-asan/MendrelWin) in place of the one the run command starts.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC="$PWD"
E="$SRC/build/e2e-alsa"
HOST_SECONDS="${KSQX_E2E_SECONDS:-1800}"  # the whole guest, boot to power-off
GUEST_SECONDS=$((HOST_SECONDS > 120 ? HOST_SECONDS - 60 : HOST_SECONDS / 2))  # the steps inside it
started=$(date +%s)

note() { echo "e2e-alsa: $*"; }
# A step before the checks that fails still ends with the summary line.
trap 'rc=$?; [ $rc -ne 0 ] && [ -z "${finished:-}" ] && echo "e2e-alsa: 0 passed, 1 failed"' EXIT
finish() {
  local failed=$1
  finished=1
  note "took $(($(date +%s) - started)) s"
  if [ "$failed" -eq 0 ]; then echo "e2e-alsa: 1 passed, 0 failed"; else echo "e2e-alsa: 0 passed, 1 failed"; fi
  exit "$failed"
}

bash scripts/setup.sh
bash scripts/build.sh MendrelWin
mkdir -p "$E"

# The kernel and the initramfs: the modules for the shares, the overlay and
# the sequencer.
# shellcheck source=guest-kernel.sh
source scripts/guest-kernel.sh
guest_kernel "$E"
guest_initramfs "$E" tests/e2e/guest-init.sh "$E/initramfs.cpio.gz" \
  virtio_pci 9pnet_virtio 9p overlay snd-seq snd-seq-dummy

# The emulated unit.
if [ ! -x "$E/kestrum_unit" ] || [ tests/e2e/kestrum_unit.cpp -nt "$E/kestrum_unit" ]; then
  g++ -std=c++17 -O2 -Wall -Wextra -o "$E/kestrum_unit" tests/e2e/kestrum_unit.cpp -lasound
fi

# One run: a fresh output share.
OUT="$E/run"
rm -rf "$OUT" && mkdir -p "$OUT"
cat >"$OUT/guest.env" <<EOF
SRC='$SRC'
UNIT='$E/kestrum_unit'
PROGRAM='${KSQX_E2E_PROGRAM:-./build/MendrelWin}'
GUEST_SECONDS=$GUEST_SECONDS
EOF
note "booting the guest (at most ${HOST_SECONDS} s)"
boot=$(date +%s)
qemu_rc=0
timeout -k 10 "$HOST_SECONDS" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu max -smp 4 -m 512 \
  -nodefaults -display none -no-reboot -serial stdio -monitor none -net none \
  -kernel "$VMLINUZ" -initrd "$E/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 quiet loglevel=4 ksqx.script=$SRC/tests/e2e/guest.sh" \
  -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=ksqxout,path="$OUT",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=ksqxout,mount_tag=ksqxout \
  </dev/null >"$OUT/console.log" 2>&1 || qemu_rc=$?
guest_secs=$(($(date +%s) - boot))
note "guest ran ${guest_secs} s (qemu exit $qemu_rc)"

# The checks, on the host.
failures=0
check() { if eval "$2"; then note "ok: $1"; else note "FAIL: $1"; failures=$((failures + 1)); fi; }
same() { [ -f "$1" ] && [ -f "$2" ] && cmp -s "$1" "$2"; }
check "the guest powered off in time" '[ "$qemu_rc" -eq 0 ] && grep -q "reboot: Power down" "$OUT/console.log"'
check "the steps in the guest passed" '[ "$(cat "$OUT/steps.rc" 2>/dev/null)" = 0 ]'
# The unit's programs change with every reception; unit-sent-G.bin is what
# it sent in reception G, unit-sent.bin in the last one.
transmitted() { local g; for g in $(cat "$OUT/transmitted.list"); do cat "$OUT/unit-sent-$g.bin"; done; }
check "the saved library file is what the unit sent last" 'same "$OUT/saved.ksqx" "$OUT/unit-sent.bin"'
check "each Transmit gave the unit what it had sent before, in order" \
  '[ "$(wc -l <"$OUT/transmitted.list")" -eq 2 ] && transmitted | cmp -s - "$OUT/unit-dumps.bin"'
check "the unit holds what it sent last (nothing was sent to it after)" 'same "$OUT/unit-stored.bin" "$OUT/unit-sent.bin"'
check "the program ended with exit code 0" '[ "$(cat "$OUT/program.rc" 2>/dev/null)" = 0 ]'
check "the settings file was written (66 bytes)" '[ -f "$OUT/setting.ksqc" ] && [ "$(stat -c %s "$OUT/setting.ksqc")" -eq 66 ]'
if [ "$failures" -ne 0 ]; then
  echo "--- guest console ---"; tail -n 40 "$OUT/console.log" || true
  echo "--- guest steps ---"; cat "$OUT/steps.log" 2>/dev/null || true
  echo "--- the unit's log (last lines) ---"; tail -n 20 "$OUT/unit.log" 2>/dev/null || true
  echo "(everything is in $OUT)"
fi
finish $((failures > 0))
