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
