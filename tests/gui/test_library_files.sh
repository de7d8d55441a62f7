#!/usr/bin/env bash
# Library files reach the real program from its command line and from a
# second launch; Close File(s) (Control+W) removes their rows; the File menu
# opens from the menu bar; Control+Q quits after the question.
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM="$1"

USER_ROW=303030 LIB1=555555 LIB2=696969 SELECTED=DAA520
# A screen of rows of one range is well over 100000 pixels; the window's own
# frame and scroll bars hold a few thousand of the same greys.
MANY=50000 FEW=20000
start_display
make_library_file "$T/first.ksqx" 1
make_library_file "$T/second set.ksqx" 2

start_program "$WIN_PROGRAM" "$T/first.ksqx"
main_pid=$PROGRAM_PID
pass_startup_boxes
win=$(wait_window "$APP_TITLE")
sleep 1
# Opened at start-up without selecting its rows: the view stays on the user area.
[ "$(pixels_of "$win" $LIB1)" -lt $FEW ] || fail "library rows in view right after start-up"
wait_pixels "$win" $USER_ROW $MANY
# Page Down three times reaches row 150, a row of the file.
key_to "$win" Next Next Next
wait_pixels "$win" $LIB1 $MANY   # rows of the first file

# A second launch naming another file: its rows are added, the first of them
# selected and scrolled into view; the launch itself ends at once.
start_program "$WIN_PROGRAM" "$T/second set.ksqx"
wait_exit "$PROGRAM_PID" 10
[ "$EXIT_CODE" -eq 0 ] || fail "second launch exited with $EXIT_CODE"
wait_pixels "$win" $LIB2 $MANY   # the second file's rows in view
wait_pixels "$win" $SELECTED 5000  # the first of them selected
screenshot "$T/library.png"
cp "$T/library.png" "${KSQX_BUILD_DIR:-$T}/screenshots/library-rows.png" 2>/dev/null || true

# The File menu opens from the menu bar and closes with Escape.
before=$(xdotool search --onlyvisible --name '' 2>/dev/null | wc -l)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 25)) $((Y + 24 + 12)) click 1
sleep 1
after=$(xdotool search --onlyvisible --name '' 2>/dev/null | wc -l)
[ "$after" -gt "$before" ] || fail "the File menu did not open"
screenshot "$T/menu.png"
cp "$T/menu.png" "${KSQX_BUILD_DIR:-$T}/screenshots/file-menu.png" 2>/dev/null || true
xdotool key Escape
sleep 0.5

# Close File(s) from the keyboard removes every library row.
key_to "$win" ctrl+w
sleep 0.5
key_to "$win" Next Next Next
wait_pixels "$win" $USER_ROW $MANY
sleep 1
[ "$(pixels_of "$win" $LIB1)" -lt $FEW ] && [ "$(pixels_of "$win" $LIB2)" -lt $FEW ] || fail "library rows left after Control+W"

key_to "$win" ctrl+q
answer_box "Quit:" Return
wait_exit "$main_pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "quit with exit code $EXIT_CODE"
echo "library files test passed"
