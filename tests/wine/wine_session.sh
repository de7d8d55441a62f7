#!/usr/bin/env bash
# The cross-built Windows program under Wine on a virtual display, driven by
# keys like the Linux program: start-up boxes, main window, the settings file
# in Wine's application-data folder, repainting, a library file named on the
# command line, Save through the native dialog (a new file, over an existing
# one, and over one another program holds), and Quit with its rewrite of the
# settings file. Prints "ok: ..." for each check that holds.
# Usage: wine_session.sh MendrelWin.exe WINEPREFIX
source "$(dirname "$0")/../gui/lib.sh"
EXE="$1"
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's server for this prefix goes too; then lib.sh's cleanup, which reads
# the exit status.
wine_cleanup() {
  local rc=$?
  set +e
  wineserver -k >/dev/null 2>&1
  (exit $rc)
  cleanup
}
trap wine_cleanup EXIT
trap 'exit 143' TERM INT
ok() { echo "ok: $*"; }
# chord_to WINDOW_ID KEY: Control+KEY, once the window has the focus, with
# the Control key held a moment around the key: Wine reads the modifier from
# its own key state, which a quick chord outruns (the holds shape the chord;
# whoever needs its effect waits for it).
chord_to() {
  timeout 5 xdotool windowactivate --sync "$1" 2>/dev/null || true
  wait_until 20 "window $1 did not get the focus for Control+$2" has_focus "$1"
  xdotool keydown Control_L; sleep 0.3; xdotool key "$2"; sleep 0.3; xdotool keyup Control_L
}

start_display
# lib.sh points HOME into the test's folder; Wine takes the user's folders from
# its prefix, so the settings are looked for there.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || fail "the Wine prefix could not be made"
fi
SETTINGS_DIR=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Roaming' | head -n 1)
[ -n "$SETTINGS_DIR" ] || fail "no application-data folder in the prefix"
rm -rf "$SETTINGS_DIR/KestrumQX"

make_library_file "$T/lib.ksqx" 1
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

start_program wine "$EXE" "$(winpath "$T/lib.ksqx")"
main_pid=$PROGRAM_PID
# Wine's first start in a prefix takes a while.
id=$(wait_window "$APP_TITLE" 90)
key_to "$id" Return
wait_id_gone "$id"
ok "version box answered"
win=$(wait_window "$APP_TITLE" 20)
ok "main window"
answer_box "MIDI Connection Error:" Return
ok "connection error box answered"

settings="$SETTINGS_DIR/KestrumQX/setting.ksqc"
[ -f "$settings" ] || fail "no settings file in $SETTINGS_DIR/KestrumQX"
[ "$(stat -c %s "$settings")" -eq 66 ] || fail "settings file of $(stat -c %s "$settings") bytes"
[ "$(head -c 4 "$settings")" = "KSQC" ] || fail "settings file does not start with KSQC"
ok "settings file in Wine's application-data folder"

# Paging down to the file's rows repaints the window by itself (no expose).
# The library file's rows (their own shade) are what Page Down brings into
# view; at start-up the view shows the user area's rows.
wait_pixels "$win" 303030 50001 20 "no user rows painted at start-up"
import -window "$win" "$T/before.png"
key_to "$win" Next Next Next
wait_pixels "$win" 555555 50001 20 "no rows of the library file after Page Down (the window did not repaint by itself?)"
import -window "$win" "$T/after.png"
shots="${KSQX_BUILD_DIR:-$T}/screenshots"
mkdir -p "$shots" && cp "$T/after.png" "$shots/wine-library-rows.png" 2>/dev/null || true
diff_pixels=$(compare -metric AE "$T/before.png" "$T/after.png" null: 2>&1 || true)
[ "${diff_pixels%% *}" -gt 10000 ] 2>/dev/null || fail "the window did not repaint after Page Down ($diff_pixels pixels changed)"
ok "window repaints by itself"
ok "library file from the command line opened"

# Save through the native dialog: a typed path and Return.
saved="$T/saved.ksqx"
chord_to "$win" s
dlg=$(wait_system_dialog 30)
type_into_dialog "$dlg" "$(winpath "$saved")"
xdotool key Return
wait_id_gone "$dlg" 15
wait_file_size "$saved" 4700 10
ok "Save wrote 4700 bytes"

