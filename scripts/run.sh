#!/usr/bin/env bash
# The main job. Installs what the build needs and builds the tools, then
# writes the sample layout (resources/samples/sample.scenario) with
# layoutgen, shows what the engine reads from it with layoutinfo and draws
# its picture with layoutrender, and a coloured picture beside it. Another
# layout file can be given instead.
#
#   bash scripts/run.sh [-o PICTURE] [--colorize CRITERION] [LAYOUT]
#
# The coloured picture has its elements coloured by CRITERION (type, layer,
# maker, product, radius or height; default type) and the picture's name
# with "-CRITERION" before its extension, e.g. build/sample-type.png.
#
# LAYOUT and PICTURE are taken relative to the folder run.sh is called from.
# The picture's extension (.png, .pdf or .svg) chooses its format. Without
# -o it goes into the build folder: build/sample.png for the sample, and for
# another layout build/pictures/ followed by the layout's path and ".png"
# (its path in the repository, else its absolute path; e.g.
# build/pictures/home/me/plans/halt.wkst.png), so two layouts never share
# a picture.
#
# BUILD_DIR (default build) and JOBS (default: every processor) are honoured.
set -euo pipefail

usage() {
  echo "usage: bash scripts/run.sh [-o PICTURE] [--colorize CRITERION] [LAYOUT]" >&2
  exit 1
}

caller=$PWD
absolute() {
  case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$caller/$1" ;;
  esac
}

layout=""
picture=""
criterion=type
while [ $# -gt 0 ]; do
  case $1 in
    --colorize)
      [ $# -ge 2 ] || usage
      case $2 in
        type | layer | maker | product | radius | height) criterion=$2 ;;
        *) echo "run.sh: unknown criterion '$2' (type, layer, maker, product, radius, height)" >&2; usage ;;
      esac
      shift 2 ;;
    -o)
      [ $# -ge 2 ] && [ -n "$2" ] || usage
      picture=$(absolute "$2")
      shift 2 ;;
    -h | --help)
      sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
      exit 0 ;;
    -*)
      echo "run.sh: unknown option $1" >&2
      usage ;;
    *)
      [ -z "$layout" ] || usage
      layout=$(absolute "$1")
      shift ;;
  esac
done

cd "$(dirname "$0")/.."
repository=$PWD

bash scripts/install-deps.sh

build=${BUILD_DIR:-build}
jobs=${JOBS:-$(nproc)}
# The same flags as the tests' build (scripts/test.sh), so the two share one build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build "$build" --parallel "$jobs" --target layoutgen-tool layoutinfo layoutrender vekmont-services vekmont resources
build=$(cd "$build" && pwd)

if [ -z "$layout" ]; then
  layout="$build/sample.wkst"
  "$build/tools/layoutgen/layoutgen" layout "$layout" --scenario resources/samples/sample.scenario
  picture=${picture:-$build/sample.png}
fi
if [ -z "$picture" ]; then
  resolved=$(realpath -m "$layout")
  case $resolved in
    "$repository"/*) relative=${resolved#"$repository"/} ;;
    *) relative=${resolved#/} ;;
  esac
  picture="$build/pictures/$relative.png"
  mkdir -p "$(dirname "$picture")"
fi
"$build/tools/layoutinfo/layoutinfo" "$layout"
"$build/tools/layoutrender/layoutrender" "$layout" -o "$picture"
echo "Picture: $picture"
# Beside it: the name with -CRITERION before the extension.
case $(basename "$picture") in
  *.*) coloured="${picture%.*}-$criterion.${picture##*.}" ;;
  *) coloured="$picture-$criterion" ;;
esac
"$build/tools/layoutrender/layoutrender" "$layout" -o "$coloured" --colorize "$criterion"
echo "Coloured by $criterion: $coloured"
