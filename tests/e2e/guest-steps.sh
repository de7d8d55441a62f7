#!/bin/bash
# Inside the end-to-end guest, one part of the test: the emulated unit on
# its sequencer port, then a real program started as the run command starts
# it, driven by keys and clicks. The unit's programs change with every
# reception, and after each one the table's first and last rows are seen to
# hold what the unit sent. What the host checks is copied to OUT/PART.
#   linux   the Linux program: start-up (the unit found, its programs
#           received), File > Transmit, MIDI Setup's OK on a quiet input, OK
#           in the middle of a Receive and of a Transmit, the unit switched
#           off and on and OK, OK again and again while the unit floods the
#           input, Save, Quit;
#   chosen  the Linux program with the unit under a name it does not
#           preselect, chosen by hand in MIDI Setup;
#   wine    the Windows program under Wine: start-up, Transmit, Receive, OK
#           in the middle of a Receive, the unit switched off and on and OK,
#           Save, Quit.
# Usage: guest-steps.sh OUT_DIR PART
OUT="$1"
PART="$2"
# shellcheck source=/dev/null
source "$OUT/guest.env"
export KSQX_SOURCE_DIR="$SRC" KSQX_BUILD_DIR="$OUT/$PART"
# shellcheck source=../gui/lib.sh
source "$SRC/tests/gui/lib.sh"

step() { echo "[$(cut -d' ' -f1 /proc/uptime)] $*"; }

# Where things are in the main window, relative to its top left corner, and
# what they look like (from KSPLLibAppWindow: the framework's 1-pixel border,
# the 24-pixel title bar and the 24-pixel menu bar below it, whose File and
# Option titles are clicked at these x; from CProgNameTable_Display: the
# selected row's goldenrod).
CONTENT_LEFT=1 CONTENT_TOP=49 # the content area, inside the border, below both bars
MENU_BAR_Y=34 FILE_MENU_X=20 OPTION_MENU_X=134
SELECTED_ROW=DAA520
# The MIDI setup panel, centred in the content area (from
# CMidiSetupComponent's size and resized(), and CPanelLook's background): its
# size, the centre of its OK button and of its two device lists (x, and the
# lists' tops), and its radial gradient's light centre, whose red is at least
# PANEL_LIGHT_RED where the table behind it is dark.
SETUP_W=320 SETUP_H=170
SETUP_OK_X=162 SETUP_OK_Y=136
SETUP_LIST_X=192 SETUP_IN_LIST_TOP=48 SETUP_OUT_LIST_TOP=82 SETUP_LIST_H=20
SETUP_LIGHT_X=24 SETUP_LIGHT_Y=16 PANEL_LIGHT_RED=192
# The progress panel, centred likewise (from CProgressDialogComponent's size
# and CPanelLook's frame, which ends in 0xafafaf at the panel's corners).
PROGRESS_W=240 PROGRESS_H=69 PROGRESS_FRAME=AFAFAF

# Every wait below is for a condition; its bound is sized for a guest that
# runs several times slower than on an idle machine (a software CPU beside a
# full load), and only a failure waits that long.

# The unit's folder and log that the helpers read; each line of the log
# ends in "  @" and the time (seconds since boot, as in this log's lines).
# (No pipe here ends before its input does: with pipefail the writer's
# SIGPIPE would end the steps.)
UNIT_DIR="$OUT/$PART"
UNIT_LOG="$UNIT_DIR/unit.log"
mkdir -p "$UNIT_DIR"
IDENTITY_REQUEST="in  F0 7E 7F 06 01 F7"
DUMP_REQUEST="in  F0 42 30 00 01 10 1C 20"
PROGRAM_DUMP="in  F0 42 30 00 01 10 4C 20"
# The program numbers of a whole transfer, as the unit's log writes them.
ALL_PROGRAMS=$(printf '%02X ' $(seq 0 99))

# log_count PATTERN: how many lines of the unit's log have it.
log_count() { grep -c -- "$1" "$UNIT_LOG" 2>/dev/null || true; }

# log_mark: the number of lines in the unit's log, to look after later.
log_mark() { wc -l <"$UNIT_LOG"; }

# log_since MARK: the unit's log after that many lines.
log_since() { tail -n +$(($1 + 1)) "$UNIT_LOG"; }

# log_text LINE: a line of the unit's log without its time.
log_text() { echo "${1%  @*}"; }

