#!/usr/bin/env bash
# One program per user, on both real programs: user A (the user running the
# tests, root in CI) and user B (nobody), each with a home, runtime and
# settings folder of its own, on one machine with one shared /var/tmp. What
# another user runs, and the lock files other users left or hold there, never
# stop B's launch, and two launches of B never both run: a second one hands
# its file to B's own running program and ends.
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM="$1" MAC_PROGRAM="$2"
[ "$(id -u)" -eq 0 ] || fail "run as root: the test starts the programs as a second user"

B_USER=nobody B_GROUP=nogroup THIRD_USER=daemon
LIB1=555555 MANY=50000 FEW=20000

# The lock file that the framework keeps for the whole machine (the programs
# do not use it on Linux); what was there before the test is put back.
LOCK_DIR=/var/tmp
[ -d "$LOCK_DIR" ] || LOCK_DIR=/tmp
LOCK="$LOCK_DIR/juceAppLock_$APP_TITLE"
[ -e "$LOCK" ] && cp -a "$LOCK" "$T/saved-lock"
instance_cleanup() {
  local rc=$?
  set +e
  for p in "${PROGRAM_PIDS[@]:-}"; do [ -n "$p" ] && kill "$p" 2>/dev/null; done
  rm -f "$LOCK"
  [ -e "$T/saved-lock" ] && cp -a "$T/saved-lock" "$LOCK"
  (exit $rc)
  cleanup
}
trap instance_cleanup EXIT

