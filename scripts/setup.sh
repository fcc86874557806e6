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
  locales
  libgtest-dev libgmock-dev libbenchmark-dev
)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The command-line tests run once under a locale that writes decimal commas. localedef exits
# with 1 when it only warned; the locale is there then all the same.
has_comma_locale() { locale -a 2>/dev/null | grep -ix 'de_DE\.utf-\?8' >/dev/null; }
if ! has_comma_locale; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || has_comma_locale
fi