# first_since MARK PATTERN: the number, counted from MARK, of the first line
# after MARK with the pattern; empty if none.
first_since() { awk -v m="$1" -v p="$2" 'NR > m && !n && index($0, p) { n = NR - m } END { if (n) print n }' "$UNIT_LOG"; }

# numbers_since MARK PATTERN [UNTIL]: the program numbers (byte 8, in hex)
# of the unit's messages after MARK (up to line UNTIL) that have the
# pattern, on one line.
numbers_since() {
  awk -v m="$1" -v p="$2" -v u="${3:-0}" 'NR > m && (!u || NR <= u) && index($0, p) { printf "%s ", $10 }' "$UNIT_LOG"
}

# has_log PATTERN COUNT SECONDS: true once the unit's log has COUNT such
# lines, false after SECONDS.
has_log() {
  local end=$((SECONDS + $3))
  until [ "$(log_count "$1")" -ge "$2" ]; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# wait_log PATTERN COUNT SECONDS: until the unit's log has COUNT such lines.
wait_log() {
  has_log "$@" || fail "the unit saw $(log_count "$1") of $2 messages '$1' within $3 s"
}

# ctrl_key WINDOW KEY: Control+KEY in that window. Wine reads the modifier
# from its own key state, which a quick chord outruns: there the Control
# key is held a moment around the key.
ctrl_key() {
  if [ "$PART" != wine ]; then key_to "$1" "ctrl+$2"; return; fi
  key_to "$1"
  sleep 0.3
  xdotool keydown Control_L; sleep 0.3; xdotool key "$2"; sleep 0.3; xdotool keyup Control_L
}

# fail_saying_if_hung WHAT: fails with WHAT, and says whether the program
# still takes keys (Ctrl+Q brings its quit box) or hangs.
fail_saying_if_hung() {
  ctrl_key "$win" q
  for _ in $(seq 1 100); do
    [ "$(window_count "Quit:")" -eq 0 ] || fail "$1 (the program still takes keys)"
    sleep 0.1
  done
  fail "$1 (the program hangs: no quit box for Ctrl+Q)"
}

# open_menu X: the menu bar's title at x (in the main window) clicked until
# its menu opens; prints the menu's window.
open_menu() {
  window_geometry "$win"
  open_popup "$main_pid" "$win" $((WIN_X + $1)) $((WIN_Y + MENU_BAR_Y)) 30
}

# start_transfer N BOX: File's N-th entry (Transmit 4, Receive 5), and its
# question box BOX answered with OK. The File menu has a separator, so the
# entry is chosen with keys once the menu is up; a key lost then leaves no
# box, and the menu is closed and opened again, unless the box came late.
start_transfer() {
  local popup box=""
  for _ in 1 2 3; do
    popup=$(open_menu "$FILE_MENU_X")
    sleep 0.5
    xdotool key $(printf 'Down %.0s' $(seq 1 "$1")) Return
    box=$(wait_window_within "$2" 60) && break
    retried "File's entry $1 brought no '$2' box"
    id_gone_within "$popup" 10 || xdotool key Escape
    box=$(wait_window_within "$2" 2) && break
  done
  [ -n "$box" ] || fail_saying_if_hung "File's entry $1 brought no '$2' box"
  answer_box_id "$box" Return
}

# open_midi_setup: Option > MIDI Setup, the first of the menu's three items;
# sets PX, PY, the panel's top left corner on the screen (it stands centred
# in the content area, inside the 1-pixel border, below the title and menu
# bars), and waits until the panel shows: light grey at its gradient's
# centre where the table is dark.
open_midi_setup() {
  # (open_menu's look at the window is in a subshell of its own.)
  window_geometry "$win"
  choose_popup_entry "$(open_menu "$OPTION_MENU_X")" 1 3
  PX=$((WIN_X + CONTENT_LEFT + (WIN_W - 2 * CONTENT_LEFT - SETUP_W) / 2))
  PY=$((WIN_Y + CONTENT_TOP + (WIN_H - CONTENT_TOP - CONTENT_LEFT - SETUP_H) / 2))
  for _ in $(seq 1 60); do
    midi_setup_shown && return 0
    sleep 0.25
  done
  fail "MIDI Setup did not open (#$PANEL_COLOUR at its top left)"
}

# midi_setup_shown: the panel is on screen (light grey at its gradient's
# centre, where the table is dark).
midi_setup_shown() {
  screenshot "$T/panel.png"
  PANEL_COLOUR=$(pixel "$T/panel.png" $((PX + SETUP_LIGHT_X)) $((PY + SETUP_LIGHT_Y)))
  [ -n "$PANEL_COLOUR" ] && [ $((16#${PANEL_COLOUR:0:2})) -ge "$PANEL_LIGHT_RED" ]
}

# press_midi_setup_ok [quick]: MIDI Setup's OK, seen done by the identity
# request it sends, which reaches the unit only when the unit is the chosen
# output. With "quick", the unit of a paced transfer is told to answer
# quickly just before each click. A click that a loaded machine dropped
# leaves the panel up and is repeated; OK hides the panel before it reopens
# the ports, so a program that hangs there is not clicked again.
press_midi_setup_ok() {
  local before
  before=$(log_count "$IDENTITY_REQUEST")
  for _ in 1 2 3; do
    [ "${1:-}" != quick ] || kill -s RTMIN "$unit_pid"
    # (No --sync: it waits for a move, and a repeated click has none.)
    xdotool mousemove $((PX + SETUP_OK_X)) $((PY + SETUP_OK_Y)) click 1
    has_log "$IDENTITY_REQUEST" $((before + 1)) 5 && return 0
    midi_setup_shown || break
    retried "MIDI Setup's OK was not taken"
  done
  has_log "$IDENTITY_REQUEST" $((before + 1)) 10 && return 0
  fail_saying_if_hung "MIDI Setup's OK sent no identity request"
}

# expect_answers_key: the program takes a key: Ctrl+Q brings the quit box,
# which Escape cancels.
expect_answers_key() {
  ctrl_key "$win" q
  answer_box_id "$(wait_window "Quit:" 30)" Escape
}

# wait_transfer MARK PATTERN WHAT: waits until the unit, after MARK, has
# seen the message of program 99 with the pattern; fails when the transfer
# stops for a minute or takes more than five, or a connection error box
# comes up.
wait_transfer() {
  local mark="$1" pattern="$2" what="$3" n=0 last=-1 moved=$SECONDS end=$((SECONDS + 300))
  while [ "$SECONDS" -lt "$end" ]; do
    [ -n "$(log_since "$mark" | grep -- "$pattern 63 ")" ] && return 0
    [ "$(window_count "MIDI Connection Error:")" -eq 0 ] || fail "$what: the program did not hear the unit (connection error)"
    n=$(log_since "$mark" | grep -c -- "$pattern" || true)
    [ "$n" -ne "$last" ] && last=$n moved=$SECONDS
    [ $((SECONDS - moved)) -lt 60 ] || fail_saying_if_hung "$what stopped: the unit saw $n of 100, none for 60 s"
    sleep 0.1
  done
  fail_saying_if_hung "$what: the unit saw $n of 100 within 300 s"
}

# expect_in_order MARK PATTERN WHAT: the unit's messages after MARK with the
# pattern are those of programs 0 to 99, each once and in order.
expect_in_order() {
  local got
  got=$(numbers_since "$1" "$2")
  [ "$got" = "$ALL_PROGRAMS" ] || fail "$3: the unit saw the programs (hex) $got"
}

# generation_sent MARK: the generation of the unit's programs that it sent
# in full after MARK (the unit names it once program 99 has gone out).
generation_sent() {
  local line
  for _ in $(seq 1 300); do
    line=$(log_text "$(log_since "$1" | grep "^sent generation " | tail -n 1)")
    [ -n "$line" ] && { echo "${line#sent generation }"; return 0; }
    sleep 0.1
  done
  fail "the unit did not finish sending its programs"
}

# ROW0_X, ROW0_Y: the middle of the table's first row, its first column.
find_first_row() {
  local top
  window_geometry "$win"
  screenshot "$T/rows.png"
  # The selected row (row 0 after a reception) is goldenrod; the runs start
  # at the menu bar's last row.
  top=$(colour_runs "$T/rows.png" $((WIN_X + WIN_W - 40)) $((WIN_Y + CONTENT_TOP - 1)) 60 | awk -v c="$SELECTED_ROW" '$3 == c && !y { y = $1 } END { print y }')
  [ -n "$top" ] || fail "no selected row found below the menu bar"
  ROW0_X=$((WIN_X + 15)) ROW0_Y=$((top + 7))
}

# current_after BEFORE SECONDS: waits until the unit has taken more than
# BEFORE current programs; prints what the latest one is.
current_after() {
  has_log "^current: " $(($1 + 1)) "$2" || return 1
  log_text "$(grep "^current: " "$UNIT_LOG" | tail -n 1 | sed 's/^current: //')"
}

# expect_table_holds G: the table's first and last user rows are programs
# 0 and 99 of the unit's generation G, that is, a reception of generation G
# was handed over whole. A row that is selected by a click or a key is sent
# to the unit as its current program, which the unit names: a click on the
# first row, then Page Down until row 99 is sent.
expect_table_holds() {
  local g="$1" before got=""
  before=$(log_count "^current: ")
  for _ in 1 2 3; do
    click_at "$ROW0_X" "$ROW0_Y"
    got=$(current_after "$before" 5) && break
    retried "a click on the table's first row sent nothing"
  done
  [ -n "$got" ] || fail_saying_if_hung "a click on the table's first row sent no current program"
  [ "$got" = "program 0 of generation $g" ] || fail "the table's first row is $got, not program 0 of generation $g"
  for _ in 1 2 3 4 5 6; do
    before=$(log_count "^current: ")
    key_to "$win" Next
    got=$(current_after "$before" 5) || { retried "Page Down sent nothing"; continue; }
    case "$got" in
      "program 50 of generation $g") ;;
      "program 99 of generation $g") return 0 ;;
      *) fail "after Page Down the table's row is $got, not of generation $g: the reception was not handed over whole" ;;
    esac
  done
  fail_saying_if_hung "Page Down did not reach the table's row 99"
}

# receive_all [WHAT]: File > Receive, confirmed; all 100 programs are asked
# for, each once and in order, with no connection error, and the table then
# holds what the unit sent. WHAT names the reception in a failure.
receive_all() {
  local mark what="${1:-the reception}"
  mark=$(log_mark)
  start_transfer 5 "Receive:"
  wait_transfer "$mark" "$DUMP_REQUEST" "$what"
  expect_in_order "$mark" "$DUMP_REQUEST" "$what"
  RECEIVED=$(generation_sent "$mark")
  wait_progress_panel gone
  # (After a start that received nothing, the table's rows are found here.)
  [ -n "${ROW0_X:-}" ] || find_first_row
  expect_table_holds "$RECEIVED"
}

# expect_transmitted MARK G WHAT: the unit took 100 programs after MARK, each
# once and in order, and they are its generation G, which the table holds.
expect_transmitted() {
  expect_in_order "$1" "$PROGRAM_DUMP" "$3"
  tail -c 4700 "$UNIT_DIR/unit-dumps.bin" | cmp -s - "$UNIT_DIR/unit-sent-$2.bin" ||
    fail "$3: the unit took other programs than its generation $2, which the table holds"
  echo "$2" >>"$UNIT_DIR/transmitted.list"
}

# progress_corner: sets PROG_X, PROG_Y, the progress panel's top left corner
# on the screen (centred in the content area like MIDI Setup).
progress_corner() {
  window_geometry "$win"
  PROG_X=$((WIN_X + CONTENT_LEFT + (WIN_W - 2 * CONTENT_LEFT - PROGRESS_W) / 2))
  PROG_Y=$((WIN_Y + CONTENT_TOP + (WIN_H - CONTENT_TOP - CONTENT_LEFT - PROGRESS_H) / 2))
}

# wait_progress_panel shown|gone: waits (up to a minute) until the progress
# panel is on screen, or has faded out (3 s after the last program) so that
# it covers nothing clicked next: its frame's grey at its top left corner,
# or not.
wait_progress_panel() {
  local end=$((SECONDS + 60)) colour
  progress_corner
  while [ "$SECONDS" -lt "$end" ]; do
    screenshot "$T/progress.png"
    colour=$(pixel "$T/progress.png" $((PROG_X + 1)) $((PROG_Y + 1)))
    case "$1:$colour" in "shown:$PROGRESS_FRAME") return 0 ;; "gone:$PROGRESS_FRAME") ;; gone:*) return 0 ;; esac
    sleep 0.25
  done
  fail "the progress panel is not $1 after a minute"
}

