#!/usr/bin/env bash
# Short, bounded fuzz runs (libFuzzer with clang, under the address and
# undefined-behaviour sanitizers) of the program's untrusted inputs: the
# library file reader, the settings file reader and the MIDI input handler.
# Each starts from its seed inputs in tests/fuzz/corpus and runs for the
# given number of seconds (default 60); a crash, a sanitizer report or a
# broken assertion in a target fails the run. Run longer by hand with:
# scripts/fuzz-tests.sh SECONDS [target...]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ROOT}/build-fuzz"
SECONDS_TO_RUN="${1:-60}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(library_reader settings_reader midi_handler)

export CCACHE_BASEDIR="${ROOT}" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=time_macros
CC=clang CXX=clang++ cmake -S "${ROOT}" -B "${BUILD}" -G Ninja -DKSQX_SANITIZE=ON -DKSQX_FUZZ=ON -DKSQX_BENCH=OFF >/dev/null
ninja -C "${BUILD}" "${TARGETS[@]/%/_fuzz}"

export ASAN_OPTIONS="detect_leaks=0 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1 ${UBSAN_OPTIONS:-}"
status=0
for t in "${TARGETS[@]}"; do
  case "$t" in
    library_reader) max_len=6000 ;;
    settings_reader) max_len=200 ;;
    *) max_len=1200 ;;
  esac
  # New inputs go to the build's own corpus folder; the seeds stay as they are.
  corpus="${BUILD}/fuzz-corpus/${t}"
  mkdir -p "${corpus}"
  log="${BUILD}/fuzz-${t}.log"
  # Every bound is the fuzzer's own: total time, time per input, memory.
  if (cd "${BUILD}" && timeout $((SECONDS_TO_RUN + 120)) "./tests/${t}_fuzz" -max_total_time="${SECONDS_TO_RUN}" \
        -max_len="${max_len}" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        "${corpus}" "${ROOT}/tests/fuzz/corpus/${t}") >"${log}" 2>&1; then
    echo "fuzz: ${t}: $(grep -E '^#[0-9]+.*(DONE|pulse)' "${log}" | tail -n 1)"
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "${log}" | tr '\n' ' '; echo
  else
    echo "FAILED fuzz: ${t} (log: ${log})"
    grep -v '^ALSA lib' "${log}" | tail -n 40
    status=1
  fi
done
exit $status
