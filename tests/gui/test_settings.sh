#!/usr/bin/env bash
# The real Windows-style program under a virtual display: the settings panel
# opened from the Option menu by mouse, a font size typed into the slider's
# box and the GAIN column hidden, OK, quit, start again: the file holds the
# change, the window comes back at its size, and the table's rows and header
# are drawn at the new font size.
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM="$1"

GOLD=DAA520 USER_BG=303030
SETTINGS="$T/config/KestrumQX/setting.ksqc"
shots="${KSQX_BUILD_DIR:-$T}/screenshots"
mkdir -p "$shots"
shot="$T/shot.png"

# start_main: starts the program and passes its start-up boxes; sets main_pid,
# win and the window's geometry.
start_main() {
  start_program "$WIN_PROGRAM"
  main_pid=$PROGRAM_PID
  pass_startup_boxes_surely
  win=$(wait_window "$APP_TITLE")
  window_geometry "$win"
}

# measure_table NAME: screenshot into $shots/NAME.png; sets HEADER_H (from
# the menu bar to the first row) and ROW_H (the selected row 0's height).
measure_table() {
  sleep 0.3
  screenshot "$shot"
  cp "$shot" "$shots/$1.png"
  local runs
  runs=$(colour_runs "$shot" $((WIN_X + WIN_W - 40)) $((WIN_Y + 48)) 120)
  top= ROW_H=
  read -r top ROW_H < <(echo "$runs" | awk -v g=$GOLD '$3 == g { print $1, $2; exit }') || true
  [ -n "${top:-}" ] || fail "$1: no selected row below the menu bar"
  HEADER_H=$((top - WIN_Y - 48))
  local next
  next=$(echo "$runs" | awk -v g=$GOLD '$3 == g { getline; print $3; exit }')
  [ "$next" = $USER_BG ] || fail "$1: the row below the selected row 0 is $next, not a user row"
}

quit_main() {
  key_to "$win" ctrl+q
  answer_box_id "$(wait_window "Quit:")" Return
  wait_exit "$main_pid" 15
  [ "$EXIT_CODE" -eq 0 ] || fail "quit with exit code $EXIT_CODE"
}

expect_settings() {
  local what="$1"
  wait_file_size "$SETTINGS" 66
  [ "$(bytes "$SETTINGS" 0 6)" = "4b5351431200" ] || fail "$what: magic and font bytes are $(bytes "$SETTINGS" 0 6), not KSQC 18 0"
  [ "$(bytes "$SETTINGS" 21 1)" = "00" ] || fail "$what: the GAIN column (byte 21) is still shown"
  [ "$(bytes "$SETTINGS" 16 5)" = "0100010001" ] || fail "$what: show/hide bytes 16..20 are $(bytes "$SETTINGS" 16 5)"
}

start_display
start_main
first_geometry="$WIN_W x $WIN_H"
measure_table settings-before
[ "$ROW_H" -eq 14 ] || fail "rows are $ROW_H pixels high at the default font size, not 14"
default_header=$HEADER_H

# Option > Settings: a click on the menu's name, then on the middle one of
# its three items.
click_at $((WIN_X + 134)) $((WIN_Y + 36))
menu=$(wait_other_window "$main_pid" "$win")
read -r MX MY MW MH < <(xdotool getwindowgeometry --shell "$menu" | awk -F= '{ v[$1] = $2 } END { print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"] }')
click_at $((MX + MW / 2)) $((MY + MH / 2))
wait_id_gone "$menu"

# The panel stands centred in the content area (inside the 1-pixel border,
# below the title and menu bars).
PX=$((WIN_X + 1 + (WIN_W - 2 - 320) / 2))
PY=$((WIN_Y + 49 + (WIN_H - 50 - 320) / 2))
sleep 0.3
screenshot "$shot"
[ "$(pixel "$shot" $((PX + 160)) $((PY + 8)))" != $USER_BG ] || fail "the settings panel did not open"

click_at $((PX + 126)) $((PY + 47)) # the slider's text box
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "18.0"
xdotool key Return
sleep 0.3
click_at $((PX + 135)) $((PY + 108)) # GAIN, above TREBLE's box
screenshot "$shots/settings-panel.png"
click_at $((PX + 100)) $((PY + 292)) # OK
expect_settings "after OK"
after_ok=$(bytes "$SETTINGS" 0 66)

measure_table settings-after-ok
[ "$ROW_H" -eq 20 ] || fail "rows are $ROW_H pixels high at font size 18, not 20"
[ "$HEADER_H" -eq $((default_header + 6)) ] || fail "header is $HEADER_H pixels high at font size 18, was $default_header at 12.6"

quit_main
expect_settings "after quitting"
[ "$(bytes "$SETTINGS" 0 66)" = "$after_ok" ] || fail "quitting changed the settings file from $after_ok to $(bytes "$SETTINGS" 0 66)"

# Second start: the same window, rows and header; quitting keeps the file.
start_main
[ "$WIN_W x $WIN_H" = "$first_geometry" ] || fail "the window came back as $WIN_W x $WIN_H, not $first_geometry"
measure_table settings-second-start
[ "$ROW_H" -eq 20 ] || fail "after a restart rows are $ROW_H pixels high, not 20"
[ "$HEADER_H" -eq $((default_header + 6)) ] || fail "after a restart the header is $HEADER_H pixels high"
quit_main
[ "$(bytes "$SETTINGS" 0 66)" = "$after_ok" ] || fail "the second run changed the settings file to $(bytes "$SETTINGS" 0 66)"
echo "settings test passed"