# transfer_with_ok N BOX PATTERN WHAT: MIDI Setup's OK, ports unchanged, in
# the middle of a transfer. MIDI Setup is opened first, then the unit is
# told to pace its answers (each waits 250 ms) and File's N-th entry starts
# the transfer; once the progress panel shows it running and the unit has
# seen 10 programs, OK is clicked, with the unit answering quickly from just
# before the click until the program reopens its ports, so that an answer
# arrives while the program handles the click. OK is clicked again, up to
# three times, while half of the programs are still to come. The unit must
# then see all 100, each once and in order, the first OK's identity request
# among them. Sets MARK.
transfer_with_ok() {
  local item="$1" box="$2" pattern="$3" what="$4" paced end oks=1 ok_line last_line after
  open_midi_setup
  paced=$(log_count "^pacing on")
  kill -HUP "$unit_pid"
  wait_log "^pacing on" $((paced + 1)) 10
  MARK=$(log_mark)
  start_transfer "$item" "$box"
  end=$((SECONDS + 60))
  until [ "$(log_since "$MARK" | grep -c -- "$pattern")" -ge 10 ]; do
    [ "$SECONDS" -lt "$end" ] || fail_saying_if_hung "$what did not get going"
    sleep 0.1
  done
  wait_progress_panel shown
  press_midi_setup_ok quick
  while [ "$oks" -lt 3 ] && [ "$(log_since "$MARK" | grep -c -- "$pattern")" -lt 50 ]; do
    open_midi_setup
    press_midi_setup_ok quick
    oks=$((oks + 1))
  done
  wait_transfer "$MARK" "$pattern" "$what after MIDI Setup's OK"
  expect_in_order "$MARK" "$pattern" "$what after MIDI Setup's OK"
  ok_line=$(first_since "$MARK" "$IDENTITY_REQUEST")
  last_line=$(first_since "$MARK" "$pattern 63 ")
  [ -n "$ok_line" ] && [ "$ok_line" -lt "$last_line" ] ||
    fail "$what: OK came only after program 99 (the click was late, not the program's fault)"
  # The program each OK came after.
  after=$(awk -v m="$MARK" -v p="$pattern" -v ok="$IDENTITY_REQUEST" \
    'NR > m && index($0, p) { last = $10 } NR > m && index($0, ok) { printf "%s ", last }' "$UNIT_LOG")
  step "$oks OK: after program(s) ${after}(hex)"
}

