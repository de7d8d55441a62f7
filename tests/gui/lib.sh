# Helpers for the tests that drive the real programs under a virtual display.
# Each test sources this file; everything it makes lives in $T (removed at
# exit), and the display, the window manager and the programs are stopped,
# also when the test fails or is killed: SIGTERM, SIGINT and SIGHUP end it
# through its cleanup, and the display, the window manager and the programs
# are children of the test's shell that get SIGTERM when it dies (a SIGKILL
# from ctest's timeout reaches them as its children too).
# Waits are for conditions, each bounded; a check that something does not
# happen watches for it through a stated time.
set -euo pipefail

# GUI tests of any checkout on this machine take turns: another checkout's
# build may keep one instance for the whole machine, and a test may change
# what lies in the shared /var/tmp.
exec 9>/tmp/ksqx-gui-tests.lock
flock -w 600 9 || { echo "FAIL: another GUI test held the lock for 10 minutes" >&2; exit 1; }
# The display, the window manager and the programs are started with the lock
# closed (9>&-): one of them left running by a killed test must not hold
# the lock for every later test.

SRC="${KSQX_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
# shellcheck source=../../scripts/virtual-display.sh
source "$SRC/scripts/virtual-display.sh"
T=$(mktemp -d /tmp/ksqx-gui.XXXXXX)
PROGRAM_PIDS=()

