#!/usr/bin/env bash
# Sets up, builds and runs every test: the unit and component tests of both
# programs, the tests that drive the real programs under a virtual display,
# the device link under the thread sanitizer, both test suites under the
# address and undefined-behaviour sanitizers and short fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
status=0
for extra in scripts/tsan-tests.sh scripts/asan-tests.sh scripts/fuzz-tests.sh scripts/e2e-alsa.sh scripts/powercut-tests.sh scripts/wine-tests.sh scripts/unprivileged-tests.sh; do
  # A stage whose script has gone is a failure, not a stage less.
  [ -f "$extra" ] || { echo "FAILED: $extra is missing"; status=1; continue; }
  bash "$extra" || { echo "FAILED: $extra"; status=1; }
done
build/bench/ksqx_bench --benchmark_min_time=0.01 || { echo "FAILED: benchmarks (short run)"; status=1; }
# The test runner's summary comes last.
ctest --test-dir build --output-on-failure --no-tests=error || status=1
[ $status -eq 0 ] || echo "some tests failed"
exit $status