# Scenario: the unit floods the input the program listens to with note
# messages while MIDI Setup's OK is pressed again and again with the ports
# unchanged; after every OK the program still takes keys and hears the unit.
# The flood goes on until stop_flood (so that saving and quitting meet it too).
scenario_ok_under_flood() {
  local press
  kill -USR1 "$unit_pid"
  wait_log "flood on" 1 10
  for press in 1 2 3 4 5; do
    open_midi_setup
    press_midi_setup_ok
    expect_answers_key
    receive_all "the reception after OK $press under the flood"
    step "OK $press under the flood: keys taken, generation $RECEIVED received and handed over"
  done
}

stop_flood() {
  kill -USR2 "$unit_pid"
  wait_log "flood off" 1 10
  step "$(grep "flood off" "$UNIT_LOG" | tail -n 1)"
}

# choose_second_device COMBO_Y: opens the list at that height in the panel
# and picks the entry after the selected one.
choose_second_device() {
  choose_popup_entry "$(open_popup "$main_pid" "$win" $((PX + SETUP_LIST_X)) $((PY + $1 + SETUP_LIST_H / 2)) 30)" 2 2
}

# --- The progress panel on a second transfer: the start-up reception showed
# it first and closed it with its fade-out; during Transmit it must be on
# screen again: its frame's grey at its four corners. A transfer
# here takes a few seconds and screenshots take about one, so a small X
# client polls the panel's place instead, and keeps a picture of it.
progress_watch_start() {
  progress_corner
  rm -f "$T/progress.stop" "$UNIT_DIR/progress.seen"
  python3 - "$PROG_X" "$PROG_Y" "$PROGRESS_W" "$PROGRESS_H" 300 "$T/progress.stop" "$UNIT_DIR/progress.seen" \
    "$UNIT_DIR/progress-second-transfer.ppm" "$PROGRESS_FRAME" <<'PY' &
import ctypes as c, os, sys, time
x0, y0, w, h, secs = map(int, sys.argv[1:6]); stop, seen, picture = sys.argv[6:9]
frame = int(sys.argv[9], 16)
x = c.CDLL("libX11.so.6")
x.XOpenDisplay.restype = c.c_void_p; x.XOpenDisplay.argtypes = [c.c_char_p]
x.XDefaultRootWindow.restype = c.c_ulong; x.XDefaultRootWindow.argtypes = [c.c_void_p]
x.XGetImage.restype = c.c_void_p
x.XGetImage.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_int, c.c_uint, c.c_uint, c.c_ulong, c.c_int]
x.XGetPixel.restype = c.c_ulong; x.XGetPixel.argtypes = [c.c_void_p, c.c_int, c.c_int]
x.XDestroyImage.argtypes = [c.c_void_p]
d = x.XOpenDisplay(None)
root = x.XDefaultRootWindow(d)
end = time.time() + secs
while time.time() < end and not os.path.exists(stop):
    im = x.XGetImage(d, root, x0, y0, w, h, 0xFFFFFFFF, 2)
    if im and all(x.XGetPixel(im, px, py) & 0xFFFFFF == frame
                  for px, py in ((1, 1), (w - 2, 1), (1, h - 2), (w - 2, h - 2))):
        rows = bytearray()
        for py in range(h):
            for px in range(w):
                v = x.XGetPixel(im, px, py)
                rows += bytes(((v >> 16) & 255, (v >> 8) & 255, v & 255))
        open(picture, "wb").write(b"P6 %d %d 255\n" % (w, h) + bytes(rows))
        open(seen, "w").write("seen\n")
        sys.exit(0)
    if im:
        x.XDestroyImage(im)
    time.sleep(0.02)
