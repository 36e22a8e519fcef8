#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the examples need.
# Run as root on Debian 12. Safe to run again: apt-get skips what is installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  liblcms2-dev
  libboost-dev libboost-filesystem-dev
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  nlohmann-json3-dev
  libtiff-dev libpng-dev
  libgs-common
  liblcms2-utils time
  libqpdf-dev qpdf zlib1g-dev ghostscript poppler-utils python3-reportlab
  clang libclang-rt-14-dev valgrind
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ] || [ "${RDZ_FORCE_APT:-}" = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${packages[@]}"
fi
