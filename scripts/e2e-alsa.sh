#!/usr/bin/env bash
# End to end over a real MIDI stack: the unmodified build/MendrelWin, and
# the cross-built build-windows/MendrelWin.exe under Wine, against an
# emulated Kestrum QX on ALSA sequencer ports, inside a small virtual
# machine (this machine's kernel has no ALSA; a stock Debian kernel has). The
# guest runs this machine's own userland: its root is the host's / shared
# read-only with a tmpfs overlay on top; results come back through a second,
# writable share. The kernel package is unpacked into build/e2e-alsa, never
# installed. Prints "e2e-alsa: N passed, N failed" last, a count of parts.
# KSQX_E2E_PARTS chooses the parts, run in this order (all by default):
#   linux   the Linux program: start-up, transfers, MIDI Setup's OK on a
#           quiet input, during transfers and under a flood, the unit gone
#           and back, Save, Quit;
#   chosen  the Linux program with the unit under a name it does not
#           preselect, chosen by hand in MIDI Setup;
#   wine    the Windows program under Wine: start-up, Receive, Transmit, OK
#           during a Receive, the unit gone and back, Save, Quit.
# Each part's log is build/e2e-alsa/run/PART.log, its files run/PART/.
# KSQX_E2E_SECONDS bounds the guest (1800: its parts take about 7 minutes
# idle, and a software CPU beside a full load is several times slower; each
# wait in the steps has its own bound, so a fault fails long before);
# KSQX_E2E_PROGRAM runs another build of the Linux program (e.g.
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

PARTS="${KSQX_E2E_PARTS:-linux chosen wine}"
for part in $PARTS; do
  case "$part" in linux | chosen | wine) ;; *) note "no part '$part' (linux, chosen, wine)"; exit 2 ;; esac
done
has_part() { case " $PARTS " in *" $1 "*) return 0 ;; esac; return 1; }

bash scripts/setup.sh
bash scripts/build.sh MendrelWin
mkdir -p "$E"

# The Windows program and a Wine prefix for it, made here: the guest lays a
# writable layer over it. (wineboot returns before the prefix is complete;
# its server ends when it is.)
export WINEPREFIX="$E/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if has_part wine; then
  bash scripts/build-windows.sh MendrelWin.exe
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    timeout 600 wineboot -i >/dev/null 2>&1
    timeout 600 wineserver -w
  fi
fi

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
WIN_PROGRAM='$SRC/build-windows/MendrelWin.exe'
WIN_PREFIX='$WINEPREFIX'
PARTS='$PARTS'
GUEST_SECONDS=$GUEST_SECONDS
EOF
note "booting the guest for the parts: $PARTS (at most ${HOST_SECONDS} s)"
boot=$(date +%s)
# Wine's services need more memory than the Linux program alone.
GUEST_MEMORY=1536 guest_qemu "$HOST_SECONDS" "$E/initramfs.cpio.gz" "$SRC/tests/e2e/guest.sh" "$OUT" "$OUT/console.log"
qemu_rc=$QEMU_RC
guest_secs=$(($(date +%s) - boot))
note "guest ran ${guest_secs} s (qemu exit $qemu_rc)"
grep "^guest: part " "$OUT/console.log" | sed 's/^guest: /e2e-alsa: /' || true

# The checks, on the host, of each part; a part's files are in $OUT/PART.
passed=0 failures=0 failed=0 part=guest
check() { if eval "$2"; then note "ok: $part: $1"; else note "FAIL: $part: $1"; failed=1; fi; }
same() { [ -f "$1" ] && [ -f "$2" ] && cmp -s "$1" "$2"; }
# The unit's programs change with every reception; unit-sent-G.bin is what
# it sent in reception G, unit-sent.bin in the last one.
transmitted() { local g; for g in $(cat "$P/transmitted.list"); do cat "$P/unit-sent-$g.bin"; done; }
# check_files TRANSMITS: what the unit and the program left, in a part with
# that many Transmits, then a Save and a Quit. (Each file on its own: a
# program that saved but did not end well still shows what it wrote.)
check_files() {
  check "the saved library file is what the unit sent last" 'same "$P/saved.ksqx" "$P/unit-sent.bin"'
  check "each Transmit gave the unit what it had sent before, in order" \
    '[ "$(wc -l <"$P/transmitted.list")" -eq '"$1"' ] && transmitted | cmp -s - "$P/unit-dumps.bin"'
  check "the unit holds what it sent last (nothing was sent to it after)" 'same "$P/unit-stored.bin" "$P/unit-sent.bin"'
  check "the settings file was written (66 bytes)" '[ -f "$P/setting.ksqc" ] && [ "$(stat -c %s "$P/setting.ksqc")" -eq 66 ]'
  check "the program ended with exit code 0" '[ "$(cat "$P/program.rc" 2>/dev/null)" = 0 ]'
}
check "the guest powered off in time" '[ "$qemu_rc" -eq 0 ] && grep -q "reboot: Power down" "$OUT/console.log"'
guest_failed=$failed
for part in $PARTS; do
  P="$OUT/$part" failed=$guest_failed
  check "the steps in the guest passed" '[ "$(cat "$OUT/$part.rc" 2>/dev/null)" = 0 ]'
  case "$part" in
    linux) check_files 2 ;;
    wine) check_files 1 ;;
  esac
  if [ "$failed" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failures=$((failures + 1))
    echo "--- $part: the steps ---"; cat "$OUT/$part.log" 2>/dev/null || true
    echo "--- $part: the unit's log (last lines) ---"; tail -n 20 "$P/unit.log" 2>/dev/null || true
  fi
done
if [ "$failures" -ne 0 ]; then
  echo "--- guest console ---"; tail -n 40 "$OUT/console.log" || true
  echo "(everything is in $OUT)"
fi
finished=1
note "took $(($(date +%s) - started)) s"
echo "e2e-alsa: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