cleanup() {
  local rc=$?
  trap '' TERM INT HUP
  set +e
  if [ $rc -ne 0 ]; then
    echo "--- program output ---"; cat "$T"/prog*.log 2>/dev/null || true
    [ -n "${DISPLAY:-}" ] && import -window root "$T/failure.png" 2>/dev/null && \
      cp "$T/failure.png" "${KSQX_BUILD_DIR:-/tmp}/gui-failure-$(basename "$0" .sh).png" 2>/dev/null || true
  fi
  stop_processes "${PROGRAM_PIDS[@]:-}"
  stop_virtual_display "$T/display"
  [ -n "${MADE_USERS:-}" ] && rmdir /Users 2>/dev/null || true
  chmod -R u+w "$T" 2>/dev/null || true
  rm -rf "$T"
  exit $rc
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

fail() { echo "FAIL: $*" >&2; exit 1; }

# retried WHAT: notes a click or key that is done again (on stderr, since
# some helpers print their result), for whoever reads a slow run's log.
retried() { echo "[$(cut -d' ' -f1 /proc/uptime)] again: $*" >&2; }

# tenths_now: the clock in tenths of a second. The waits for windows are
# bounded by the clock, not by a count of looks: beside a full load one look
# can take over a second, and a wait of N looks then lasts many times longer
# than it says before its click is repeated.
tenths_now() { local t=${EPOCHREALTIME/[.,]/}; echo $((t / 100000)); }

# start_display: a virtual display whose window manager is running (not in a
# command substitution: the display lives as long as this shell).
start_display() {
  start_virtual_display "$T/display" || fail "no virtual display"
  # The program's per-user folders, kept inside the test's own folder.
  export XDG_CONFIG_HOME="$T/config" XDG_RUNTIME_DIR="$T/run" HOME="$T/home"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$HOME"
  chmod 700 "$XDG_RUNTIME_DIR"
}

# start_program BINARY [ARGS...]: starts it in the background in $T/work;
# sets PROGRAM_PID.
start_program() {
  mkdir -p "$T/work"
  local n=${#PROGRAM_PIDS[@]}
  (cd "$T/work" && exec setpriv --pdeathsig TERM "$@" >"$T/prog$n.log" 2>&1 9>&-) &
  PROGRAM_PID=$!
  PROGRAM_PIDS+=("$PROGRAM_PID")
}

# start_mac_program BINARY [ARGS...]: start_program for the macOS program,
# which keeps its settings in /Users/<name>/Library/Application Support: it
# runs in a mount namespace of its own in which /Users is $T/Users.
start_mac_program() {
  if [ ! -e /Users ]; then mkdir /Users; MADE_USERS=1; fi
  mkdir -p "$T/Users"
  start_program unshare -m --propagation private sh -c 'mount --bind "$0" /Users && exec "$@"' "$T/Users" "$@"
}

# wait_window NAME [SECONDS]: waits for a visible window with exactly this
# name; prints its id.
wait_window() {
  wait_window_within "$1" "${2:-20}" || fail "no window named '$1' within ${2:-20}s"
}

# wait_window_within NAME SECONDS: as wait_window, but only returns false
# when there is none.
wait_window_within() {
  local end=$(($(tenths_now) + $2 * 10)) id
  while :; do
    id=$(xdotool search --onlyvisible --name "^${1}\$" 2>/dev/null | tail -n 1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    [ "$(tenths_now)" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# window_count NAME: how many visible windows have exactly this name.
window_count() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l
}

# wait_gone NAME [SECONDS]
wait_gone() {
  local secs="${2:-10}"
  for _ in $(seq 1 $((secs * 10))); do
    [ "$(window_count "$1")" -eq 0 ] && return 0
    sleep 0.1
  done
  fail "window '$1' still there after ${secs}s"
}

# has_focus WINDOW_ID: the window has the keyboard focus (keys typed now
# reach it).
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# key_to WINDOW_ID KEYS...: focuses the window and presses the keys (the
# keys reach it in order; whoever needs their effect waits for it).
key_to() {
  local id="$1"; shift
  timeout 5 xdotool windowactivate --sync "$id" 2>/dev/null ||
    timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null || true
  for _ in $(seq 1 30); do
    has_focus "$id" && break
    sleep 0.1
  done
  # No keys: only the focus (a caller that then holds a chord of its own).
  [ $# -eq 0 ] || xdotool key --clearmodifiers "$@"
}

# answer_box NAME KEY: waits for the box and answers it with the key, again
# while a box of that name is still there (by its name: whichever window of
# that name remains, it has not been answered).
answer_box() {
  local unseen
  for _ in 1 2 3 4 5; do
    key_to "$(wait_window "$1")" "$2"
    unseen=0
    for _ in $(seq 1 30); do
      if [ "$(window_count "$1")" -eq 0 ]; then unseen=$((unseen + 1)); else unseen=0; fi
      [ $unseen -ge 3 ] && return 0
      sleep 0.1
    done
  done
  fail "the box '$1' did not take the key $2"
}

# window_viewable ID: that window is on screen (one query, which stays quick
# on a loaded machine; no pipe, which pipefail would end with SIGPIPE).
window_viewable() {
  case "$(xwininfo -id "$1" 2>/dev/null)" in *IsViewable*) return 0 ;; esac
  return 1
}

# id_gone_within ID TENTHS: true once that window is no longer visible, false
# when it is still there after TENTHS tenths of a second.
# (Gone means not seen in three looks in a row, a tenth of a second apart; a
# window that has just gone at the end of the time gets its looks.)
id_gone_within() {
  local end=$(($(tenths_now) + $2)) unseen=0
  while :; do
    if window_viewable "$1"; then unseen=0; else unseen=$((unseen + 1)); fi
    [ $unseen -ge 3 ] && return 0
    [ $unseen -gt 0 ] || [ "$(tenths_now)" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# wait_id_gone ID [SECONDS]: waits until that window is no longer visible.
wait_id_gone() {
  local id="$1" secs="${2:-10}"
  id_gone_within "$id" $((secs * 10)) || fail "window $id still there after ${secs}s"
}

# answer_version_box: the version box has the application's name as title,
# like the main window that follows it, so it is followed by its id.
answer_version_box() {
  local id
  if ! id=$(wait_window_within "$APP_TITLE" 60); then
    # A program that finds another instance on this machine hands over to it
    # and ends.
    process_runs "${PROGRAM_PID:-}" || fail "the program ended before its version box (another instance running?)"
    fail "no version box within 60s"
  fi
  answer_box_id "$id" Return
}

# wait_exit PID SECONDS: waits for the process to end; sets EXIT_CODE.
# (Not in a command substitution: only this shell can wait for its child.)
wait_exit() {
  local pid="$1" secs="$2"
  for _ in $(seq 1 $((secs * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      EXIT_CODE=0
      wait "$pid" 2>/dev/null || EXIT_CODE=$?
      return 0
    fi
    sleep 0.1
  done
  fail "process $pid still running after ${secs}s"
}

# The program's own start-up: the version box, then the main window; with no
# unit attached, the one connection error box.
APP_TITLE="Orlan Kestrum QX Sound Librarian"
pass_startup_boxes() {
  answer_version_box
  wait_window "$APP_TITLE" >/dev/null
  answer_box "MIDI Connection Error:" Return
}
pass_startup_boxes_surely() { pass_startup_boxes; } # its former name

screenshot() { import -window root "$1"; }

# window_geometry ID: sets WIN_X, WIN_Y, WIN_W, WIN_H of that window.
window_geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^X=/WIN_X=/p; s/^Y=/WIN_Y=/p; s/^WIDTH=/WIN_W=/p; s/^HEIGHT=/WIN_H=/p')"
}

# pixel SHOT X Y: the pixel's colour as RRGGBB (upper case).
pixel() {
  convert "$1" -crop "1x1+$2+$3" txt:- | tail -n 1 | sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tr a-f A-F
}

# colour_runs SHOT X Y0 H: the runs of equal colour down the pixel column x
# from y0, h pixels long, one "y length RRGGBB" line each.
colour_runs() {
  convert "$1" -crop "1x$4+$2+$3" +repage txt:- | awk -v y0="$3" '
    NR > 1 { split($1, a, "[,:]"); c = toupper(substr($3, 2, 6));
             if (c != last) { if (n) print start, n, last; start = a[2] + y0; n = 0; last = c }
             n++ }
    END { if (n) print start, n, last }'
}

# click_at X Y: a left click at screen coordinates.
click_at() {
  xdotool mousemove --sync "$1" "$2" click 1
}

# wait_until SECONDS WHAT COMMAND...: until the command succeeds; fails with
# WHAT after SECONDS.
wait_until() {
  local secs="$1" what="$2"; shift 2
  wait_until_quietly "$secs" "$@" || fail "$what (not within ${secs}s)"
}

# wait_until_quietly SECONDS COMMAND...: as wait_until, but returns false
# instead of failing.
wait_until_quietly() {
  local secs="$1"; shift
  for _ in $(seq 1 $((secs * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

# holds_for SECONDS WHAT COMMAND...: the command keeps succeeding for that
# long (for what must not happen, there is nothing to wait for); fails with
# WHAT as soon as it does not.
holds_for() {
  local secs="$1" what="$2"; shift 2
  for _ in $(seq 1 $((secs * 10))); do
    "$@" || fail "$what"
    sleep 0.1
  done
}

# click_until X Y SECONDS COMMAND...: clicks there until the command succeeds
# within SECONDS of a click (a loaded machine may drop a click); five clicks
# at most. For clicks that are harmless when one too many lands.
click_until() {
  local x="$1" y="$2" secs="$3"; shift 3
  for _ in 1 2 3 4 5; do
    click_at "$x" "$y"
    wait_until_quietly "$secs" "$@" && return 0
  done
  fail "five clicks at $x,$y and still not: $*"
}

# popup_within PID SECONDS: prints the process's menu window (a menu or a
# list that has opened: the framework names their windows "menu", so a box
# that comes late is not taken for one) once there is one; false after
# SECONDS.
popup_within() {
  local end=$(($(tenths_now) + $2 * 10)) id
  while :; do
    id=$(xdotool search --all --onlyvisible --pid "$1" --name '^menu$' 2>/dev/null | tail -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    [ "$(tenths_now)" -lt "$end" ] || return 1
    sleep 0.2
  done
}

# open_popup PID WINDOW_ID X Y [SECONDS]: activates the window and clicks
# there (a menu's name, a list box in it) until a menu of the process shows
# within SECONDS (5) of a click; prints its id. A click that a loaded
# machine dropped opens nothing and is repeated, three clicks at most.
open_popup() {
  local pid="$1" known="$2" x="$3" y="$4" secs="${5:-5}" id
  for _ in 1 2 3; do
    timeout 5 xdotool windowactivate --sync "$known" 2>/dev/null || true
    click_at "$x" "$y"
    id=$(popup_within "$pid" "$secs") && { echo "$id"; return 0; }
    retried "a click at $x,$y opened no menu"
  done
  fail "three clicks at $x,$y opened no menu"
}

# choose_popup_entry POPUP_ID N OF: chooses the N-th of the OF entries (all
# of one height) of an open menu or list with the mouse, until it has gone.
# The framework reads a menu's mouse button by polling and ignores a release
# in the first quarter second of the menu, so the button is held a moment,
# and the press is repeated when the menu stays (a key pressed before the
# menu has the focus would be lost, so keys are not used).
choose_popup_entry() {
  local popup="$1" MX MY MW MH
  [ -n "$popup" ] || fail "no menu to choose its entry $2 of $3 from"
  # (A here-string, not a process substitution: the end-to-end guest has no
  # /dev/fd.)
  read -r MX MY MW MH <<<"$(xdotool getwindowgeometry --shell "$popup" | awk -F= '{ v[$1] = $2 } END { print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"] }')"
  xdotool mousemove --sync $((MX + MW / 2)) $((MY + MH * (2 * $2 - 1) / (2 * $3)))
  for _ in 1 2 3 4 5; do
    xdotool mousedown 1
    sleep 0.3
    xdotool mouseup 1
    id_gone_within "$popup" 40 && return 0
    retried "the menu $popup stayed up after a click on its entry $2"
  done
  fail "the menu $popup did not take a click on its entry $2 of $3"
}

# ask_quit WINDOW_ID HOW [SECONDS]: asks the program to quit, HOW "keys" by
# Control+Q, "close" by the window manager's close request, again until the
# Quit box shows within SECONDS (10) of a request; prints the box's id.
ask_quit() {
  local box
  for _ in 1 2 3; do
    if [ "$2" = keys ]; then key_to "$1" ctrl+q; else wmctrl -i -c "$1"; fi
    box=$(wait_window_within "Quit:" "${3:-10}") && { echo "$box"; return 0; }
    retried "no Quit box for a request ($2)"
  done
  fail "no Quit box after three requests ($2)"
}

# quit_with_control_q WINDOW_ID PID [BOX_SECONDS [EXIT_SECONDS]]: Control+Q
# until the Quit box shows (BOX_SECONDS, 10, a request), OK, and the program
# ends (within EXIT_SECONDS, 15) with exit code 0.
quit_with_control_q() {
  answer_box_id "$(ask_quit "$1" keys "${3:-10}")" Return
  wait_exit "$2" "${4:-15}"
  [ "$EXIT_CODE" -eq 0 ] || fail "quit with exit code $EXIT_CODE"
}

# wait_file_size FILE BYTES [SECONDS]
wait_file_size() {
  local secs="${3:-10}"
  for _ in $(seq 1 $((secs * 10))); do
    [ -f "$1" ] && [ "$(stat -c %s "$1")" -eq "$2" ] && return 0
    sleep 0.1
  done
  fail "$1 is not $2 bytes long after ${secs}s"
}

# wait_other_window PID KNOWN_IDS [SECONDS]: waits for a visible window of
# the process other than those of KNOWN_IDS (one id, or several separated by
# blanks: all that were there before) (e.g. an untitled file dialog); prints
# it.
wait_other_window() {
  local pid="$1" known=" $2 " secs="${3:-10}" end id found
  end=$(($(tenths_now) + secs * 10))
  while :; do
    found=
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      case "$known" in *" $id "*) ;; *) found=$id ;; esac
    done
    [ -n "$found" ] && { echo "$found"; return 0; }
    [ "$(tenths_now)" -lt "$end" ] || break
    sleep 0.1
  done
  fail "no second window of process $pid within ${secs}s"
}

# bytes FILE OFFSET COUNT: the bytes as lower-case hex without blanks.
bytes() { od -An -v -tx1 -j "$2" -N "$3" "$1" | tr -d ' \n'; }
# make_library_file PATH SEED: a 4700-byte library file of 100 distinct
# programs (every data byte below 0x80).
make_library_file() {
  python3 - "$1" "$2" <<'PY'
import sys
path, seed = sys.argv[1], int(sys.argv[2])
out = bytearray()
for n in range(100):
    out += bytes([0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20, n])
    out += bytes(((seed * 31 + n * 7 + i * 13) % 0x80) for i in range(37))
    out += bytes([0xF7])
open(path, "wb").write(out)
PY
}

# pixels_of WINDOW_ID RRGGBB: how many pixels of the window have the colour.
pixels_of() {
  import -window "$1" png:- 2>/dev/null | convert - -format %c histogram:info:- 2>/dev/null |
    awk -v c="#$2" 'toupper($3) == toupper(c) { gsub(":", "", $1); n += $1 } END { print n + 0 }'
}

# wait_pixels WINDOW_ID RRGGBB AT_LEAST [SECONDS [WHAT]]: waits until the
# window shows at least that many pixels of the colour (repaints can lag on
# a loaded machine); fails otherwise, with WHAT if given.
wait_pixels() {
  local n
  for _ in $(seq 1 $(( ${4:-10} * 4 ))); do
    n=$(pixels_of "$1" "$2")
    [ "$n" -ge "$3" ] && return 0
    sleep 0.25
  done
  fail "${5:+$5: }only $n pixels of #$2 (wanted $3)"
}

# answer_box_id ID KEY: presses the key in that box until it has gone (a box
# that has just appeared on a slow machine may not take the first key yet).
answer_box_id() {
  local id="$1"
  [ -n "$id" ] || fail "no box to answer with $2"
  for _ in 1 2 3 4 5; do
    key_to "$id" "$2"
    id_gone_within "$id" 30 && return 0
  done
  fail "window $id did not take the key $2"
}

# type_into_dialog ID TEXT [SECONDS]: types the text into Wine's system
# file dialog's name box, which has the focus within the dialog from the
# start, once the dialog takes keys: its caret blinks (the dialog's
# picture comes back to one it showed before another; painting it up only
# adds). Wine keeps the X focus
# on the main window and hands the keys on itself, so the X focus tells
# nothing here.
type_into_dialog() {
  local secs="${3:-20}" end seen="" last="" now
  end=$(($(tenths_now) + secs * 10))
  while :; do
    now=$(import -window "$1" rgb:- 2>/dev/null | md5sum | cut -c1-32)
    [ "$now" != "$last" ] && case "$seen" in *" $now "*) break ;; esac
    seen="$seen $now " last=$now
    [ "$(tenths_now)" -lt "$end" ] || fail "the file dialog's caret did not blink within ${secs}s"
    sleep 0.1
  done
  xdotool type --delay 30 "$2"
}

# wait_system_dialog SECONDS: the system's file dialog under Wine has no
# title; it is the program's visible window of dialog size. Prints its id.
wait_system_dialog() {
  local id
  for _ in $(seq 1 $(($1 * 5))); do
    for id in $(xdotool search --onlyvisible --class "mendrelwin.exe" 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
      if [ "${WIDTH:-0}" -ge 400 ] && [ "${HEIGHT:-0}" -ge 300 ] && [ -z "$(xdotool getwindowname "$id" 2>/dev/null)" ]; then
        echo "$id"; return 0
      fi
    done
    sleep 0.2
  done
  fail "no file dialog within $1 s"
}
