#!/usr/bin/env bash
# Runs one fuzz target of build-fuzz (cmake -DRDZ_FUZZ=ON, see CMakeLists.txt)
# for a while, starting from its seed corpus:
#   fuzz/run-fuzzer.sh <target> [seconds] [build folder] [libFuzzer flags...]
# New inputs go to a working corpus under $RDZ_FUZZ_WORK (default
# /tmp/rdz-fuzz/<target>), crashes to .../artifacts/. Copy an input that
# failed into fuzz/regressions/<target>/ with a <name>.why beside it once
# the fault is fixed. While a known fault is not fixed yet, "-fork=1
# -ignore_crashes=1" keeps fuzzing past it and collects every crash.
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
seconds=${2:-600}
build=${3:-build-fuzz}
work=${RDZ_FUZZ_WORK:-/tmp/rdz-fuzz}/$target
mkdir -p "$work/corpus" "$work/artifacts"
seeds=(fuzz/corpus/"$target")
[ -d fuzz/regressions/"$target" ] && seeds+=(fuzz/regressions/"$target")
case $target in icc_profile|device_link) seeds+=(/usr/share/color/icc/ghostscript) ;; esac
export RDZ_SOURCE_DIR=$PWD
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -max_len=65536 -print_final_stats=1 -close_fd_mask=2 \
  -artifact_prefix="$work/artifacts/" "${@:4}" "$work/corpus" "${seeds[@]}"
