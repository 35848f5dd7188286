#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer the tests of
# every module that reads untrusted bytes (files, replies, crash reports) and
# the fuzz targets' replays, and runs them under the sanitizers; the screens'
# tests read no untrusted input and are left to the plain run. Leak checking is off: the engine's services are
# registered for the life of the process and never freed, by design. Fails
# when a test fails and when no test ran at all.
#
# SANITIZE_BUILD_DIR (default build-sanitize) and JOBS (default: every
# processor) are honoured.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${SANITIZE_BUILD_DIR:-build-sanitize}
jobs=${JOBS:-$(nproc)}
# Test discovery runs the test programs at build time, so these apply there too.
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DVEKMONT_SANITIZE=ON -DVEKMONT_BUILD_TESTS=ON -DVEKMONT_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$jobs" --target untrusted_input_tests
# Every test runs once: a test that passes only on a second try is a fault.
# The instrumented build runs several times slower, hence the longer limit.
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 600 \
  --no-tests=error -R '^(platform|engine|storage|SharingModule|telemetry|crashes|tools|fuzz|layering)\.'
