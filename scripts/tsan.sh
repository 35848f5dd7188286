#!/usr/bin/env bash
# Builds the platform's tests (run loops, queues, the clock, notifications,
# the URL session, reachability) with ThreadSanitizer and runs them, with the
# layout view's tile jobs, the crash reporter's list that signal handlers
# read without a lock, and the analytics service tracked from many threads
# while the session tracker hears the application come and go. Only these:
# that is where threads meet; the modules above use the queues.
# Fails when a test fails or reports a race, and when no test ran at all.
#
# TSAN_BUILD_DIR (default build-tsan) and JOBS (default: every processor) are
# honoured.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${TSAN_BUILD_DIR:-build-tsan}
jobs=${JOBS:-$(nproc)}
# A report fails the test that caused it; test discovery runs at build time.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=thread" \
  -DVEKMONT_BUILD_TESTS=ON -DVEKMONT_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$jobs" --target thread_tests
# Picture decoding runs on one thread; inflating its hostile gigabyte of
# rows takes a minute and a half under ThreadSanitizer, so it is left to the
# other passes.
# Every test runs once: a race that shows only sometimes must fail the run.
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 600 \
  --no-tests=error \
  -R '^(platform\.|LayoutView\.|crashes\.AsyncSafeSharedList\.|telemetry\.TLMSessionTracker\.|telemetry\.TelemetryClient\.Concurrent)' \
  -E '^platform\.ImageBudget\.'
