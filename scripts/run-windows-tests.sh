#!/usr/bin/env bash
# Builds the library for 32-bit Windows with Debian's MinGW-w64 and runs its
# Windows tests under Wine: the engine layer (both engines, the Windows one on
# the real mscms, the CMM preferences on the real shell and profile-file
# functions, the device-link loader), the option records, the converters
# with the host stand-ins built for Windows (the threaded image pass among
# them), the file helpers on the Win32 file calls and the document database
# stand-in.
#
#   bash scripts/run-windows-tests.sh
#
# Run as root on Debian 12. It installs what is missing (the cross compiler,
# Wine with its 32-bit part), fetches the LittleCMS and Boost source packages
# with apt-get source (adding deb-src entries when apt has none), builds them
# for Windows once, and keeps everything under build/windows (or
# $RDZ_WINDOWS_BUILD): a second run rebuilds only what changed. Each run uses
# a fresh Wine prefix in a temporary folder and needs no display. Builds run
# $RDZ_WINDOWS_JOBS jobs at once (2 by default).
# Exit status: 0 when every test passed (skips allowed), 1 otherwise.
set -euo pipefail

started=$(date +%s)
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RDZ_WINDOWS_BUILD:-$root/build/windows}
sources=$build/src
deps=$build/deps
toolchain=$root/cmake/toolchains/i686-w64-mingw32.cmake
jobs=${RDZ_WINDOWS_JOBS:-2}
test_dirs="options;engine;converter;strategy;profile;devicelink;platform/files;platform/kelt"
test_programs=(test_options test_engine test_converter test_strategy test_profile test_devicelink
  test_files test_kelt)

say() { printf '== %s\n' "$*"; }
# Runs a command with its output in $build/logs/<name>.log, shown only when
# the command fails.
quiet() {
  local name=$1
  shift
  mkdir -p "$build/logs"
  if ! "$@" >"$build/logs/$name.log" 2>&1; then
    tail -n 40 "$build/logs/$name.log"
    echo "failed: $* (whole output in $build/logs/$name.log)" >&2
    exit 1
  fi
}
elapsed() { echo $(($(date +%s) - started)); }

# --- Debian packages -------------------------------------------------------
apt_updated=0
apt_update() {
  if [ "$apt_updated" = 0 ]; then
    apt-get -o DPkg::Lock::Timeout=900 update -q
    apt_updated=1
  fi
}

install_packages() {
  local packages=(
    g++-mingw-w64-i686-posix wine wine32:i386
    cmake ninja-build dpkg-dev xz-utils
    googletest libboost-dev nlohmann-json3-dev libgs-common
  )
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture for wine32"
    dpkg --add-architecture i386
    apt_updated=0
  fi
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    say "installing ${missing[*]}"
    apt_update
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -q \
      --no-install-recommends "${missing[@]}"
  fi
}

# deb-src entries mirroring the Debian deb entries, when apt knows no source.
ensure_deb_src() {
  if apt-get source --print-uris lcms2 >/dev/null 2>&1; then
    return
  fi
  local list=/etc/apt/sources.list.d/rodadazerivo-deb-src.sources
  local legacy=/etc/apt/sources.list.d/rodadazerivo-deb-src.list
  if [ ! -e "$list" ] && [ ! -e "$legacy" ]; then
    say "adding deb-src entries ($list)"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$list"
    fi
    if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$legacy"
    fi
  fi
  apt_updated=0
  apt_update
}

# --- Source packages -------------------------------------------------------
fetch_sources() {
  mkdir -p "$sources"
  local boost_version
  boost_version=$(sed -n 's/^#define BOOST_LIB_VERSION "\([0-9]*\)_\([0-9]*\)"/\1.\2/p' \
    /usr/include/boost/version.hpp)
  lcms2_dir=$(find "$sources" -maxdepth 1 -type d -name 'lcms2-*' | head -n 1)
  boost_dir=$sources/boost$boost_version-filesystem
  if [ -z "$lcms2_dir" ] || [ ! -f "$boost_dir/.complete" ]; then
    ensure_deb_src
  fi
  if [ -z "$lcms2_dir" ]; then
    say "fetching the lcms2 source package"
    (cd "$sources" && quiet lcms2-source apt-get source -q lcms2)
    lcms2_dir=$(find "$sources" -maxdepth 1 -type d -name 'lcms2-*' | head -n 1)
  fi
  if [ ! -f "$boost_dir/.complete" ]; then
    # Only Boost.Filesystem's sources are compiled; the headers are those of
    # libboost-dev, the same Boost version.
    say "fetching the boost$boost_version source package (Boost.Filesystem's sources)"
    local download=$sources/boost-download
    rm -rf "$download" "$boost_dir"
    mkdir -p "$download" "$boost_dir"
    (cd "$download" && quiet boost-source apt-get source -q --download-only "boost$boost_version")
    tar -xJf "$download"/boost*.orig.tar.xz -C "$boost_dir" --strip-components=1 \
      --wildcards '*/libs/filesystem/src/*'
    rm -rf "$download"
    touch "$boost_dir/.complete"
  fi
}

# --- Windows libraries -----------------------------------------------------
cmake_cross() {
  local launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    "${launcher[@]}" "$@"
}

