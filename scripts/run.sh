#!/usr/bin/env bash
# Installs what the build needs, builds, and runs the main job: writes the
# sample layout (resources/samples/sample.scenario) with layoutgen and shows
# what the engine reads from it with layoutinfo, then draws its picture with
# layoutrender (into the build folder, named after the layout, e.g.
# build/sample.png). Any other layout file can be given instead:
# bash scripts/run.sh path/to/file.wkst
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh > /tmp/vekmont-install-deps.log 2>&1 || {
  cat /tmp/vekmont-install-deps.log; exit 1; }

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEKMONT_BUILD_TESTS=OFF -DVEKMONT_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc)" --target layoutgen-tool layoutinfo layoutrender vekmont-services resources

if [ "$#" -gt 0 ]; then
  layout=$1
else
  layout="$build/sample.wkst"
  "$build/tools/layoutgen/layoutgen" layout "$layout" --scenario resources/samples/sample.scenario
fi
"$build/tools/layoutinfo/layoutinfo" "$layout"
picture="$(cd "$build" && pwd)/$(basename "${layout%.*}").png"
"$build/tools/layoutrender/layoutrender" "$layout" -o "$picture"
echo "Picture: $picture"