# only_file_in FOLDER NAME: the folder holds that one file (a temporary left
# beside it would show, hidden or not).
only_file_in() { [ "$(ls -A "$1")" = "$2" ]; }
# wait_question [SECONDS]: the dialog's own question box (untitled, smaller
# than the dialog). Prints its id.
wait_question() {
  local i
  for _ in $(seq 1 $((${1:-20} * 5))); do
    for i in $(xdotool search --onlyvisible --class "mendrelwin.exe" 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$i" 2>/dev/null)"
      if [ "${WIDTH:-0}" -ge 150 ] && [ "${WIDTH:-0}" -lt 400 ] && [ "${HEIGHT:-0}" -ge 60 ] && [ "${HEIGHT:-0}" -lt 300 ] &&
        [ -z "$(xdotool getwindowname "$i" 2>/dev/null)" ]; then
        echo "$i"; return 0
      fi
    done
    sleep 0.2
  done
  fail "no question from the file dialog within ${1:-20}s"
}
# save_over PATH: Save through the native dialog onto an existing file, its
# question answered with Yes (the default button).
save_over() {
  chord_to "$win" s
  dlg=$(wait_system_dialog 30)
  type_into_dialog "$dlg" "$(winpath "$1")"
  xdotool key Return
  key_to "$(wait_question 20)" Return
  wait_id_gone "$dlg" 15
}

# Save over an existing library file: it then holds exactly what the first
# Save wrote, and nothing is left beside it.
mkdir -p "$T/over"
head -c 5000 /dev/zero | tr '\0' '\021' >"$T/over/bank.ksqx"
save_over "$T/over/bank.ksqx"
wait_until_quietly 10 cmp -s "$saved" "$T/over/bank.ksqx" || fail "Save over a library file left $(stat -c %s "$T/over/bank.ksqx") other bytes"
only_file_in "$T/over" bank.ksqx || fail "Save over a library file left beside it: $(ls -A "$T/over")"
[ "$(window_count "File Save Error:")" -eq 0 ] || fail "Save over a library file reported an error"
ok "Save over an existing library file: exactly the new 4700 bytes, nothing beside it"

# The same while another program holds the file (reading allowed, renaming
# not): the replacement fails, "File Save Error:" says so, and the old file
# is there in full with nothing beside it.
head -c 5000 /dev/zero | tr '\0' '\022' >"$T/over/held.ksqx"
cp "$T/over/held.ksqx" "$T/held-before"
x86_64-w64-mingw32-gcc -municode -O2 -o "$T/hold_file.exe" "$SRC/tests/wine/hold_file.c" || fail "the file holder did not build"
(exec wine "$T/hold_file.exe" "$(winpath "$T/over/held.ksqx")" >"$T/hold.out" 2>&1 9>&-) &
hold_pid=$!
PROGRAM_PIDS+=("$hold_pid")
wait_until 60 "the holder did not take the file" grep -qs held "$T/hold.out"
save_over "$T/over/held.ksqx"
answer_box "File Save Error:" Return
kill "$hold_pid" 2>/dev/null; wait "$hold_pid" 2>/dev/null || true
cmp -s "$T/held-before" "$T/over/held.ksqx" || fail "a failed Save changed the file it could not replace"
[ "$(ls -A "$T/over" | sort | tr '\n' ' ')" = "bank.ksqx held.ksqx " ] || fail "a failed Save left beside the file: $(ls -A "$T/over")"
ok "Save over a file another program holds: the error box, the old file in full, nothing beside it"

# --- Single instance (self-contained): a second launch started in another
# folder, naming its library file relatively, hands that folder over: the
# running program adds that file's 100 rows once (rows 200 to 299, the second
# library file's shade, which Page Down brings into view; paging down past
# them shows no rows of a third file's shade) and never opens the file of that
# name in its own working folder (a decoy of the wrong size, which would raise
# "File Open Error : ").
mkdir -p "$T/elsewhere"
cp "$T/lib.ksqx" "$T/elsewhere/bank.ksqx"
# The running program's working folder: where it started, or where the Save
# dialog left it.
for d in "$T/work" "$T" "$T/over"; do head -c 4699 "$T/lib.ksqx" >"$d/bank.ksqx"; done
(cd "$T/elsewhere" && exec wine "$EXE" bank.ksqx >"$T/prog-relative.log" 2>&1 9>&-) &
relative_pid=$!
PROGRAM_PIDS+=("$relative_pid")
wait_exit "$relative_pid" 60
[ "$EXIT_CODE" -eq 0 ] || fail "the second launch ended with exit code $EXIT_CODE"
# shows_rows WINDOW_ID RRGGBB: a screenful of rows of that shade in view.
shows_rows() { [ "$(pixels_of "$1" "$2")" -ge 50000 ]; }
few_rows() {
  local n
  n=$(pixels_of "$1" "$2")
  [ "$n" -lt 5000 ] || { echo "$n pixels of #$2" >&2; return 1; }
}
no_open_error() { [ "$(window_count "File Open Error : ")" -eq 0 ]; }
# The rows come when the hand-over has been handled; Page Down until then.
for _ in $(seq 1 30); do
  no_open_error || fail "the second launch's name was taken in the running program's folder"
  key_to "$win" Next
  wait_until_quietly 1 shows_rows "$win" 696969 && break
done
shows_rows "$win" 696969 || fail "no rows of the second launch's file ($(pixels_of "$win" 696969) pixels of #696969)"
# A second, wrong, opening of the same launch would come soon after.
holds_for 2 "the second launch's name was taken in the running program's folder" no_open_error
key_to "$win" Next Next Next Next
# The Page Downs are handled once a Quit box asked for after them shows (keys
# are handled in order); Escape cancels it. A second adding of the file
# would show in the third file's shade.
chord_to "$win" q
answer_box "Quit:" Escape
holds_for 2 "the second launch's file was added more than once (rows of a third file's shade)" few_rows "$win" 808080
ok "a second launch from another folder hands its relatively named file over once"

# A second launch with an absolute name ends at once with exit code 0; the
# running program opens that file's 100 rows (rows 300 to 399, the shade of
# every file after the second; its first row comes into view at the bottom,
# so Page Down brings the rest) and keeps its one main window.
cp "$T/lib.ksqx" "$T/second.ksqx"
start_program wine "$EXE" "$(winpath "$T/second.ksqx")"
second_pid=$PROGRAM_PID
wait_exit "$second_pid" 60
[ "$EXIT_CODE" -eq 0 ] || fail "the second launch ended with exit code $EXIT_CODE"
for _ in $(seq 1 30); do
  key_to "$win" Next
  wait_until_quietly 1 shows_rows "$win" 808080 && break
done
shows_rows "$win" 808080 || fail "no rows of the second launch's file ($(pixels_of "$win" 808080) pixels of #808080)"
[ "$(window_count "$APP_TITLE")" -eq 1 ] || fail "the second launch left $(window_count "$APP_TITLE") main windows"
ok "a second launch hands its library file to the running program and ends with exit code 0"
# --- end of single instance

# The settings file is rewritten at Quit: a block of another magic put there
# meanwhile is replaced by the program's own, and nothing is left beside it.
printf 'XXXX' >"$T/foreign.ksqc"
tail -c 62 "$settings" >>"$T/foreign.ksqc"
cp "$T/foreign.ksqc" "$settings"
chord_to "$win" q
answer_box "Quit:" Return
wait_exit "$main_pid" 30
[ "$EXIT_CODE" -eq 0 ] || fail "quit with exit code $EXIT_CODE"
ok "Quit ends the program with exit code 0"
[ "$(stat -c %s "$settings")" -eq 66 ] && [ "$(head -c 4 "$settings")" = "KSQC" ] ||
  fail "Quit left the settings file as $(head -c 10 "$settings" | od -An -tx1)"
only_file_in "$SETTINGS_DIR/KestrumQX" setting.ksqc || fail "Quit left beside the settings file: $(ls -A "$SETTINGS_DIR/KestrumQX")"
ok "Quit rewrites the settings file: 66 bytes of the program's block, nothing beside it"

# --- A tab on the Windows command line separates arguments as a blank does.
# cmd hands its line on as typed, so the program's process line is its path,
# a tab and the library file's path; the file's rows must show.
tab_line="$(winpath "$EXE")"$'\t'"$(winpath "$T/lib.ksqx")"
start_program wine cmd /c "$tab_line"
id=$(wait_window "$APP_TITLE" 60)
key_to "$id" Return
wait_id_gone "$id"
tab_win=$(wait_window "$APP_TITLE" 20)
answer_box "MIDI Connection Error:" Return
wait_pixels "$tab_win" 303030 50001 20 "no user rows painted at the start after a tab"
key_to "$tab_win" Next Next Next
wait_pixels "$tab_win" 555555 50001 20 "a library file after a tab on the command line was not opened"
import -window "$tab_win" "$T/tab.png"
cp "$T/tab.png" "$shots/wine-tab-command-line.png" 2>/dev/null || true
ok "library file after a tab on the command line opened"
chord_to "$tab_win" q
answer_box "Quit:" Return
wait_id_gone "$tab_win" 30