PY
  progress_watch_pid=$!
}
progress_watch_check() {
  touch "$T/progress.stop"
  wait "$progress_watch_pid" || true
  [ -f "$UNIT_DIR/progress.seen" ] || fail "the progress panel was not on screen during the second transfer"
}

# start_unit [ARGS...]: the emulated unit, writing into UNIT_DIR; sets
# unit_pid once its port is up.
start_unit() {
  "$UNIT" "$UNIT_DIR" 1800 "$@" &
  unit_pid=$!
  PROGRAM_PIDS+=("$unit_pid")
  for _ in $(seq 1 100); do [ -e "$UNIT_DIR/unit.ready" ] && break; sleep 0.1; done
  [ -e "$UNIT_DIR/unit.ready" ] || fail "the emulated unit did not come up"
  step "unit up"
}

# stop_unit: the unit ends well and writes what it holds.
stop_unit() {
  kill -TERM "$unit_pid"
  wait "$unit_pid" || fail "the unit ended with $?"
  step "unit ended"
}

# start_program_of_part: the part's program, as the run command starts it: from the
# source folder (the Windows one under Wine); sets main_pid.
start_program_of_part() {
  if [ "$PART" = wine ]; then
    (cd "$SRC" && exec wine "$WIN_PROGRAM" >"$UNIT_DIR/program.log" 2>&1) &
  else
    (cd "$SRC" && exec "$PROGRAM" >"$UNIT_DIR/program.log" 2>&1) &
  fi
  main_pid=$!
  PROGRAM_PIDS+=("$main_pid")
}

