#!/usr/bin/env bash
# Runs the tests whose outcome depends on file permissions (the list in
# tests/unprivileged-tests.txt) as an ordinary user: root passes every
# permission check. Under root they run as `nobody`, with a second group,
# over copies of both test binaries in a folder of nobody's own that nobody
# else can enter. Fails when any of them fails, is skipped or did not run.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
[ -x "$BUILD/tests/ksqx_tests_win" ] || bash scripts/build.sh >/dev/null

# For the summary only: the binary itself fails when a test of the list is
# not there, is skipped or did not run.
count=$(sed 's/#.*//' tests/unprivileged-tests.txt | grep -c '[A-Za-z]')

work=$(mktemp -d /tmp/ksqx-unprivileged.XXXXXX)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
# A second group ("users") besides nobody's own: the writers must keep a
# file's group when it is another of the user's groups.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --groups=users)
fi

# The sanitizers' options survive the clean environment.
keep_env=()
for v in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS; do
  if [ -n "${!v:-}" ]; then keep_env+=("$v=${!v}"); fi
done

status=0
for bin in ksqx_tests_win ksqx_tests_mac; do
  cp "$BUILD/tests/$bin" "$work/$bin"
  chmod 755 "$work/$bin"
done
cp tests/unprivileged-tests.txt "$work/"
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody:nogroup "$work"
  chmod 700 "$work"
fi
for bin in ksqx_tests_win ksqx_tests_mac; do
  log="$work/$bin.log"
  if ! (cd "$work" && timeout 300 ${as_user[@]+"${as_user[@]}"} env -i PATH=/usr/bin:/bin HOME="$work" \
          TMPDIR="$work" KSQX_TEST_TMP="$work/tmp" ${keep_env[@]+"${keep_env[@]}"} "./$bin" --ksqx_tests=unprivileged-tests.txt >"$log" 2>&1); then
    grep -v '^ALSA' "$log" | tail -n 60
    echo "FAILED: $bin as $(${as_user[@]+"${as_user[@]}"} id -un)"
    status=1
    continue
  fi
  echo "$bin: $count permission tests passed as $(${as_user[@]+"${as_user[@]}"} id -un)"
done
exit $status
