#!/bin/bash
# Inside the end-to-end guest: the emulated unit on its sequencer port, then
# the real program started as the run command starts it, driven by keys and
# clicks: start-up (the unit found, its programs received), File > Transmit,
# MIDI Setup's OK pressed again and again while the unit floods the input,
# Save, Quit; then a second start with the unit under a name the program does
# not preselect, chosen by hand in MIDI Setup. What the host checks is copied
# to OUT.
# Usage: guest-steps.sh OUT_DIR
OUT="$1"
# shellcheck source=/dev/null
source "$OUT/guest.env"
export KSQX_SOURCE_DIR="$SRC" KSQX_BUILD_DIR="$OUT"
# shellcheck source=../gui/lib.sh
source "$SRC/tests/gui/lib.sh"

step() { echo "[$(cut -d' ' -f1 /proc/uptime)] $*"; }

# The unit's log that wait_log and log_count read.
UNIT_LOG="$OUT/unit.log"
IDENTITY_REQUEST="in  F0 7E 7F 06 01 F7"
DUMP_REQUEST="in  F0 42 30 00 01 10 1C 20"

# log_count PATTERN: how many lines of the unit's log have it.
log_count() { grep -c -- "$1" "$UNIT_LOG" 2>/dev/null || true; }

# wait_log PATTERN COUNT SECONDS: until the unit's log has COUNT such lines.
wait_log() {
  local n=0
  for _ in $(seq 1 $(($3 * 10))); do
    n=$(log_count "$1")
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

# pick_from_popup N OF: once the menu or list that a click opened is up,
# clicks the N-th of its OF entries (all of one height). The pointer rests on
# the entry first, and the click is repeated until the menu has gone: the
# framework ignores a click that comes too soon after the menu opened, and a
# key pressed before the menu has the focus is lost, as both may be on a
# loaded machine.
pick_from_popup() {
  local popup MX MY MW MH
  popup=$(wait_other_window "$main_pid" "$win")
  # (The guest has no /dev/fd for a process substitution.)
  read -r MX MY MW MH <<<"$(xdotool getwindowgeometry --shell "$popup" | awk -F= '{ v[$1] = $2 } END { print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"] }')"
  xdotool mousemove --sync $((MX + MW / 2)) $((MY + MH * (2 * $1 - 1) / (2 * $2)))
  for _ in 1 2 3 4 5; do
    sleep 0.5
    xdotool click 1
    id_gone_within "$popup" 20 && return 0
  done
  fail "the menu $popup did not take a click on its entry $1 of $2"
}

# open_midi_setup: Option > MIDI Setup, the first of the menu's three items;
# sets PX, PY, the panel's top left corner on the screen (it stands centred
# in the content area, inside the 1-pixel border, below the title and menu
# bars), and waits until the panel shows: light grey at its gradient's
# centre where the table is dark.
open_midi_setup() {
  window_geometry "$win"
  click_at $((WIN_X + 134)) $((WIN_Y + 36))
  pick_from_popup 1 3
  PX=$((WIN_X + 1 + (WIN_W - 2 - 320) / 2))
  PY=$((WIN_Y + 49 + (WIN_H - 50 - 170) / 2))
  for _ in $(seq 1 40); do
    midi_setup_shown && return 0
    sleep 0.25
  done
  fail "MIDI Setup did not open (#$PANEL_COLOUR at its top left)"
}

