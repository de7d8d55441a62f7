#!/usr/bin/env bash
# The real Windows-style program under a virtual display, driven by mouse
# and keys: a click and the arrow and page keys move the selected (goldenrod)
# row, Control+C on a library row, Control+V into the user area twice and
# Control+X of a user row between them; Control+S through the file dialog
# then shows the edits in the saved file's records.
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM="$1"

GOLD=DAA520 USER_BG=303030 LIB_BG=555555
ROW_H=14 # at the default font size 12.6

# A library of 100 distinct programs, and the user area expected after the
# edits: rows 0 and 1 the library's program 5, rows 2 to 98 blank, row 99
# the initial program that refills the cut row.
python3 - "$T/lib.ksqx" "$T/expected.ksqx" <<'EOF'
import sys
HEAD = bytes([0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20])
def packed(n):
    out = bytearray()
    for g in range(5):
        count = 7 if g < 4 else 4
        out.append((n * 5 + g * 3) & ((1 << count) - 1))  # only the bit 7s in use
        out += bytes((n * 7 + g * 11 + j * 13 + 1) & 0x7F for j in range(count))
    return bytes(out)
def record(r, data): return HEAD + bytes([r]) + data + b"\xF7"
INIT = bytes.fromhex("00000000000000000050000000000000200000000000500708000000680300000000000000")
lib = b"".join(record(n, packed(n)) for n in range(100))
user = [packed(5), packed(5)] + [bytes(37)] * 97 + [INIT]
open(sys.argv[1], "wb").write(lib)
open(sys.argv[2], "wb").write(b"".join(record(r, d) for r, d in enumerate(user)))
EOF

start_display
start_program "$WIN_PROGRAM" "$T/lib.ksqx"
main_pid=$PROGRAM_PID
pass_startup_boxes
win=$(wait_window "$APP_TITLE")
window_geometry "$win"
shots="${KSQX_BUILD_DIR:-$T}/screenshots"
mkdir -p "$shots"

# The row colours are read down one pixel column inside the last column's
# cells, right of its short texts.
COL_X=$((WIN_X + WIN_W - 40))
shot="$T/shot.png"

# The table's first row: the first row-coloured pixel below the two bars.
table_top() {
  screenshot "$shot"
  TOP=$(colour_runs "$shot" "$COL_X" $((WIN_Y + 48)) 60 |
    awk -v g=$GOLD -v u=$USER_BG -v l=$LIB_BG '$3 == g || $3 == u || $3 == l { print $1; exit }')
  [ -n "$TOP" ]
}
wait_until 10 "no table rows found below the menu bar" table_top
row_colour() { pixel "$shot" "$COL_X" $((TOP + $1 * ROW_H + ROW_H / 2)); }
# rows_are ROW=COLOUR...: a screenshot shows the rows so (with the list
# scrolled to its top); ROW_REPORT tells the first that is not.
rows_are() {
  local r c got
  screenshot "$shot"
  for rc in "$@"; do
    r=${rc%=*} c=${rc#*=}
    got=$(row_colour "$r")
    [ "$got" = "$c" ] || { ROW_REPORT="row $r is $got, not $c"; return 1; }
  done
}
# expect_rows WHAT ROW=COLOUR...: waits until the rows are so.
expect_rows() {
  local what="$1"; shift
  wait_until_quietly 10 rows_are "$@" || { cp "$shot" "$shots/editing-failure.png"; fail "$what: $ROW_REPORT"; }
}
expect_rows "at start" 0=$GOLD 1=$USER_BG 4=$USER_BG

# A click selects its row (a second click, when the first was lost, too).
click_until $((WIN_X + 15)) $((TOP + 4 * ROW_H + ROW_H / 2)) 10 rows_are 0=$USER_BG 4=$GOLD 5=$USER_BG

# One key at a time, each with the row it selects.
key_to "$win" Down
expect_rows "after Down" 4=$USER_BG 5=$GOLD 6=$USER_BG
key_to "$win" Down
expect_rows "after Down, Down" 5=$USER_BG 6=$GOLD 7=$USER_BG
key_to "$win" Up
expect_rows "after Down, Down, Up" 4=$USER_BG 5=$GOLD 6=$USER_BG

# Two pages down: library row 105, its program 5. One goldenrod row, with
# library rows around it.
one_library_row_selected() {
  local runs gold below
  screenshot "$shot"
  runs=$(colour_runs "$shot" "$COL_X" "$TOP" $((WIN_Y + WIN_H - TOP - 4)))
  gold=$(echo "$runs" | awk -v g=$GOLD '$3 == g')
  ROW_REPORT="not one selected row: $gold"
  [ "$(echo "$gold" | grep -c .)" -eq 1 ] && [ "$(echo "$gold" | cut -d' ' -f2)" -eq $ROW_H ] || return 1
  below=$(pixel "$shot" "$COL_X" $(($(echo "$gold" | cut -d' ' -f1) + ROW_H + ROW_H / 2)))
  ROW_REPORT="the row below the selected one is $below, not a library row"
  [ "$below" = $LIB_BG ]
}
key_to "$win" Next Next
wait_until_quietly 10 one_library_row_selected ||
  { cp "$shot" "$shots/editing-failure.png"; fail "after two pages down: $ROW_REPORT"; }
cp "$shot" "$shots/editing-library-row.png"

key_to "$win" ctrl+c
# Back up: two pages to row 5, then five rows to row 0.
key_to "$win" Prior Prior Up Up Up Up Up
expect_rows "back at row 0" 0=$GOLD 5=$USER_BG
# (Row 1 selected between the Up and the cut too: the saved file tells.)
key_to "$win" ctrl+v Down Down ctrl+v Up ctrl+x
expect_rows "after the pastes and the cut" 0=$USER_BG 1=$GOLD 2=$USER_BG
cp "$shot" "$shots/editing-after-cut.png"

# Save: the dialog starts in the settings folder, which became the working
# directory when the settings file was created. A name typed into its file
# box and Return save there.
key_to "$win" ctrl+s
dialog=$(wait_other_window "$main_pid" "$win")
window_geometry "$dialog"
click_at $((WIN_X + WIN_W / 2)) $((WIN_Y + WIN_H - 62)) # the file name box
xdotool type --delay 20 "edited.ksqx"
screenshot "$shots/editing-save-dialog.png"
xdotool key Return
wait_id_gone "$dialog"
saved="$XDG_CONFIG_HOME/KestrumQX/edited.ksqx"
wait_file_size "$saved" 4700
if ! cmp -s "$T/expected.ksqx" "$saved"; then
  for r in $(seq 0 99); do
    exp=$(bytes "$T/expected.ksqx" $((r * 47)) 47) got=$(bytes "$saved" $((r * 47)) 47)
    [ "$exp" = "$got" ] || fail "saved record $r is $got, expected $exp"
  done
fi

quit_with_control_q "$win" "$main_pid"
echo "editing test passed"