# startup_reception: the version box, then the main window; the start-up
# asks the unit who it is, then receives its 100 programs without any
# question, which the table then holds.
startup_reception() {
  local id
  # (Wine's first start in the guest takes long.)
  id=$(wait_window "$APP_TITLE" 300)
  step "version box $id"
  answer_box_id "$id" Return
  win=$(wait_window "$APP_TITLE" 120)
  step "main window $win"
  wait_log "$IDENTITY_REQUEST" 1 60
  wait_transfer 0 "$DUMP_REQUEST" "the start-up reception"
  expect_in_order 0 "$DUMP_REQUEST" "the start-up reception"
  RECEIVED=$(generation_sent 0)
  wait_progress_panel gone
  [ "$(window_count "MIDI Connection Error:")" -eq 0 ] || fail "a connection error box with the unit there"
  find_first_row
  expect_table_holds "$RECEIVED"
  step "start-up: generation $RECEIVED received and handed over"
}

# transmit_all: File > Transmit; the unit takes the table's 100 programs,
# and the progress panel shows on this second transfer.
transmit_all() {
  local mark
  progress_watch_start
  mark=$(log_mark)
  start_transfer 4 "Transmit:"
  wait_transfer "$mark" "$PROGRAM_DUMP" "the transmission"
  expect_transmitted "$mark" "$RECEIVED" "the transmission"
  step "100 programs transmitted: generation $RECEIVED"
  progress_watch_check
  step "progress panel shown on the second transfer"
  wait_progress_panel gone
}

