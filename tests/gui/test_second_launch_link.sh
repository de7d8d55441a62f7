#!/usr/bin/env bash
# Connections to the real program's second-launch link that send nothing
# never stall its window: Control+Q shows "Quit:" and a click opens the File
# menu within a second while they are open, and a second launch's file is
# opened all the same.
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM="$1"
LIB1=555555 MANY=50000

start_display
make_library_file "$T/bank.ksqx" 1
start_program "$WIN_PROGRAM"
main_pid=$PROGRAM_PID
pass_startup_boxes
win=$(wait_window "$APP_TITLE")
SOCKET="$XDG_RUNTIME_DIR/KestrumQX-$(id -u).sock"
[ -S "$SOCKET" ] || fail "no link at $SOCKET"

# hold_silent N: keeps N connections to the link open that send nothing; one
# the program ends is opened again at once. Prints "open" once all are.
hold_silent() {
  python3 - "$SOCKET" "$1" <<'PY' &
import select, socket, sys, time
path, n = sys.argv[1], int(sys.argv[2])
conns, told = [], False
while True:
    while len(conns) < n:
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            s.setblocking(False)
            s.connect(path)
            conns.append(s)
        except (BlockingIOError, ConnectionRefusedError):
            s.close()  # the link's queue is full for a moment
            time.sleep(0.02)
    if not told:
        print("open", flush=True)
        told = True
    ended, _, _ = select.select(conns, [], [], 0.05)
    for s in ended:
        s.close()
        conns.remove(s)
PY
  SILENT_PID=$!
  PROGRAM_PIDS+=("$SILENT_PID")
}

now_ms() { date +%s%3N; }

# within_ms MS COMMAND...: true when the command holds within MS ms.
within_ms() {
  local ms="$1" end
  shift
  end=$(($(now_ms) + ms))
  while [ "$(now_ms)" -le "$end" ]; do
    "$@" && [ "$(now_ms)" -le "$end" ] && return 0
    sleep 0.02
  done
  return 1
}
quit_box_shown() { [ "$(window_count "Quit:")" -ge 1 ]; }
more_windows_than() { [ "$(xdotool search --onlyvisible --name '' 2>/dev/null | wc -l)" -gt "$1" ]; }

# Three silent connections: Control+Q asks at once, again and again while
# they stay open (each one the program drops is opened again; the tries are
# spread over more than the second after which it drops them).
hold_silent 3 >"$T/silent3.log"
within_ms 10000 grep -q open "$T/silent3.log" || fail "the silent connections could not be made"
xdotool windowactivate --sync "$win" 2>/dev/null || true
for i in 1 2 3; do
  sleep 0.3
  start=$(now_ms)
  xdotool key --clearmodifiers ctrl+q
  within_ms 1000 quit_box_shown || fail "\"Quit:\" not shown within 1 s of Control+Q (try $i), with 3 silent connections open"
  echo "ok: \"Quit:\" after $(($(now_ms) - start)) ms"
  answer_box "Quit:" Escape
  kill -0 "$main_pid" || fail "Cancel ended the program"
done
kill "$SILENT_PID"

# Ten of them: a click on the File menu opens it at once.
hold_silent 10 >"$T/silent10.log"
within_ms 10000 grep -q open "$T/silent10.log" || fail "the silent connections could not be made"
window_geometry "$win"
for i in 1 2 3; do
  sleep 0.3
  xdotool mousemove --sync $((WIN_X + 200)) $((WIN_Y + 200))
  xdotool mousemove --sync $((WIN_X + 25)) $((WIN_Y + 24 + 12))
  before=$(xdotool search --onlyvisible --name '' 2>/dev/null | wc -l)
  start=$(now_ms)
  xdotool click 1
  within_ms 1000 more_windows_than "$before" || fail "the File menu did not open within 1 s of the click (try $i), with 10 silent connections open"
  echo "ok: File menu after $(($(now_ms) - start)) ms"
  xdotool key Escape
  within_ms 5000 bash -c "[ \$(xdotool search --onlyvisible --name '' 2>/dev/null | wc -l) -le $before ]" || fail "the File menu stayed open"
done

# A second launch while they are still open: its file is opened.
start_program "$WIN_PROGRAM" "$T/bank.ksqx"
wait_exit "$PROGRAM_PID" 10
[ "$EXIT_CODE" -eq 0 ] || fail "second launch exited with $EXIT_CODE"
wait_pixels "$win" $LIB1 $MANY 10
kill "$SILENT_PID"

quit_with_control_q "$win" "$main_pid"
echo "second-launch link test passed"
