#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the examples need.
# Debian 12. Safe to run again: apt-get skips what is installed. Run as root,
# or as a user who may use sudo: only the package installation runs as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  liblcms2-dev
  libboost-dev libboost-filesystem-dev
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  nlohmann-json3-dev
  libtiff-dev libpng-dev
  libcli11-dev help2man
  libgs-common
  liblcms2-utils time
  argyll
  libqpdf-dev qpdf zlib1g-dev libdeflate-dev ghostscript poppler-utils python3-reportlab
  clang libclang-rt-14-dev valgrind
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ] || [ "${RDZ_FORCE_APT:-}" = 1 ]; then
  as_root=()
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps.sh: run as root, or install sudo" >&2; exit 1; }
    as_root=(sudo)
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${packages[@]}"
fi
