#!/usr/bin/env bash
# Configures and builds into build/ (JUCE is compiled once and cached by ccache).
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_SLOPPINESS=time_macros CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKSQX_BENCH=ON >/dev/null
ninja -C build "$@"
