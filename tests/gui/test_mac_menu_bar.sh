#!/usr/bin/env bash
# The macOS program as built here has no system menu; its in-window menu bar
# is 1 pixel high, the row below the title bar. Clicks along that row open
# File, Edit and Option at its left end, in this order, and the commands that
# have no shortcut are chosen from them: Transmit and Receive ask their
# questions, Close File(s) removes the library rows, and MIDI Setup, Settings
# and About show their panels.
source "$(dirname "$0")/lib.sh"
MAC_PROGRAM=$(realpath "${2:-}")
[ -x "$MAC_PROGRAM" ] || fail "no macOS program given"

USER_ROW=303030 LIB1=555555
MANY=50000 FEW=20000
start_display
make_library_file "$T/first.ksqx" 1
start_mac_program "$MAC_PROGRAM" "$T/first.ksqx"
main_pid=$PROGRAM_PID
pass_startup_boxes
win=$(wait_window "$APP_TITLE")
window_geometry "$win"
# Inside the 1-pixel frame, below the window manager's title bar: the first
# row of the window's own content, which the window geometry counts from the
# frame's top.
BAR_Y=$((WIN_Y + 25))
bar_drawn() {
  screenshot "$T/shot.png"
  bar=$(pixel "$T/shot.png" $((WIN_X + 40)) $BAR_Y)
  below=$(pixel "$T/shot.png" $((WIN_X + 40)) $((BAR_Y + 1)))
  above=$(pixel "$T/shot.png" $((WIN_X + 40)) $((BAR_Y - 1)))
  [ "$bar" != "$below" ] && [ "$bar" != "$above" ]
}
wait_until_quietly 10 bar_drawn || fail "no 1-pixel bar at y=$BAR_Y ($above / $bar / $below)"

# open_menu_at X: clicks the bar at pixel X; prints "X Y W H" of the menu
# that opened, nothing when none did.
open_menu_at() {
  xdotool mousemove --sync $((WIN_X + 1 + $1)) $BAR_Y click 1
  local m
  for _ in $(seq 1 20); do
    m=$(xdotool search --onlyvisible --name '^menu$' 2>/dev/null | tail -n 1 || true)
    if [ -n "$m" ]; then
      xdotool getwindowgeometry --shell "$m" | awk -F= '{ v[$1] = $2 } END { print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"] }'
      return 0
    fi
    sleep 0.1
  done
}
close_menu() {
  for _ in $(seq 1 5); do
    xdotool key Escape
    for _ in $(seq 1 10); do
      [ -z "$(xdotool search --onlyvisible --name '^menu$' 2>/dev/null || true)" ] && return 0
      sleep 0.1
    done
  done
  fail "a menu stayed open"
}

# Along the bar: every pixel that opens a menu, and which menu (by its place).
menus=() starts=()
for x in $(seq 0 20); do
  geometry=$(open_menu_at "$x")
  [ -n "$geometry" ] || continue
  close_menu
  if [ ${#menus[@]} -eq 0 ] || [ "${menus[-1]}" != "$geometry" ]; then
    menus+=("$geometry") starts+=("$x")
  fi
done
echo "menus open from bar pixels ${starts[*]}"
[ ${#menus[@]} -eq 3 ] || fail "${#menus[@]} menus open along the bar, not File, Edit and Option"
read -r _ _ _ file_h <<<"${menus[0]}"
read -r _ _ _ option_h <<<"${menus[2]}"
[ "$file_h" -gt "$option_h" ] || fail "the first menu (File, five items) is not taller than the third (Option, three)"

# choose MENU K N: opens menu MENU (0 File, 2 Option) and chooses its item K
# (from 0) of N.
choose() {
  choose_popup_entry "$(open_popup "$main_pid" "$win" $((WIN_X + 1 + ${starts[$1]})) $BAR_Y)" $(($2 + 1)) "$3"
}

choose 0 3 5 # Transmit
answer_box_id "$(wait_window "Transmit:")" Escape
choose 0 4 5 # Receive
answer_box_id "$(wait_window "Receive:")" Escape

key_to "$win" Next Next Next
wait_pixels "$win" $LIB1 $MANY
choose 0 2 5 # Close File(s)
key_to "$win" Next Next Next
wait_pixels "$win" $USER_ROW $MANY
[ "$(pixels_of "$win" $LIB1)" -lt $FEW ] || fail "library rows left after Close File(s)"
key_to "$win" Home

# A panel stands centred over the table: the middle of the window changes
# and shows none of the table's background.
centre() { import -window "$win" -crop 120x40+$((WIN_W / 2 - 60))+$((WIN_H / 2 - 20)) +repage "$1" 2>/dev/null; }
rows_in() {
  convert "$1" -format %c histogram:info:- | awk -v c="#$USER_ROW" 'toupper($3) == c { gsub(":", "", $1); n += $1 } END { print n + 0 }'
}
centre "$T/centre.png"
[ "$(rows_in "$T/centre.png")" -gt 1000 ] || fail "the table's rows are not in the middle of the window"
mkdir -p "${KSQX_BUILD_DIR:-$T}/screenshots"
for item in "0 MIDI Setup" "1 Settings" "2 About"; do
  read -r k name <<<"$item"
  before=$(md5sum <"$T/centre.png")
  choose 2 "$k" 3
  shown=
  for _ in $(seq 1 50); do
    centre "$T/centre.png"
    if [ "$(md5sum <"$T/centre.png")" != "$before" ] && [ "$(rows_in "$T/centre.png")" -lt 100 ]; then shown=1; break; fi
    sleep 0.1
  done
  [ -n "$shown" ] || fail "$name: no panel over the table"
  screenshot "$T/panel.png"
  cp "$T/panel.png" "${KSQX_BUILD_DIR:-$T}/screenshots/mac-menu-$k.png"
done

answer_box_id "$(ask_quit "$win" close)" Return
wait_exit "$main_pid" 15
[ "$EXIT_CODE" -eq 0 ] || fail "quit with exit code $EXIT_CODE"
echo "macOS menu bar test passed"