start_display
# B's own folders; B must be able to pass through the test's folder to them.
chmod 711 "$T"
B="$T/b"
mkdir -p "$B/home" "$B/run" "$B/config" "$B/files"
chmod 700 "$B/run"
make_library_file "$B/files/b.ksqx" 1
make_library_file "$T/a.ksqx" 1
chown -R "$B_USER:$B_GROUP" "$B"
AS_B=(setpriv --reuid="$B_USER" --regid="$B_GROUP" --clear-groups
      env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$B/home" XDG_RUNTIME_DIR="$B/run" XDG_CONFIG_HOME="$B/config")

# window_of PID NAME [SECONDS]: waits for a visible window of the process
# with exactly this name; prints its id. Fails when the process ends first.
window_of() {
  local pid="$1" name="$2" secs="${3:-20}" id
  for _ in $(seq 1 $((secs * 10))); do
    id=$(xdotool search --all --onlyvisible --pid "$pid" --name "^${name}\$" 2>/dev/null | tail -n 1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    kill -0 "$pid" 2>/dev/null || fail "process $pid ended without a window '$name'"
    sleep 0.1
  done
  fail "no window '$name' of process $pid within ${secs}s"
}

# main_windows PIDS...: how many main windows (and version boxes, which have
# the same name) these processes show.
main_windows() {
  local n=0 p
  for p in "$@"; do
    n=$((n + $(xdotool search --all --onlyvisible --pid "$p" --name "^${APP_TITLE}\$" 2>/dev/null | wc -l)))
  done
  echo "$n"
}

# start_up PID WHO: answers the program's start-up boxes; sets MAIN to its
# main window.
start_up() {
  local id
  if ! id=$(window_of "$1" "$APP_TITLE" 30); then
    kill -0 "$1" 2>/dev/null || { wait_exit "$1" 1; fail "$2's launch ended with exit code $EXIT_CODE and no window"; }
    fail "$2's launch showed no window within 30 s"
  fi
  answer_box_id "$id" Return
  MAIN=$(window_of "$1" "$APP_TITLE")
  id=$(window_of "$1" "MIDI Connection Error:")
  answer_box_id "$id" Return
}

# quit_program PID WINDOW: the close button, then OK to "Quit:".
quit_program() {
  answer_box_id "$(ask_quit "$2" close)" Return
  wait_exit "$1" 15
  [ "$EXIT_CODE" -eq 0 ] || fail "quit with exit code $EXIT_CODE"
}

# hands_over WINDOW COLOUR START-COMMAND...: the launch ends at once with exit
# code 0 and its file's rows show in that window.
hands_over() {
  local win="$1" colour="$2"
  shift 2
  start_program "$@"
  wait_exit "$PROGRAM_PID" 10
  [ "$EXIT_CODE" -eq 0 ] || fail "the second launch exited with $EXIT_CODE"
  wait_pixels "$win" "$colour" $MANY
}

for PROGRAM in "$WIN_PROGRAM" "$MAC_PROGRAM"; do
  echo "--- $(basename "$PROGRAM")"
  rm -f "$LOCK"

  # B runs; A's launch starts A's own program beside it.
  start_program "${AS_B[@]}" "$PROGRAM"
  b_pid=$PROGRAM_PID
  start_up "$b_pid" B
  b_win=$MAIN
  start_program "$PROGRAM"
  a_pid=$PROGRAM_PID
  start_up "$a_pid" A
  a_win=$MAIN
  # Each user's second launch reaches that user's own program only.
  hands_over "$b_win" $LIB1 "${AS_B[@]}" "$PROGRAM" "$B/files/b.ksqx"
  [ "$(pixels_of "$a_win" $LIB1)" -lt $FEW ] || fail "B's file opened in A's program"
  hands_over "$a_win" $LIB1 "$PROGRAM" "$T/a.ksqx"
  [ "$(main_windows "$a_pid" "$b_pid")" -eq 2 ] || fail "not one main window for each user"
  quit_program "$b_pid" "$b_win"
  quit_program "$a_pid" "$a_win"
  echo "ok: beside the other user's program"

  # A's lock file left behind: of B's launches at the same moment exactly one
  # runs; the others end at once.
  [ -e "$LOCK" ] || { touch "$LOCK"; chmod 644 "$LOCK"; }
  launches=()
  for _ in 1 2 3 4; do
    start_program "${AS_B[@]}" "$PROGRAM"
    launches+=("$PROGRAM_PID")
  done
  running=()
  for _ in $(seq 1 150); do
    running=()
    for p in "${launches[@]}"; do kill -0 "$p" 2>/dev/null && running+=("$p"); done
    [ "${#running[@]}" -le 1 ] && break
    sleep 0.1
  done
  [ "${#running[@]}" -eq 1 ] || fail "${#running[@]} of B's 4 launches at once still run after 15 s"
  for p in "${launches[@]}"; do
    [ "$p" = "${running[0]}" ] && continue
    wait_exit "$p" 1
    [ "$EXIT_CODE" -eq 0 ] || fail "a launch that did not run exited with $EXIT_CODE"
  done
  b_pid=${running[0]}
  start_up "$b_pid" B
  b_win=$MAIN
  one_main_window() { [ "$(main_windows "${launches[@]}")" -eq 1 ]; }
  holds_for 1 "more than one main window of B" one_main_window
  hands_over "$b_win" $LIB1 "${AS_B[@]}" "$PROGRAM" "$B/files/b.ksqx"

  # B's program crashes, leaving its socket and lock file: B's next launch
  # runs.
  kill -KILL "$b_pid"
  wait_exit "$b_pid" 10 2>/dev/null
  [ -S "$B/run/KestrumQX-$(id -u "$B_USER").sock" ] || fail "the crash left no socket behind"
  start_program "${AS_B[@]}" "$PROGRAM"
  b_pid=$PROGRAM_PID
  start_up "$b_pid" B
  quit_program "$b_pid" "$MAIN"
  echo "ok: A's lock file left behind, launches at once, a crash"

  # A third user made the lock file world-writable and holds a lock on it:
  # A's and B's launches run all the same.
  rm -f "$LOCK"
  start_program setpriv --reuid="$THIRD_USER" --regid="$THIRD_USER" --clear-groups env -i PATH=/usr/bin:/bin python3 -c '
import fcntl, os, sys, time
fd = os.open(sys.argv[1], os.O_RDWR | os.O_CREAT, 0o666)
os.fchmod(fd, 0o666)
fcntl.lockf(fd, fcntl.LOCK_EX)
print("held", flush=True)
time.sleep(600)' "$LOCK"
  holder=$PROGRAM_PID
  for _ in $(seq 1 100); do grep -qs held "$T/prog$((${#PROGRAM_PIDS[@]} - 1)).log" && break; sleep 0.1; done
  grep -qs held "$T/prog$((${#PROGRAM_PIDS[@]} - 1)).log" || fail "the third user holds no lock"
  start_program "$PROGRAM"
  a_pid=$PROGRAM_PID
  start_up "$a_pid" A
  a_win=$MAIN
  start_program "${AS_B[@]}" "$PROGRAM"
  b_pid=$PROGRAM_PID
  start_up "$b_pid" B
  b_win=$MAIN
  hands_over "$b_win" $LIB1 "${AS_B[@]}" "$PROGRAM" "$B/files/b.ksqx"
  quit_program "$b_pid" "$b_win"
  quit_program "$a_pid" "$a_win"
  kill "$holder"
  wait "$holder" 2>/dev/null || true
  echo "ok: a lock file held by a third user"
done
echo "instance per user test passed"
