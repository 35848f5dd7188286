#!/usr/bin/env bash
# Installs every Debian package the build, tests and benchmarks need.
# Non-interactive and idempotent; run as root (or through sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libboost1.81-dev libboost-log1.81-dev libboost-thread1.81-dev
  libboost-filesystem1.81-dev libboost-date-time1.81-dev
  libicu-dev libutfcpp-dev nlohmann-json3-dev
  libpango1.0-dev libcairo2-dev libfontconfig-dev fonts-dejavu-core libjpeg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev libcurl4-openssl-dev libxml2-dev libcpp-httplib-dev python3 openssl curl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
