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
  pass_startup_boxes
  win=$(wait_window "$APP_TITLE")
  window_geometry "$win"
}

# table_measured: a screenshot in $shot; sets HEADER_H (from the menu bar to
# the first row), ROW_H (the selected row 0's height) and TABLE_TOP (row 0's
# top); false when no selected row with a user row below it is in view.
table_measured() {
  screenshot "$shot"
  local runs next
  runs=$(colour_runs "$shot" $((WIN_X + WIN_W - 40)) $((WIN_Y + 48)) 120)
  TABLE_TOP= ROW_H=
  read -r TABLE_TOP ROW_H < <(echo "$runs" | awk -v g=$GOLD '$3 == g { print $1, $2; exit }') || true
  [ -n "${TABLE_TOP:-}" ] || return 1
  HEADER_H=$((TABLE_TOP - WIN_Y - 48))
  next=$(echo "$runs" | awk -v g=$GOLD '$3 == g { getline; print $3; exit }')
  [ "$next" = $USER_BG ]
}

# measure_table NAME ROW_H: waits until the table shows rows of that height
# (a change of the font size shows at the table's next paint); the
# screenshot goes to $shots/NAME.png.
measure_table() {
  for _ in $(seq 1 40); do
    table_measured && [ "$ROW_H" -eq "$2" ] && break
    sleep 0.25
  done
  cp "$shot" "$shots/$1.png"
  table_measured || fail "$1: no selected row 0 with a user row below it in view"
  [ "$ROW_H" -eq "$2" ] || fail "$1: rows are $ROW_H pixels high, not $2"
}

# visible_columns: how many columns the table shows, counted by their cell
# separators (the only pixels darker than a user row's background; text is
# lighter) across a user row below the settings panel (table_measured first).
visible_columns() {
  local y=$((TABLE_TOP + ((WIN_Y + WIN_H - 30 - TABLE_TOP) / ROW_H) * ROW_H + ROW_H / 2))
  convert "$shot" -crop "$((WIN_W - 2))x1+$((WIN_X + 1))+$y" +repage -depth 8 txt:- |
    awk -v bg=$((16#${USER_BG:0:2})) -F'[(),]' 'NR > 1 {
      dark = $3 + 0 < bg && $4 + 0 < bg && $5 + 0 < bg
      if (dark && !was) n++
      was = dark
    } END { print n + 0 }'
}

quit_main() { quit_with_control_q "$win" "$main_pid"; }

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
measure_table settings-before 14
default_header=$HEADER_H

# Option > Settings: a click on the menu's name, then on the middle one of
# its three items.
choose_popup_entry "$(open_popup "$main_pid" "$win" $((WIN_X + 134)) $((WIN_Y + 36)))" 2 3

# The panel stands centred in the content area (inside the 1-pixel border,
# below the title and menu bars).
PX=$((WIN_X + 1 + (WIN_W - 2 - 320) / 2))
PY=$((WIN_Y + 49 + (WIN_H - 50 - 320) / 2))
panel_shown() { screenshot "$shot"; [ "$(pixel "$shot" $((PX + 160)) $((PY + 8)))" != $USER_BG ]; }
wait_until 10 "the settings panel did not open" panel_shown

# The table follows the panel at once: the typed font size changes its rows,
# the GAIN toggle hides a column.
measure_table settings-panel-open 14
columns=$(visible_columns)
# The size typed into the slider's text box (again when a click was lost).
for _ in 1 2 3; do
  click_at $((PX + 126)) $((PY + 47))
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 20 "18.0"
  xdotool key Return
  rows_of_20() { table_measured && [ "$ROW_H" -eq 20 ]; }
  wait_until_quietly 10 rows_of_20 && break
done
measure_table settings-font-typed 20
[ "$(visible_columns)" -eq "$columns" ] || fail "the font size changed the number of columns shown"
one_column_less() { table_measured && [ "$(visible_columns)" -eq $((columns - 1)) ]; }
click_until $((PX + 135)) $((PY + 108)) 10 one_column_less # GAIN, above TREBLE's box
screenshot "$shots/settings-panel.png"
panel_gone() { ! panel_shown; }
click_until $((PX + 100)) $((PY + 292)) 10 panel_gone # OK
expect_settings "after OK"
after_ok=$(bytes "$SETTINGS" 0 66)

measure_table settings-after-ok 20
[ "$HEADER_H" -eq $((default_header + 6)) ] || fail "header is $HEADER_H pixels high at font size 18, was $default_header at 12.6"

quit_main
expect_settings "after quitting"
[ "$(bytes "$SETTINGS" 0 66)" = "$after_ok" ] || fail "quitting changed the settings file from $after_ok to $(bytes "$SETTINGS" 0 66)"

# Second start: the same window, rows and header; quitting keeps the file.
start_main
[ "$WIN_W x $WIN_H" = "$first_geometry" ] || fail "the window came back as $WIN_W x $WIN_H, not $first_geometry"
measure_table settings-second-start 20
[ "$HEADER_H" -eq $((default_header + 6)) ] || fail "after a restart the header is $HEADER_H pixels high"
quit_main
[ "$(bytes "$SETTINGS" 0 66)" = "$after_ok" ] || fail "the second run changed the settings file to $(bytes "$SETTINGS" 0 66)"
echo "settings test passed"
