#!/bin/bash
# Inside the end-to-end guest: the emulated unit on its sequencer port, then
# the real program started as the run command starts it, driven by keys and
# clicks: start-up (the unit found, its programs received), File > Transmit,
# Save, Quit. What the host checks is copied to OUT.
# Usage: guest-steps.sh OUT_DIR
OUT="$1"
# shellcheck source=/dev/null
source "$OUT/guest.env"
export KSQX_SOURCE_DIR="$SRC" KSQX_BUILD_DIR="$OUT"
# shellcheck source=../gui/lib.sh
source "$SRC/tests/gui/lib.sh"

step() { echo "[$(cut -d' ' -f1 /proc/uptime)] $*"; }

# wait_log PATTERN COUNT SECONDS: until the unit's log has COUNT such lines.
wait_log() {
  local n=0
  for _ in $(seq 1 $(($3 * 10))); do
    n=$(grep -c -- "$1" "$OUT/unit.log" 2>/dev/null || true)
    [ "${n:-0}" -ge "$2" ] && return 0
    sleep 0.1
  done
  fail "the unit saw $n of $2 messages '$1' within $3 s"
}

# wait_new_window SECONDS IDS...: a visible window that is not among IDS.
wait_new_window() {
  local secs="$1" id; shift
  for _ in $(seq 1 $((secs * 10))); do
    for id in $(xdotool search --onlyvisible --name "" 2>/dev/null); do
      case " $* " in *" $id "*) ;; *) echo "$id"; return 0 ;; esac
    done
    sleep 0.1
  done
  fail "no new window within ${secs}s"
}

# --- The progress panel on a second transfer: the start-up reception showed
# it first and closed it with its fade-out; during Transmit it must be on
# screen again: its frame's grey 0xafafaf at its four corners. A transfer
# here takes a few seconds and screenshots take about one, so a small X
# client polls the panel's place instead, and keeps a picture of it.
progress_watch_start() {
  window_geometry "$win"
  local px=$((WIN_X + 1 + (WIN_W - 2 - 240) / 2)) py=$((WIN_Y + 49 + (WIN_H - 50 - 69) / 2))
  rm -f "$T/progress.stop" "$OUT/progress.seen"
  python3 - "$px" "$py" 240 69 60 "$T/progress.stop" "$OUT/progress.seen" "$OUT/progress-second-transfer.ppm" <<'PY' &
import ctypes as c, os, sys, time
x0, y0, w, h, secs = map(int, sys.argv[1:6]); stop, seen, picture = sys.argv[6:9]
x = c.CDLL("libX11.so.6")
x.XOpenDisplay.restype = c.c_void_p; x.XOpenDisplay.argtypes = [c.c_char_p]
x.XDefaultRootWindow.restype = c.c_ulong; x.XDefaultRootWindow.argtypes = [c.c_void_p]
x.XGetImage.restype = c.c_void_p
x.XGetImage.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_int, c.c_uint, c.c_uint, c.c_ulong, c.c_int]
x.XGetPixel.restype = c.c_ulong; x.XGetPixel.argtypes = [c.c_void_p, c.c_int, c.c_int]
x.XDestroyImage.argtypes = [c.c_void_p]
d = x.XOpenDisplay(None)
root = x.XDefaultRootWindow(d)
end = time.time() + secs
while time.time() < end and not os.path.exists(stop):
    im = x.XGetImage(d, root, x0, y0, w, h, 0xFFFFFFFF, 2)
    if im and all(x.XGetPixel(im, px, py) & 0xFFFFFF == 0xAFAFAF
                  for px, py in ((1, 1), (w - 2, 1), (1, h - 2), (w - 2, h - 2))):
        rows = bytearray()
        for py in range(h):
            for px in range(w):
                v = x.XGetPixel(im, px, py)
                rows += bytes(((v >> 16) & 255, (v >> 8) & 255, v & 255))
        open(picture, "wb").write(b"P6 %d %d 255\n" % (w, h) + bytes(rows))
        open(seen, "w").write("seen\n")
        sys.exit(0)
    if im:
        x.XDestroyImage(im)
    time.sleep(0.02)
PY
  progress_watch_pid=$!
}
progress_watch_check() {
  touch "$T/progress.stop"
  wait "$progress_watch_pid" || true
  [ -f "$OUT/progress.seen" ] || fail "the progress panel was not on screen during the second transfer"
}

start_display
step "display $DISPLAY"

"$UNIT" "$OUT" 400 &
unit_pid=$!
for _ in $(seq 1 100); do [ -e "$OUT/unit.ready" ] && break; sleep 0.1; done
[ -e "$OUT/unit.ready" ] || fail "the emulated unit did not come up"
step "unit up"

# As the run command starts it: from the source folder.
(cd "$SRC" && exec "$PROGRAM" >"$OUT/program.log" 2>&1) &
main_pid=$!
PROGRAM_PIDS+=("$main_pid")

# The version box, then the main window; the start-up asks the unit who it
# is, then receives its 100 programs without any question.
id=$(wait_window "$APP_TITLE" 90)
step "version box $id"
key_to "$id" Return
wait_id_gone "$id" 30
win=$(wait_window "$APP_TITLE" 60)
step "main window $win"
wait_log "in  F0 7E 7F 06 01 F7" 1 30
wait_log "in  F0 42 30 00 01 10 1C 20" 100 120
step "100 dump requests answered"
sleep 2
[ "$(window_count "MIDI Connection Error:")" -eq 0 ] || fail "a connection error box with the unit there"

# File > Transmit: the in-window menu bar lies below the 24-pixel title bar.
progress_watch_start
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool mousemove --window "$win" 20 34 click 1
sleep 1
xdotool key Down Down Down Down Return
box=$(wait_window "Transmit:" 20)
step "transmit box"
key_to "$box" Return
wait_gone "Transmit:"
wait_log "in  F0 42 30 00 01 10 4C 20" 100 120
sleep 1
step "100 dumps transmitted"
progress_watch_check
step "progress panel shown on the second transfer"

# Save: the framework's own file dialog; a full path in its name box moves it
# to that folder and keeps the name, the second Return saves.
mkdir -p "$T/save"
before=$(xdotool search --onlyvisible --name "" 2>/dev/null | tr '\n' ' ')
key_to "$win" ctrl+s
dlg=$(wait_new_window 30 $before)
step "save dialog $dlg"
sleep 1
# The name box, above the buttons at the foot of the dialog, takes the keys
# only once clicked.
eval "$(xdotool getwindowgeometry --shell "$dlg")"
xdotool mousemove --window "$dlg" $((WIDTH / 2)) $((HEIGHT - 61)) click 1
sleep 0.5
xdotool type --delay 20 "$T/save/e2e.ksqx"
xdotool key Return
sleep 0.5
xdotool key Return
for _ in $(seq 1 100); do [ -f "$T/save/e2e.ksqx" ] && break; sleep 0.1; done
[ -f "$T/save/e2e.ksqx" ] || { screenshot "$OUT/save.png"; fail "nothing saved"; }
sleep 1
cp "$T/save/e2e.ksqx" "$OUT/saved.ksqx"
step "saved"

# Quit, which writes the settings file.
key_to "$win" ctrl+q
answer_box "Quit:" Return
wait_exit "$main_pid" 60
step "program ended with $EXIT_CODE"
echo "$EXIT_CODE" >"$OUT/program.rc"
cp "$XDG_CONFIG_HOME/KestrumQX/setting.ksqc" "$OUT/setting.ksqc" 2>/dev/null || true

kill -TERM "$unit_pid"
wait "$unit_pid" || fail "the unit ended with $?"
step "unit ended"
