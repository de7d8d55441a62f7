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
one_error_box() { [ "$(window_count "MIDI Connection Error:")" -eq 1 ]; }
no_error_box() { [ "$(window_count "MIDI Connection Error:")" -eq 0 ]; }
holds_for 1 "more than one connection error box" one_error_box
answer_box "MIDI Connection Error:" Return
holds_for 2 "the connection error came back" no_error_box

shots="${KSQX_BUILD_DIR:-$T}/screenshots"
mkdir -p "$shots"
import -window "$win" "$shots/main-window.png"

# A second launch ends at once with exit code 0 and leaves one main window.
start_program "$WIN_PROGRAM"
wait_exit "$PROGRAM_PID" 10
[ "$EXIT_CODE" -eq 0 ] || fail "second launch exited with $EXIT_CODE"
[ "$(window_count "$APP_TITLE")" -eq 1 ] || fail "a second main window appeared"

# The close button asks first: Cancel keeps the program (it asks again at
# the next close), OK ends it.
answer_box_id "$(ask_quit "$win" close)" Escape
quit_box=$(ask_quit "$win" close)
kill -0 "$main_pid" 2>/dev/null || fail "Cancel ended the program"
answer_box_id "$quit_box" Return
wait_exit "$main_pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "quit with exit code $EXIT_CODE"
echo "startup test passed"
