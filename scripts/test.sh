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
# Line tables are debug information enough for test failures and stacks, at
# two thirds of the compile time of full debug information.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DVEKMONT_BUILD_TESTS=ON -DVEKMONT_BUILD_BENCH=ON \
  -DVEKMONT_TESTS_RUN_ELSEWHERE="${VEKMONT_TESTS_RUN_ELSEWHERE:-}"
cmake --build "$build" --parallel "$jobs"
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 300 --no-tests=error
