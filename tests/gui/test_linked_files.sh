#!/usr/bin/env bash
# The real Windows-style program writes the files the system opens for the
# names it is given, through folder links and links that climb out of them
# with "..": the settings file (XDG_CONFIG_HOME a link, setting.ksqc a link
# out of it) is created at start-up and rewritten at quitting there, and Save
# over a library file reached the same way writes that file. The files that
# the names shortened as text would give, and everything else, stay as they
# were; the links stay links.
source "$(dirname "$0")/lib.sh"
WIN_PROGRAM="$1"

start_display
# cfg -> store/conf; cfg/KestrumQX/setting.ksqc -> ../../shared/setting.ksqc
# reaches store/shared/setting.ksqc, not the namesake shared/setting.ksqc.
mkdir -p "$T/store/conf/KestrumQX" "$T/store/shared" "$T/shared"
ln -s "$T/store/conf" "$T/cfg"
ln -s ../../shared/setting.ksqc "$T/store/conf/KestrumQX/setting.ksqc"
head -c 66 /dev/zero | tr '\0' '\042' >"$T/shared/setting.ksqc"
export XDG_CONFIG_HOME="$T/cfg"
SETTINGS="$T/store/shared/setting.ksqc"
# home/lib -> ../data/lib; home/lib/live.ksqx -> ../shared/live.ksqx reaches
# data/shared/live.ksqx, not the namesake home/shared/live.ksqx.
mkdir -p "$T/data/lib" "$T/data/shared" "$T/home/shared"
ln -s ../data/lib "$T/home/lib"
ln -s ../shared/live.ksqx "$T/data/lib/live.ksqx"
head -c 5000 /dev/zero | tr '\0' '\021' >"$T/data/shared/live.ksqx"
head -c 5000 /dev/zero | tr '\0' '\042' >"$T/home/shared/live.ksqx"
LIBRARY="$T/data/shared/live.ksqx"

# listing: every file, folder and link below the test's folders with its
# size and content, the two files the program should write left out.
listing() {
  (cd "$T" && find store shared data home cfg -printf '%p %y %l %s\n' | sort |
     grep -v -e "^${SETTINGS#$T/} " -e "^${LIBRARY#$T/} "
   cd "$T" && find store shared data home -type f ! -path "${SETTINGS#$T/}" ! -path "${LIBRARY#$T/}" -exec md5sum {} + | sort)
}
before=$(listing)
expect_only_targets_changed() {
  local now
  now=$(listing)
  [ "$now" = "$before" ] || fail "$1: other files changed:
$(diff <(echo "$before") <(echo "$now"))"
}

start_program "$WIN_PROGRAM"
main_pid=$PROGRAM_PID
pass_startup_boxes
win=$(wait_window "$APP_TITLE")
wait_file_size "$SETTINGS" 66
[ "$(bytes "$SETTINGS" 0 10)" = "4b5351430c066a024a08" ] || fail "the settings file made at start-up begins $(bytes "$SETTINGS" 0 10), not the defaults"
expect_only_targets_changed "start-up"

# Save, with the whole name typed into the framework's dialog: its file box
# moves the dialog to that folder and keeps the name, a further Return saves,
# and the dialog asks before replacing the file.
key_to "$win" ctrl+s
dialog=$(wait_other_window "$main_pid" "$win")
window_geometry "$dialog"
click_at $((WIN_X + WIN_W / 2)) $((WIN_Y + WIN_H - 62)) # the file name box
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "$T/home/lib/live.ksqx"
asked=
for _ in 1 2 3 4 5; do
  xdotool key Return
  for _ in $(seq 1 30); do
    [ "$(window_count "File already exists")" -gt 0 ] && { asked=1; break 2; }
    sleep 0.1
  done
done
[ -n "$asked" ] || fail "the dialog did not ask before replacing live.ksqx"
answer_box_id "$(wait_window "File already exists")" Return
wait_id_gone "$dialog"
wait_file_size "$LIBRARY" 4700
[ "$(bytes "$LIBRARY" 0 9)" = "f042300001104c2000" ] || fail "the saved file begins $(bytes "$LIBRARY" 0 9), not program 0's dump"
[ "$(window_count "File Save Error:")" -eq 0 ] || fail "Save reported an error"
expect_only_targets_changed "Save"

quit_with_control_q "$win" "$main_pid"
[ "$(stat -c %s "$SETTINGS")" -eq 66 ] && [ "$(bytes "$SETTINGS" 0 4)" = 4b535143 ] || fail "quitting left the settings file as $(bytes "$SETTINGS" 0 10)"
expect_only_targets_changed "quitting"
echo "linked files test passed"
