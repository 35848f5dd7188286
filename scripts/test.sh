#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh > /tmp/vekmont-install-deps.log 2>&1 || {
  cat /tmp/vekmont-install-deps.log; exit 1; }

build=${BUILD_DIR:-build}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$jobs"
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 300
