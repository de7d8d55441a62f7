#!/usr/bin/env bash
# The real Windows-style program under a virtual display, driven by keys:
# version box, main window, one connection error, single instance, and the
# close button's Quit question.
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM="$1"

start_display
start_program "$WIN_PROGRAM"
main_pid=$PROGRAM_PID

answer_version_box
win=$(wait_window "$APP_TITLE")
wait_window "MIDI Connection Error:" >/dev/null
sleep 0.5
[ "$(window_count "MIDI Connection Error:")" -eq 1 ] || fail "more than one connection error box"
answer_box "MIDI Connection Error:" Return
sleep 1
[ "$(window_count "MIDI Connection Error:")" -eq 0 ] || fail "the connection error came back"

shots="${KSQX_BUILD_DIR:-$T}/screenshots"
mkdir -p "$shots"
import -window "$win" "$shots/main-window.png"

# A second launch ends at once with exit code 0 and leaves one main window.
start_program "$WIN_PROGRAM"
wait_exit "$PROGRAM_PID" 10
[ "$EXIT_CODE" -eq 0 ] || fail "second launch exited with $EXIT_CODE"
[ "$(window_count "$APP_TITLE")" -eq 1 ] || fail "a second main window appeared"

# The close button asks first: Cancel keeps the program, OK ends it.
wmctrl -i -c "$win"   # the window manager asks the window to close
answer_box "Quit:" Escape
sleep 0.5
kill -0 "$main_pid" || fail "Cancel ended the program"
wmctrl -i -c "$win"
answer_box "Quit:" Return
wait_exit "$main_pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "quit with exit code $EXIT_CODE"
echo "startup test passed"
