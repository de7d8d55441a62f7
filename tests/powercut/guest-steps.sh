#!/bin/bash
# Inside the power-cut guest, before the reset: the unchanged program on a
# virtual display saves onto four file systems of their own (a journal
# commit on one never carries another's changes to the disk):
#   /ksqx-disks/lib-new  File > Save as a new library file, lib/new.ksqx
#   /ksqx-disks/lib-over File > Save over lib/bank.ksqx, after the dialog's question
#   /ksqx-disks/set-over the settings file rewritten at Quit (XDG_CONFIG_HOME there)
#   /ksqx-disks/set-new  the settings file made at the next start-up
# Each file is copied to OUT as the program left it (read back here, from
# the page cache) once its save is done, and the machine is reset right
# after the last one, with the program still running.
# Usage: guest-steps.sh OUT_DIR
OUT="$1"
# shellcheck source=/dev/null
source "$OUT/guest.env"
export KSQX_SOURCE_DIR="$SRC" KSQX_BUILD_DIR="$OUT"
# shellcheck source=../gui/lib.sh
source "$SRC/tests/gui/lib.sh"
step() { echo "[$(cut -d' ' -f1 /proc/uptime)] $*"; }
# The guest's software CPU is several times slower than the machine, more
# so beside a full load: the waits are long, and only a failure waits them
# out.

# save_as PATH: Control+S, the whole path typed into the framework's dialog
# (its name box moves the dialog to that folder and keeps the name, a further
# Return saves), and the dialog's question answered when the file exists.
# Returns once the dialog has gone. (One cheap look at a time: each X query
# takes a while on the guest's software CPU.)
save_as() {
  local dialog box next=0 end=$((SECONDS + 240))
  key_to "$win" ctrl+s
  dialog=$(wait_other_window "$main_pid" "$win" 60)
  window_geometry "$dialog"
  click_at $((WIN_X + WIN_W / 2)) $((WIN_Y + WIN_H - 62)) # the file name box
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 20 "$1"
  while [ "$SECONDS" -lt "$end" ]; do
    box=$(xdotool search --onlyvisible --name '^File already exists$' 2>/dev/null | tail -n 1 || true)
    if [ -n "$box" ]; then
      answer_box_id "$box" Return
      wait_id_gone "$dialog" 60
      return 0
    fi
    case "$(xwininfo -id "$dialog" 2>/dev/null)" in *IsViewable*) ;; *) return 0 ;; esac
    # Return again only when the last one has had its time.
    if [ "$SECONDS" -ge "$next" ]; then
      xdotool key Return
      next=$((SECONDS + 5))
    fi
    sleep 0.3
  done
  fail "the save dialog for $1 did not close"
}

# saved WHAT FILE SIZE OLD: waits until FILE holds SIZE bytes other than the
# copy OLD (none: any), with no error box; copies it to OUT/expected-WHAT.bin.
saved() {
  local end=$((SECONDS + 120))
  until [ -f "$2" ] && [ "$(stat -c %s "$2")" -eq "$3" ] && { [ -z "$4" ] || ! cmp -s "$2" "$4"; }; do
    [ "$(window_count "File Save Error:")" -eq 0 ] || fail "$1: the program reported a save error"
    [ "$SECONDS" -lt "$end" ] || fail "$1: $2 did not become the new $3 bytes"
    sleep 0.2
  done
  cp "$2" "$OUT/expected-$1.bin"
  step "$1: $2 written"
}

start_display
step "display $DISPLAY"
cp /ksqx-disks/lib-over/lib/bank.ksqx "$T/bank-before.ksqx"
cp /ksqx-disks/set-over/config/KestrumQX/setting.ksqc "$T/settings-before.ksqc"

# The first run: both library saves, then Quit.
export XDG_CONFIG_HOME=/ksqx-disks/set-over/config
start_program "$PROGRAM"
main_pid=$PROGRAM_PID
answer_version_box
win=$(wait_window "$APP_TITLE" 120)
answer_box "MIDI Connection Error:" Return
step "main window $win"
save_as /ksqx-disks/lib-new/lib/new.ksqx
saved lib-new /ksqx-disks/lib-new/lib/new.ksqx 4700 ""
save_as /ksqx-disks/lib-over/lib/bank.ksqx
saved lib-over /ksqx-disks/lib-over/lib/bank.ksqx 4700 "$T/bank-before.ksqx"
quit_with_control_q "$win" "$main_pid"
saved set-over /ksqx-disks/set-over/config/KestrumQX/setting.ksqc 66 "$T/settings-before.ksqc"

# The second run: its start-up makes the settings file; the reset comes
# while it runs.
export XDG_CONFIG_HOME=/ksqx-disks/set-new/config
start_program "$PROGRAM"
main_pid=$PROGRAM_PID
answer_version_box
saved set-new /ksqx-disks/set-new/config/KestrumQX/setting.ksqc 66 ""
# The power cut, now: no sync, no unmount, the program still running.
echo 0 >"$OUT/steps.rc"
step "all saved: reset"
echo b >/proc/sysrq-trigger
sleep 30
fail "the machine was not reset"