# ok_during_receive: MIDI Setup's OK in the middle of a Receive, which
# completes, in order, and is handed over.
ok_during_receive() {
  transfer_with_ok 5 "Receive:" "$DUMP_REQUEST" "the reception"
  RECEIVED=$(generation_sent "$MARK")
  wait_progress_panel gone
  expect_table_holds "$RECEIVED"
  step "OK during a Receive: generation $RECEIVED received, in order, and handed over"
}

# Scenario: the unit is switched off and on; the sequencer has removed the
# program's connections to and from its port and gives it the same address
# again. MIDI Setup's OK with the choice unchanged, then a Receive that must
# complete: OK opens the ports afresh.
scenario_unit_back() {
  local backs away back
  backs=$(log_count "^back at ")
  kill -s RTMIN+1 "$unit_pid"
  wait_log "^back at " $((backs + 1)) 10
  away=$(log_text "$(grep "^away from " "$UNIT_LOG" | tail -n 1)")
  back=$(log_text "$(grep "^back at " "$UNIT_LOG" | tail -n 1)")
  [ "${away#away from }" = "${back#back at }" ] || fail "the unit came back at ${back#back at }, not at ${away#away from }"
  step "unit switched off and on, back at ${back#back at }"
  open_midi_setup
  press_midi_setup_ok
  receive_all "the reception after the unit came back and MIDI Setup's OK"
  step "unit back, OK: generation $RECEIVED received and handed over"
}

# save_library: File > Save of the table (no file name yet) into
# $T/save/e2e.ksqx, copied to UNIT_DIR/saved.ksqx.
save_library() {
  local before dlg saved=
  mkdir -p "$T/save"
  before=$(xdotool search --onlyvisible --pid "$main_pid" 2>/dev/null | tr '\n' ' ' || true)
  ctrl_key "$win" s
  if [ "$PART" = wine ]; then
    dlg=$(wait_system_dialog 60)
  else
    dlg=$(wait_other_window "$main_pid" "$win $before" 60)
  fi
  step "save dialog $dlg"
  if [ "$PART" = wine ]; then
    # The system's dialog takes the path in its name box once it takes keys
    # (the X focus tells nothing under Wine).
    type_into_dialog "$dlg" "Z:$(echo "$T/save/e2e.ksqx" | tr / '\\')" 90
    xdotool key Return
  else
    # The framework's own file dialog: a full path in its name box moves it
    # to that folder and keeps the name, the second Return saves. The name
    # box, above the buttons at the foot of the dialog, takes the keys only
    # once clicked, and they reach it once the dialog has the focus.
    eval "$(xdotool getwindowgeometry --shell "$dlg")"
    xdotool mousemove --window "$dlg" $((WIDTH / 2)) $((HEIGHT - 61)) click 1
    wait_until 60 "the save dialog did not get the focus" has_focus "$dlg"
    xdotool type --delay 20 "$T/save/e2e.ksqx"
    xdotool key Return
    # The second Return saves; it is pressed again while the dialog stays
    # and nothing is saved.
    for _ in 1 2 3; do
      xdotool key Return
      wait_until_quietly 30 test -f "$T/save/e2e.ksqx" && { saved=1; break; }
      window_viewable "$dlg" || break
      retried "Return in the save dialog saved nothing"
    done
  fi
  # The file is written under another name and renamed, so once it is there
  # it is whole.
  [ -n "$saved" ] || wait_until_quietly 30 test -f "$T/save/e2e.ksqx" || { screenshot "$UNIT_DIR/save.png"; fail "nothing saved"; }
  cp "$T/save/e2e.ksqx" "$UNIT_DIR/saved.ksqx"
  step "saved"
}

