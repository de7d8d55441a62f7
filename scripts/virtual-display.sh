# Starts Xvfb with openbox. Sourced, not run: both become children of the
# calling shell and receive SIGTERM when it ends, however it ends.
#   source scripts/virtual-display.sh
#   start_virtual_display STATE_DIR   # exports DISPLAY; STATE_DIR/pids
#   stop_virtual_display STATE_DIR    # ends both and waits until they have

# start_virtual_display STATE_DIR: returns once the window manager has set
# the work area (it manages the screen from then on), or fails after a
# minute. The display is the first free one from :90 on, away from the low
# numbers that programs without DISPLAY fall back on; the X server's own lock
# decides which is free, and Xvfb tells through -displayfd when it is ready.
# It keeps its state when its last client goes (a reset then would refuse
# the window manager's connection while the work area is being looked for).
start_virtual_display() {
  local state="$1" xpid opid n ready
  mkdir -p "$state"
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    : >"$state/display"
    setpriv --pdeathsig TERM Xvfb ":$n" -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp \
      3>"$state/display" >"$state/xvfb.log" 2>&1 9>&- &
    xpid=$!
    echo "$xpid" >"$state/pids"
    ready=
    for _ in $(seq 1 600); do
      grep -qx "$n" "$state/display" && { ready=1; break; }
      kill -0 "$xpid" 2>/dev/null || break
      sleep 0.1
    done
    [ -n "$ready" ] && break
    # Taken meanwhile by another server, or Xvfb could not start there.
    stop_processes "$xpid"
  done
  if [ -z "$ready" ]; then
    echo "Xvfb did not come up:" >&2; cat "$state/xvfb.log" >&2
    return 1
  fi
  DISPLAY=":$n" setpriv --pdeathsig TERM openbox >"$state/openbox.log" 2>&1 9>&- &
  opid=$!
  echo "$xpid $opid" >"$state/pids"
  for _ in $(seq 1 600); do
    if DISPLAY=":$n" xprop -root _NET_WORKAREA 2>/dev/null | grep -q '= *[0-9]*, *[0-9]*, *[0-9]*, *[0-9]*'; then
      export DISPLAY=":$n"
      return 0
    fi
    kill -0 "$opid" 2>/dev/null || break
    sleep 0.1
  done
  echo "openbox did not set the work area on :$n:" >&2; cat "$state/openbox.log" >&2
  return 1
}

# stop_virtual_display STATE_DIR
stop_virtual_display() {
  [ -f "$1/pids" ] || return 0
  # shellcheck disable=SC2046
  stop_processes $(cat "$1/pids")
}

# stop_processes PID...: SIGTERM, then SIGKILL for any still running after
# 5 s; returns once none of them runs.
stop_processes() {
  local p alive
  for p in "$@"; do kill "$p" 2>/dev/null || true; done
  for _ in $(seq 1 50); do
    alive=
    for p in "$@"; do process_runs "$p" && alive=1; done
    [ -z "$alive" ] && break
    sleep 0.1
  done
  for p in "$@"; do
    process_runs "$p" && kill -KILL "$p" 2>/dev/null
    wait "$p" 2>/dev/null || true
  done
  return 0
}

# process_runs PID: the process exists and has not ended (a zombie has).
process_runs() {
  local s
  s=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [ -n "$s" ] && [ "${s:0:1}" != Z ]
}
