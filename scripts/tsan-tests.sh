#!/usr/bin/env bash
# Runs the device link's tests under the thread sanitizer: the handler runs on
# the emulated unit's thread beside the message thread, so this is where a
# data race between them would show (start-up's opening of the ports under a
# flood, and MIDI Setup's OK during a transfer included), and so do the
# Windows program's WinMM input and its stand-in driver, with their notify,
# receive and header threads. Any report fails the run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ROOT}/build-tsan"

export CCACHE_BASEDIR="${CCACHE_BASEDIR:-/work}" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=time_macros

cmake -S "${ROOT}" -B "${BUILD}" -G Ninja -DKSQX_TSAN=ON -DKSQX_BENCH=OFF >/dev/null
ninja -C "${BUILD}" ksqx_tests_win

# halt_on_error: the first report ends the run with exitcode, so nothing is
# missed in a passing gtest summary.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
# The tests are those of tests/tsan-tests.txt: a test named there that did not
# run fails the stage.
"${BUILD}/tests/ksqx_tests_win" --ksqx_tests="${ROOT}/tests/tsan-tests.txt" --gtest_brief=1 "$@"
