#!/usr/bin/env bash
# Starts Xvfb with openbox on a free display number and prints the display
# name; the caller stops both with: kill $(cat "$1/pids").
# Usage: virtual-display.sh STATE_DIR
set -euo pipefail
state="$1"
mkdir -p "$state"
for n in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
  xpid=$!
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  if ! kill -0 "$xpid" 2>/dev/null; then continue; fi
  DISPLAY=":$n" openbox >"$state/openbox.log" 2>&1 &
  opid=$!
  echo "$xpid $opid" >"$state/pids"
  sleep 0.5
  echo ":$n"
  exit 0
done
echo "no free display" >&2
exit 1
