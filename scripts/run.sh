#!/usr/bin/env bash
# Installs what the build needs, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh > /tmp/vekmont-install-deps.log 2>&1 || {
  cat /tmp/vekmont-install-deps.log; exit 1; }

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEKMONT_BUILD_TESTS=OFF -DVEKMONT_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc)" --target vekmont-services
"$build/tools/vekmont-services" "$@"
