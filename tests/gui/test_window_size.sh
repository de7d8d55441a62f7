#!/usr/bin/env bash
# The main window's size on both real programs under a virtual display
# (1280 x 1024, no panels, so the work area is the whole screen): the stored
# size plus the in-window menu bar (24 px on the Windows program, 1 px on the
# macOS one), cut to the work area, at least 320 x 344. The close button asks
# "Quit:" and OK ends the program with exit code 0, keeping the stored size
# when the window was not cut.
#
# The macOS program keeps its settings in /Users/<name>/Library/Application
# Support/KestrumQX, below a folder of the test's (start_mac_program).
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM=$(realpath "$1")
MAC_PROGRAM=$(realpath "${2:-}")
[ -x "$MAC_PROGRAM" ] || fail "no macOS program given"

start_display
work_area=$(xprop -root _NET_WORKAREA | sed -n 's/.*= *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\3x\4/p')
[ "$work_area" = 1280x1024 ] || fail "work area is '$work_area', not the whole 1280x1024 screen"

user=$(id -un)
WIN_SETTINGS="$T/config/KestrumQX/setting.ksqc"
MAC_SETTINGS="$T/Users/$user/Library/Application Support/KestrumQX/setting.ksqc"

# write_settings FILE W H: the default settings block with this window size.
write_settings() {
  mkdir -p "$(dirname "$1")"
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
block = bytearray(b"KSQC" + bytes([12, 6, 106, 2, 74, 8, 0, 0, 0, 0, 0, 0])
                  + bytes([1, 0, 1, 0, 1, 1, 1, 1, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1])
                  + bytes([30, 40, 69, 30, 75, 30, 129, 39, 39, 39, 39, 46, 39, 89, 28, 79, 33, 30, 60, 75, 28, 30,
                           60, 59, 28, 82]))
block[6:10] = bytes([w // 10, w % 10, h // 10, h % 10])
open(path, "wb").write(block)
PY
}
stored_size() { python3 -c 'import sys; b=open(sys.argv[1],"rb").read(); print("%dx%d" % (b[6]*10+b[7], b[8]*10+b[9]))' "$1"; }

# program stored-w stored-h -> window-w window-h
cases="
win 1062 748 1062 772
win 700 500 700 524
win 2559 2559 1280 1024
win 100 100 320 344
mac 1062 748 1062 749
mac 700 500 700 501
mac 2559 2559 1280 1024
mac 100 100 320 344
"
while read -r prog sw sh ww wh <&3; do
  [ -n "$prog" ] || continue
  if [ "$prog" = win ]; then
    settings="$WIN_SETTINGS"
    write_settings "$settings" "$sw" "$sh"
    start_program "$WIN_PROGRAM"
  else
    settings="$MAC_SETTINGS"
    write_settings "$settings" "$sw" "$sh"
    start_mac_program "$MAC_PROGRAM"
  fi
  main_pid=$PROGRAM_PID
  pass_startup_boxes
  win=$(wait_window "$APP_TITLE")
  window_geometry "$win"
  echo "$prog: stored ${sw}x${sh} -> window ${WIN_W}x${WIN_H}"
  [ "${WIN_W}x${WIN_H}" = "${ww}x${wh}" ] || fail "$prog: stored ${sw}x${sh} gave a ${WIN_W}x${WIN_H} window, not ${ww}x${wh}"
  if [ "$prog" = mac ] && [ "$sw" = 1062 ]; then
    import -window "$win" "$T/mac.png"
    mkdir -p "${KSQX_BUILD_DIR:-$T}/screenshots"
    cp "$T/mac.png" "${KSQX_BUILD_DIR:-$T}/screenshots/mac-main-window.png"
  fi

  # The close button asks first; Cancel keeps the program (it asks again at
  # the next close), OK ends it.
  answer_box_id "$(ask_quit "$win" close)" Escape
  quit_box=$(ask_quit "$win" close)
  kill -0 "$main_pid" 2>/dev/null || fail "$prog: Cancel ended the program"
  answer_box_id "$quit_box" Return
  wait_exit "$main_pid" 15
  [ "$EXIT_CODE" -eq 0 ] || fail "$prog: quit with exit code $EXIT_CODE"
  # A window that was not cut stores the size it was given.
  if [ "$sw" -le 1280 ] && [ "$sw" -ge 320 ]; then
    [ "$(stored_size "$settings")" = "${sw}x${sh}" ] || fail "$prog: stored ${sw}x${sh} came back as $(stored_size "$settings")"
  fi
done 3<<<"$cases"
echo "window size test passed"
