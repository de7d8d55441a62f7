#!/usr/bin/env bash
# Builds the GoogleTest suites of both programs with the address and
# undefined-behaviour sanitizers (clang, in build-asan/) and runs them. Any
# report ends its binary with a failing exit code, so it fails the run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ROOT}/build-asan"

# Same compiler, flags and base folder as the fuzz build: ccache serves the
# sanitized framework objects to both.
export CCACHE_BASEDIR="${ROOT}" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=time_macros
CC=clang CXX=clang++ cmake -S "${ROOT}" -B "${BUILD}" -G Ninja -DKSQX_SANITIZE=ON -DKSQX_BENCH=OFF >/dev/null
ninja -C "${BUILD}" ksqx_tests_win ksqx_tests_mac

export ASAN_OPTIONS="halt_on_error=1 abort_on_error=0 exitcode=67 detect_leaks=1 strict_string_checks=1 detect_stack_use_after_return=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1 exitcode=68 ${UBSAN_OPTIONS:-}"
export KSQX_TEST_TMP="${BUILD}/tests/tmp"
# The same split as ctest's, from the same lists: the permission tests run as
# an ordinary user (scripts/unprivileged-tests.sh), the panel text tests and
# the panel fades (on a display of their own) each in a process of their own.
T="${ROOT}/tests"
status=0
for t in ksqx_tests_win ksqx_tests_mac; do
  for stage in "--ksqx_except=${T}/unprivileged-tests.txt,${T}/look-tests.txt,${T}/fade-tests.txt" \
      "--ksqx_tests=${T}/look-tests.txt" "--ksqx_tests=${T}/fade-tests.txt"; do
    "${BUILD}/tests/${t}" --gtest_brief=1 "${stage}" "$@" ||
      { echo "FAILED under ASan/UBSan: ${t} ${stage}"; status=1; }
  done
done
bash "${ROOT}/scripts/unprivileged-tests.sh" "${BUILD}" || { echo "FAILED under ASan/UBSan: permission tests"; status=1; }
exit $status
