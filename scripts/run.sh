#!/usr/bin/env bash
# Sets up, builds and starts the program (the Windows-style program, whose
# in-window menu bar and Control shortcuts suit a Linux desktop). Without a
# display it starts one of its own (Xvfb with openbox) and keeps it while the
# program runs. Arguments are passed to the program (e.g. a .ksqx file).
set -euo pipefail
# Files named relative to where the command was given stay found after the cd.
args=()
for a in "$@"; do
  if [ -e "$a" ]; then args+=("$(realpath "$a")"); else args+=("$a"); fi
done
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh MendrelWin
if [ -z "${DISPLAY:-}" ]; then
  state=$(mktemp -d)
  source scripts/virtual-display.sh
  trap 'stop_virtual_display "$state"; rm -rf "$state"' EXIT
  start_virtual_display "$state"
  echo "No display: the program runs on the virtual display $DISPLAY"
fi
./build/MendrelWin "${args[@]}"
