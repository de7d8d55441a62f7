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
# Opened at start-up without selecting its rows: the view stays on the user area.
wait_pixels "$win" $USER_ROW $MANY
[ "$(pixels_of "$win" $LIB1)" -lt $FEW ] || fail "library rows in view right after start-up"
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
window_geometry "$win"
menu=$(open_popup "$main_pid" "$win" $((WIN_X + 25)) $((WIN_Y + 24 + 12)))
screenshot "$T/menu.png"
cp "$T/menu.png" "${KSQX_BUILD_DIR:-$T}/screenshots/file-menu.png" 2>/dev/null || true
escaped=
for _ in 1 2 3; do
  xdotool key Escape
  id_gone_within "$menu" 30 && { escaped=1; break; }
done
[ -n "$escaped" ] || fail "Escape did not close the File menu"

# Close File(s) from the keyboard removes every library row: the view comes
# back to the user area, and paging down to its last row (row 99 selected
# at the bottom of the view) shows no library row below it.
no_library_rows() { [ "$(pixels_of "$win" $LIB1)" -lt $FEW ] && [ "$(pixels_of "$win" $LIB2)" -lt $FEW ]; }
key_to "$win" ctrl+w
wait_until 10 "library rows left after Control+W" no_library_rows
wait_pixels "$win" $USER_ROW $MANY
key_to "$win" Next Next Next
# The selected row's top, down a pixel column near the window's right edge.
selected_row_top() {
  screenshot "$T/shot.png"
  colour_runs "$T/shot.png" $((WIN_X + WIN_W - 40)) "$WIN_Y" "$WIN_H" | awk -v g=$SELECTED '$3 == g { print $1; exit }'
}
selected_at_bottom() { local y; y=$(selected_row_top); [ -n "$y" ] && [ "$y" -gt $((WIN_Y + WIN_H * 3 / 4)) ]; }
wait_until 10 "Page Down did not reach the end of the user area" selected_at_bottom
no_library_rows || fail "library rows below the user area after Control+W"

quit_with_control_q "$win" "$main_pid"
echo "library files test passed"
