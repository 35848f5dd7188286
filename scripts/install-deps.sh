#!/usr/bin/env bash
# Installs every Debian package the build, tests and benchmarks need.
# Non-interactive and idempotent; run as root (or through sudo). It says what
# it does and shows each package as it is set up; apt's own output goes to a
# log of this run alone (mktemp), which is named at the end and, with its
# last lines, when anything fails.
set -euo pipefail

packages=(
  build-essential binutils lld cmake ninja-build pkg-config git
  libboost1.81-dev libboost-log1.81-dev libboost-thread1.81-dev
  libboost-filesystem1.81-dev libboost-date-time1.81-dev
  libicu-dev libutfcpp-dev nlohmann-json3-dev
  libpango1.0-dev libcairo2-dev libpixman-1-dev libfontconfig-dev fonts-dejavu-core fonts-dejavu-extra libjpeg-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev libsqlite3-dev libcurl4-openssl-dev libxml2-dev libcpp-httplib-dev zlib1g-dev python3 openssl curl
  protobuf-c-compiler libprotobuf-c-dev
  libsdl2-dev
  libjemalloc-dev
  clang-format-14
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: the ${#packages[@]} packages the build needs are installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp --suffix=.log "${TMPDIR:-/tmp}/vekmont-install-deps.XXXXXX")

fail() {
  echo "install-deps: $1 failed; the last lines of its log:" >&2
  tail -n 25 "$log" >&2
  echo "install-deps: the whole log of this run is $log" >&2
  exit 1
}

# One line a package as apt fetches it and one as it sets it up, out of
# apt's many.
progress() {
  local line words
  while IFS= read -r line; do
    case $line in
      Get:*) read -r -a words <<<"$line"; echo "  fetched ${words[4]:-?}" ;;
      "Setting up "*) line=${line#Setting up }; echo "  set up ${line%% (*}" ;;
    esac
  done
}

echo "install-deps: to install (${#missing[@]}): ${missing[*]}"
echo "install-deps: apt's output goes to $log"
echo "install-deps: updating the package lists"
$SUDO apt-get update >>"$log" 2>&1 || fail "apt-get update"
echo "install-deps: downloading and installing them with what they need"
$SUDO apt-get install -y --no-install-recommends -o Dpkg::Use-Pty=0 "${missing[@]}" 2>&1 |
  tee -a "$log" | progress || fail "apt-get install"
echo "install-deps: done (log: $log)"
