#!/usr/bin/env bash
# Installs what the build needs, builds everything with the tests and the
# benchmarks switched on (whatever an earlier configure of the build folder,
# such as run.sh's, chose) and runs every test. Fails when a test fails and
# when no test ran at all.
#
# BUILD_DIR (default build) and JOBS (default: every processor) are honoured.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${BUILD_DIR:-build}
jobs=${JOBS:-$(nproc)}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEKMONT_BUILD_TESTS=ON -DVEKMONT_BUILD_BENCH=ON
cmake --build "$build" --parallel "$jobs"
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 300 --no-tests=error
