#!/usr/bin/env bash
# The real Windows-style program under a virtual display: MIDI Setup,
# Settings and About each opened from the Option menu by mouse, closed with
# their own buttons (each close fades out) and opened again, twice; each
# time the panel's own pixels must be on screen while it is open and gone
# once it has closed.
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM="$1"

shots="${KSQX_BUILD_DIR:-$T}/screenshots"
mkdir -p "$shots"
shot="$T/shot.png"

start_display
start_program "$WIN_PROGRAM"
main_pid=$PROGRAM_PID
pass_startup_boxes
win=$(wait_window "$APP_TITLE")
window_geometry "$win"

# option_item N: Option menu, its Nth item (1 MIDI Setup, 2 Settings,
# 3 About..), by mouse.
option_item() {
  choose_popup_entry "$(open_popup "$main_pid" "$win" $((WIN_X + 134)) $((WIN_Y + 36)))" "$1" 3
}

# panel_at W H: sets PX, PY, the panel's top left corner on screen when it
# stands centred in the content area (inside the 1-pixel border, below the
# title and menu bars).
panel_at() {
  PX=$((WIN_X + 1 + (WIN_W - 2 - $1) / 2))
  PY=$((WIN_Y + 49 + (WIN_H - 50 - $2) / 2))
}

# panel_pixels W H: how many of four points inside the panel's frame show
# its light-grey gradient (an opaque panel: all four; none shown, or a
# transparent one over the table: none).
panel_pixels() {
  local n=0 c v
  for xy in "12 12" "$(($1 - 12)) 12" "12 $(($2 - 12))" "$(($1 - 12)) $(($2 - 12))"; do
    read -r x y <<<"$xy"
    c=$(pixel "$shot" $((PX + x)) $((PY + y)))
    v=$((16#${c:0:2}))
    [ "${c:0:2}" = "${c:2:2}" ] && [ "${c:2:2}" = "${c:4:2}" ] && [ "$v" -ge 144 ] && n=$((n + 1))
  done
  echo $n
}

# panel_points_are W H WANT: a screenshot shows WANT (4 or 0) of the points.
panel_points_are() {
  screenshot "$shot"
  [ "$(panel_pixels "$1" "$2")" -eq "$3" ]
}

# wait_panel NAME W H WANT: waits until panel_pixels gives WANT.
wait_panel() {
  wait_until_quietly 10 panel_points_are "$2" "$3" "$4" ||
    fail "$1: $(panel_pixels "$2" "$3") of 4 panel points on screen, wanted $4"
}

# cycle NAME ITEM W H OK_X OK_Y: opens the panel and closes it with its
# button, three times over.
cycle() {
  local name="$1" item="$2" w="$3" h="$4" okx="$5" oky="$6" round
  panel_at "$w" "$h"
  for round in 1 2 3; do
    option_item "$item"
    wait_panel "$name, opening $round" "$w" "$h" 4
    cp "$shot" "$shots/panel-$(echo "$name" | tr ' A-Z' '-a-z')-$round.png"
    # A second click, when the first was lost, lands on the panel's button
    # again; one after the panel has gone lands on the table.
    click_until $((PX + okx)) $((PY + oky)) 10 panel_points_are "$w" "$h" 0
  done
  echo "ok: $name shown three times"
}

cycle "MIDI Setup" 1 320 170 162 136
cycle "Settings" 2 320 320 100 292
cycle "About" 3 240 300 120 236

quit_with_control_q "$win" "$main_pid"
echo "panels test passed"
