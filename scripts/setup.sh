#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite
  libhidapi-dev
  mdbtools-dev mdbtools
  fonts-dejavu-core fonts-liberation2
  poppler-utils
  libgtest-dev libgmock-dev libbenchmark-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