# quit_program SETTINGS_FILE: Quit, which writes the settings file; the exit
# code to UNIT_DIR/program.rc, the settings file (whatever the exit code)
# to UNIT_DIR/setting.ksqc.
quit_program() {
  ctrl_key "$win" q
  answer_box_id "$(wait_window "Quit:" 30)" Return
  wait_exit "$main_pid" 120
  step "program ended with $EXIT_CODE"
  echo "$EXIT_CODE" >"$UNIT_DIR/program.rc"
  cp "$1" "$UNIT_DIR/setting.ksqc" 2>/dev/null || true
}

part_linux() {
  start_unit
  start_program_of_part
  startup_reception
  transmit_all

  # OK on a quiet input: the framework's ALSA input thread, told to end when
  # the last input closes, is then asleep for up to 100 ms, and the program
  # must still hear the unit afterwards.
  open_midi_setup
  press_midi_setup_ok
  expect_answers_key
  receive_all "the reception after OK on a quiet input"
  step "OK on a quiet input: keys taken, generation $RECEIVED received and handed over"

  ok_during_receive

  transfer_with_ok 4 "Transmit:" "$PROGRAM_DUMP" "the transmission"
  expect_transmitted "$MARK" "$RECEIVED" "the transmission after MIDI Setup's OK"
  wait_progress_panel gone
  step "OK during a Transmit: generation $RECEIVED transmitted, in order"

  scenario_unit_back
  scenario_ok_under_flood
  save_library
  quit_program "$XDG_CONFIG_HOME/KestrumQX/setting.ksqc"
  stop_flood
  stop_unit
}

# The unit's port name lacks "Kestrum QX" and another device comes first,
# so start-up preselects that one and reports the unit missing; the user
# chooses the unit in both lists of MIDI Setup, and Receive works.
part_chosen() {
  local id
  start_unit --name "QX Unit"
  start_program_of_part
  id=$(wait_window "$APP_TITLE" 180)
  answer_box_id "$id" Return
  win=$(wait_window "$APP_TITLE" 120)
  answer_box_id "$(wait_window "MIDI Connection Error:" 60)" Return
  [ "$(log_count "$IDENTITY_REQUEST")" -eq 0 ] || fail "start-up asked the unit that was not preselected"
  step "connection error with the unit under another name"
  open_midi_setup
  choose_second_device "$SETUP_IN_LIST_TOP"
  choose_second_device "$SETUP_OUT_LIST_TOP"
  press_midi_setup_ok
  receive_all "the reception from the unit chosen in MIDI Setup"
  step "the unit chosen in MIDI Setup: generation $RECEIVED received and handed over"
  quit_with_control_q "$win" "$main_pid" 30 120
  stop_unit
  cmp -s "$UNIT_DIR/unit-initial.bin" "$UNIT_DIR/unit-stored.bin" || fail "the unit's programs changed"
}

# The Windows program in a layer of its own over the prefix made on the host
# (the guest's root is the host's under a tmpfs overlay, so what Wine writes
# stays in the guest); its settings in the prefix's application-data folder,
# from no earlier run.
part_wine() {
  local settings
  export WINEPREFIX="$WIN_PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -f "$WINEPREFIX/system.reg" ] || fail "no Wine prefix at $WINEPREFIX"
  settings=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Roaming' | head -n 1)
  [ -n "$settings" ] || fail "no application-data folder in the Wine prefix"
  rm -rf "$settings/KestrumQX"
  start_unit
  start_program_of_part
  startup_reception
  transmit_all
  receive_all "the reception"
  step "Receive: generation $RECEIVED received and handed over"
  ok_during_receive
  scenario_unit_back
  save_library
  quit_program "$settings/KestrumQX/setting.ksqc"
  stop_unit
}

# Wine's server for the prefix goes with the part, then lib.sh's cleanup,
# which reads the exit status.
wine_cleanup() {
  local rc=$?
  set +e
  # A program that stopped answering shows here whether it was busy.
  [ $rc -eq 0 ] || ps -eo pid,pcpu,rss,etime,comm --sort=-pcpu | head -n 12
  timeout 30 wineserver -k >/dev/null 2>&1
  (exit $rc)
  cleanup
}

start_display
step "display $DISPLAY, part $PART"
case "$PART" in
  linux) part_linux ;;
  chosen) part_chosen ;;
  wine) trap wine_cleanup EXIT; part_wine ;;
  *) fail "no part '$PART'" ;;
esac
step "part $PART passed"