# midi_setup_shown: the panel is on screen (light grey at its gradient's
# centre, where the table is dark).
midi_setup_shown() {
  screenshot "$T/panel.png"
  PANEL_COLOUR=$(pixel "$T/panel.png" $((PX + 24)) $((PY + 16)))
  [ -n "$PANEL_COLOUR" ] && [ $((16#${PANEL_COLOUR:0:2})) -ge 192 ]
}

# press_midi_setup_ok: MIDI Setup's OK, seen done by the identity request it
# sends, which reaches the unit only when the unit is the chosen output.
# A click that a loaded machine dropped leaves the panel up and is repeated;
# OK hides the panel before it reopens the ports, so a program that hangs
# there is not clicked again.
press_midi_setup_ok() {
  local before
  before=$(log_count "$IDENTITY_REQUEST")
  for _ in 1 2 3; do
    click_at $((PX + 162)) $((PY + 136))
    sleep 2
    [ "$(log_count "$IDENTITY_REQUEST")" -gt "$before" ] && return 0
    midi_setup_shown || break
  done
  for _ in $(seq 1 80); do
    [ "$(log_count "$IDENTITY_REQUEST")" -gt "$before" ] && return 0
    sleep 0.1
  done
  # Tell a hung program from a dropped click for whoever reads the failure.
  key_to "$win" ctrl+q
  for _ in $(seq 1 50); do
    [ "$(window_count "Quit:")" -eq 0 ] || fail "MIDI Setup's OK sent no identity request (the program still takes keys)"
    sleep 0.1
  done
  fail "the program hangs after MIDI Setup's OK: no identity request, no quit box for Ctrl+Q"
}

# expect_answers_key: the program takes a key within a few seconds: Ctrl+Q
# brings the quit box, which Escape cancels.
expect_answers_key() {
  key_to "$win" ctrl+q
  answer_box_id "$(wait_window "Quit:" 8)" Escape
}

# receive_all: File > Receive, confirmed; all 100 programs are asked for
# and the last one's answer arrives, with no connection error.
receive_all() {
  local before
  before=$(log_count "$DUMP_REQUEST")
  xdotool windowactivate --sync "$win" 2>/dev/null || true
  xdotool mousemove --window "$win" 20 34 click 1
  sleep 1
  xdotool key Down Down Down Down Down Return
  answer_box_id "$(wait_window "Receive:" 10)" Return
  local n=0
  for _ in $(seq 1 600); do
    n=$(log_count "$DUMP_REQUEST")
    [ "$n" -ge $((before + 100)) ] && break
    [ "$(window_count "MIDI Connection Error:")" -eq 0 ] || fail "the program did not hear the unit: connection error"
    sleep 0.1
  done
  [ "$n" -ge $((before + 100)) ] || fail "the unit saw $((n - before)) of 100 dump requests within 60 s"
  [ "$(tail -n 400 "$UNIT_LOG" | grep -c -- "$DUMP_REQUEST.*63 F7")" -ge 1 ] || fail "program 99 was not asked for last"
  [ "$(window_count "MIDI Connection Error:")" -eq 0 ] || fail "a connection error box with the unit there"
  progress_panel_gone
}

# progress_panel_gone: waits (up to 10 s) until the progress panel has faded
# out, 3 s after the last program, so that it covers nothing clicked next:
# its frame's grey 0xafafaf no longer at its top left corner.
progress_panel_gone() {
  window_geometry "$win"
  local px=$((WIN_X + 1 + (WIN_W - 2 - 240) / 2)) py=$((WIN_Y + 49 + (WIN_H - 50 - 69) / 2))
  for _ in $(seq 1 40); do
    screenshot "$T/progress.png"
    [ "$(pixel "$T/progress.png" $((px + 1)) $((py + 1)))" != AFAFAF ] && return 0
    sleep 0.25
  done
  fail "the progress panel stayed on screen"
}

# Scenario: the unit floods the input the program listens to with note
# messages while MIDI Setup's OK is pressed again and again with the ports
# unchanged; after every OK the program still takes keys and hears the unit.
# The flood goes on until stop_flood (so that saving and quitting meet it too).
scenario_ok_under_flood() {
  local press
  kill -USR1 "$unit_pid"
  wait_log "flood on" 1 10
  for press in 1 2 3 4 5; do
    open_midi_setup
    press_midi_setup_ok
    expect_answers_key
    receive_all
    step "OK $press under the flood: keys taken, 100 programs received"
  done
}

stop_flood() {
  kill -USR2 "$unit_pid"
  wait_log "flood off" 1 10
  step "$(grep "flood off" "$UNIT_LOG" | tail -n 1)"
}

# choose_second_device COMBO_Y: opens the list at that height in the panel
# and picks the entry after the selected one.
choose_second_device() {
  click_at $((PX + 192)) $((PY + $1 + 10))
  pick_from_popup 2 2
}

# Scenario: the unit's port name lacks "Kestrum QX" and another device comes
# first, so start-up preselects that one and reports the unit missing; the
# user chooses the unit in both lists of MIDI Setup, and Receive works.
scenario_unit_not_preselected() {
  local id
  mkdir -p "$OUT/b"
  UNIT_LOG="$OUT/b/unit.log"
  "$UNIT" "$OUT/b" 400 --name "QX Unit" &
  unit_pid=$!
  for _ in $(seq 1 100); do [ -e "$OUT/b/unit.ready" ] && break; sleep 0.1; done
  [ -e "$OUT/b/unit.ready" ] || fail "the second unit did not come up"
  (cd "$SRC" && exec "$PROGRAM" >"$OUT/program-b.log" 2>&1) &
  main_pid=$!
  PROGRAM_PIDS+=("$main_pid")
  id=$(wait_window "$APP_TITLE" 90)
  key_to "$id" Return
  wait_id_gone "$id" 30
  win=$(wait_window "$APP_TITLE" 60)
  answer_box_id "$(wait_window "MIDI Connection Error:" 30)" Return
  [ "$(log_count "$IDENTITY_REQUEST")" -eq 0 ] || fail "start-up asked the unit that was not preselected"
  step "second start: connection error with the unit under another name"
  open_midi_setup
  choose_second_device 48
  choose_second_device 82
  press_midi_setup_ok
  receive_all
  step "the unit chosen in MIDI Setup: 100 programs received"
  key_to "$win" ctrl+q
  answer_box "Quit:" Return
  wait_exit "$main_pid" 60
  [ "$EXIT_CODE" -eq 0 ] || fail "the second run ended with $EXIT_CODE"
  kill -TERM "$unit_pid"
  wait "$unit_pid" || fail "the second unit ended with $?"
  cmp -s "$OUT/b/unit-initial.bin" "$OUT/b/unit-stored.bin" || fail "the second unit's programs changed"
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

scenario_ok_under_flood

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
stop_flood

kill -TERM "$unit_pid"
wait "$unit_pid" || fail "the unit ended with $?"
step "unit ended"

scenario_unit_not_preselected
step "second run ended"
