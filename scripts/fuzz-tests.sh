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
# Every target of tests/fuzz runs in CI: the stage's list and the sources
# must name the same targets, each with its seed folder.
ALL_TARGETS=(library_reader settings_reader midi_handler)
if [ ${#TARGETS[@]} -eq 0 ]; then
  TARGETS=("${ALL_TARGETS[@]}")
  sources=$(cd "${ROOT}/tests/fuzz" && ls ./*_fuzz.cpp | sed 's|^\./||; s|_fuzz\.cpp$||' | sort)
  if [ "$(printf '%s\n' "${ALL_TARGETS[@]}" | sort)" != "$sources" ]; then
    echo "FAILED fuzz: the stage runs ${ALL_TARGETS[*]}, tests/fuzz has" $sources
    exit 1
  fi
fi
for t in "${TARGETS[@]}"; do
  if [ -z "$(ls -A "${ROOT}/tests/fuzz/corpus/${t}" 2>/dev/null)" ]; then
    echo "FAILED fuzz: ${t} has no seed inputs in tests/fuzz/corpus/${t}"
    exit 1
  fi
done

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
    # A run that ended without trying its seeds tested nothing.
    runs=$(awk '/^stat::number_of_executed_units:/ {print $2}' "${log}")
    seeds=$(ls -A "${ROOT}/tests/fuzz/corpus/${t}" | wc -l)
    if [ "${runs:-0}" -lt "${seeds}" ]; then
      echo "FAILED fuzz: ${t} ran ${runs:-no} inputs, fewer than its ${seeds} seeds"
      status=1
    fi
  else
    echo "FAILED fuzz: ${t} (log: ${log})"
    grep -v '^ALSA lib' "${log}" | tail -n 40
    status=1
  fi
done
exit $status
