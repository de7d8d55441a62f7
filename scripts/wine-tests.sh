#!/usr/bin/env bash
# The Windows program for real: cross-builds MendrelWin.exe and the data-folder
# test program, then runs them under Wine (prefix kept in
# build-windows/wineprefix, never in the real home) on a virtual display.
# Ends with "wine: N passed, M failed"; exits non-zero on a failure.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$ROOT/build-windows
export WINEPREFIX=$OUT/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "wine: ok: $*"; }
failure() { failed=$((failed + 1)); echo "wine: FAIL: $*"; }
finish() { echo "wine: $passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit; }

if bash scripts/build-windows.sh >"$OUT.log" 2>&1; then
  pass "cross build of MendrelWin.exe"
else
  tail -n 40 "$OUT.log"; failure "cross build"; finish
fi
for f in MendrelWin.exe ksqx_wine_data_folder_test.exe; do
  [ -f "$OUT/$f" ] || { failure "no $f"; finish; }
done
# The program's sources as the Linux build of MendrelWin compiles them (the
# same definition, so a source left out here is a condition gone wrong).
program_sources() {
  grep -oE '(ksqx_win|MendrelWin)\.dir/[^ "]*\.cpp\.o(bj)?' "$1/compile_commands.json" | sed -E 's/\.o(bj)?$//' | sort -u
}
[ -f build/compile_commands.json ] || bash scripts/build.sh MendrelWin >/dev/null
if diff <(program_sources build) <(program_sources "$OUT") >"$OUT/sources.diff"; then
  pass "MendrelWin.exe compiles the $(program_sources "$OUT" | wc -l) program sources of the Linux build"
else
  sed 's/^/  /' "$OUT/sources.diff"; failure "MendrelWin.exe's sources differ from the Linux build's (< Linux, > Windows)"
fi
if x86_64-w64-mingw32-objdump -p "$OUT/MendrelWin.exe" | grep -qiE 'DLL Name: (libstdc|libgcc|libwinpthread|zlib|libpng|libjpeg)'; then
  failure "MendrelWin.exe needs a DLL that should be linked in"
else
  pass "MendrelWin.exe statically linked"
fi

mkdir -p "$WINEPREFIX"
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
out=$(cd "$OUT" && timeout 120 wine ksqx_wine_data_folder_test.exe 2>&1 | tr -d '\r')
echo "$out" | sed 's/^/wine: data folder: /'
line=$(echo "$out" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1)
if [ -n "$line" ]; then
  read -r p _ f _ <<<"$line"
  passed=$((passed + p)) failed=$((failed + f))
else
  failure "the data-folder test printed no result"
fi
wineserver -k >/dev/null 2>&1

session=$(KSQX_BUILD_DIR="$OUT" timeout 900 bash tests/wine/wine_session.sh "$OUT/MendrelWin.exe" "$WINEPREFIX" 2>&1)
rc=$?
echo "$session" | sed 's/^/wine: /'
passed=$((passed + $(echo "$session" | grep -c '^ok: ')))
[ $rc -eq 0 ] || failure "Wine session (exit $rc)"
finish
