#!/usr/bin/env bash
# A short, bounded fuzz run of the library file reader (libFuzzer with clang,
# under the address and undefined-behaviour sanitizers). Run it longer by
# hand with: scripts/fuzz-tests.sh SECONDS
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ROOT}/build-fuzz"
SECONDS_TO_RUN="${1:-30}"
export CCACHE_BASEDIR="${ROOT}" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=time_macros
CC=clang CXX=clang++ cmake -S "${ROOT}" -B "${BUILD}" -G Ninja -DKSQX_SANITIZE=ON -DKSQX_FUZZ=ON -DKSQX_BENCH=OFF >/dev/null
ninja -C "${BUILD}" library_reader_fuzz
corpus="${BUILD}/fuzz-corpus"
mkdir -p "${corpus}"
cd "${BUILD}"
./tests/library_reader_fuzz -max_total_time="${SECONDS_TO_RUN}" -max_len=6000 -timeout=10 "${corpus}" 2>&1 | tail -n 5
echo "fuzz: library reader ran ${SECONDS_TO_RUN} s without a finding"