build_deps() {
  mkdir -p "$deps/include" "$deps/share/cmake"
  # Header-only libraries from Debian's packages.
  ln -sfn /usr/include/boost "$deps/include/boost"
  ln -sfn /usr/include/nlohmann "$deps/include/nlohmann"
  rm -rf "$deps/share/cmake/nlohmann_json"
  cp -r /usr/share/cmake/nlohmann_json "$deps/share/cmake/"

  # Built again whenever the toolchain or the recipe changes.
  local stamp
  stamp=$(cat "$toolchain" "$root/cmake/windows-deps/CMakeLists.txt" | sha256sum | cut -c1-16)
  stamp="$stamp $(basename "$lcms2_dir") $(basename "$boost_dir")"
  if [ "$(cat "$deps/.stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$deps/lib" "$build/deps-build" "$build/rdz"
  fi
  if [ ! -f "$deps/lib/libgtest.a" ] || [ ! -f "$deps/lib/libgmock.a" ]; then
    say "building GoogleTest for Windows (/usr/src/googletest)"
    quiet googletest-configure cmake_cross -S /usr/src/googletest \
      -B "$build/deps-build/googletest" -DCMAKE_INSTALL_PREFIX="$deps" -Dgtest_disable_pthreads=ON
    quiet googletest-build cmake --build "$build/deps-build/googletest" -j"$jobs" --target install
  fi
  if [ ! -f "$deps/lib/liblcms2.a" ] || [ ! -f "$deps/lib/libboost_filesystem.a" ]; then
    say "building LittleCMS ($(basename "$lcms2_dir")) and Boost.Filesystem for Windows"
    quiet libs-configure cmake_cross -S "$root/cmake/windows-deps" -B "$build/deps-build/libs" \
      -DCMAKE_INSTALL_PREFIX="$deps" -DLCMS2_SOURCE_DIR="$lcms2_dir" \
      -DBOOST_FILESYSTEM_SOURCE_DIR="$boost_dir/libs/filesystem/src" \
      -DBOOST_INCLUDE_DIR="$deps/include"
    quiet libs-build cmake --build "$build/deps-build/libs" -j"$jobs" --target install
  fi
  echo "$stamp" >"$deps/.stamp"
}

# --- The library and its tests ---------------------------------------------
build_library() {
  say "building the library and its tests for i686-w64-mingw32"
  quiet rdz-configure cmake_cross -S "$root" -B "$build/rdz" -DRDZ_WINDOWS_DEPS="$deps" \
    -DRDZ_WERROR=ON -DRDZ_BUILD_BENCH=OFF -DRDZ_BUILD_TOOLS=OFF \
    -DRDZ_TEST_DIRS="$test_dirs" \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$build/bin"
  cmake --build "$build/rdz" -j"$jobs" --target "${test_programs[@]}"
  # The compiler's runtime DLLs beside the programs, as an installation
  # would ship them.
  local gcc_dir
  gcc_dir=$(dirname "$(i686-w64-mingw32-g++-posix -print-libgcc-file-name)")
  cp -u "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_dw2-1.dll" \
    /usr/i686-w64-mingw32/lib/libwinpthread-1.dll "$build/bin/"
}

# --- Running under Wine ----------------------------------------------------
run_tests() {
  local prefix
  prefix=$(mktemp -d /tmp/rdz-wine.XXXXXX)
  # shellcheck disable=SC2064
  trap "WINEPREFIX='$prefix' wineserver -k >/dev/null 2>&1 || true; rm -rf '$prefix'" EXIT
  export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
  # No Mono or Gecko installers, no display.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  say "creating a Wine prefix in $prefix"
  wineboot -i >/dev/null 2>&1
  wineserver -w

  local logs=$build/logs passed=0 failed=0 skipped=0 status=0 program log
  mkdir -p "$logs"
  cd "$build/bin"
  for program in "${test_programs[@]}"; do
    log=$logs/$program.log
    say "wine $program.exe"
    if wine "$program.exe" --gtest_color=no 2>&1 | tr -d '\r' >"$log"; then :; else status=1; fi
    # Failures and skips with their reasons; gtest prints a skip's reason
    # under a "<file>:<line>: Skipped" line just before the test's result.
    awk '/: Skipped$/ { getline reason; next_reason = reason; next }
         /^\[  SKIPPED \] [^0-9]/ && !seen[$4]++ { printf "   skipped %s: %s\n", $4, next_reason; next_reason = "" }
         /^\[  FAILED  \] [^0-9]/ && !/listed below/ && !seen[$4]++ { printf "   FAILED %s\n", $4 }
         /^\[==========\] .* ran\./ { print "   " $0 }' "$log"
    # How close the system's CMM came to LittleCMS, and which of the
    # system's functions the engine called and how they answered.
    grep -E 'largest (pixel|value) difference' "$log" | sed 's/^/   /' || true
    sed -n '/^Windows functions called/,/^\[==========\]/p' "$log" | grep -v '^\[' |
      sed 's/^/   /' || true
    local p f s
    p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -n 1)
    f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log" | tail -n 1)
    s=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log" | tail -n 1)
    if [ -z "$p" ]; then
      echo "   $program did not finish: see $log"
      tail -n 20 "$log"
      status=1
    fi
    passed=$((passed + ${p:-0}))
    failed=$((failed + ${f:-0}))
    skipped=$((skipped + ${s:-0}))
  done
  echo
  echo "Windows (i686-w64-mingw32, $(wine --version)) tests, logs in $logs:"
  echo "$passed passed, $failed failed, $skipped skipped"
  echo "run-windows-tests.sh took $(elapsed) s"
  return "$status"
}

install_packages
fetch_sources
build_deps
build_library
run_tests
