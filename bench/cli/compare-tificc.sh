#!/usr/bin/env bash
# rodadazerivo convert --device-link against LittleCMS's own tificc -l, on the
# same 6000 x 6000 CMYK TIFF and the same CMYK-to-CMYK device link, in the
# same run: wall time, identical pixels, peak memory.
#
#   bash bench/cli/compare-tificc.sh [SIZE]      (default 6000; RDZ_BENCH_ROUNDS=3)
#
# Targets: wall time at most 1.25 x tificc's; every sample equal; peak
# resident memory at most 2.5 x the image's uncompressed size.
set -euo pipefail
cd "$(dirname "$0")/../.."

size=${1:-6000}
build=${RDZ_BUILD_DIR:-build/release}
jobs=${RDZ_JOBS:-2}
icc=/usr/share/color/icc/ghostscript

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs" --target rodadazerivo_cli rdz_bench_tiff rdz_example_cmsdb >/dev/null

program=$build/tools/rodadazerivo
if ! "$program" --version | grep -q 'device-link'; then
  echo "The device-link converter is not part of this build yet: nothing to compare." >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/cli/rdz_bench_tiff" make "$size" "$size" "$work/in.tif"
linkicc -t 1 -o "$work/link.icc" "$icc/default_cmyk.icc" "$icc/ps_cmyk.icc" >/dev/null 2>&1

# Seconds from /usr/bin/time -v's "h:mm:ss" or "m:ss.ss".
wall() {
  awk -F': ' '/Elapsed \(wall clock\)/ {
    n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$1"
}
peak() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"; }

# Rounds alternate the two programs; the best round of each counts (the
# others measure the machine's other work as much as the programs).
best_t=""; best_r=""
for round in $(seq 1 "${RDZ_BENCH_ROUNDS:-3}"); do
  /usr/bin/time -v tificc -l "$work/link.icc" "$work/in.tif" "$work/tificc.tif" \
    2>"$work/tificc.$round" >/dev/null
  RDZ_NO_PROGRESS=1 /usr/bin/time -v "$program" convert --cms "$build/examples/cmsdb" \
    --device-link "$work/link.icc" "$work/in.tif" -o "$work/rdz.tif" 2>"$work/rdz.$round"
  t=$(wall "$work/tificc.$round"); r=$(wall "$work/rdz.$round")
  if [ -z "$best_t" ] || awk "BEGIN { exit !($t < $best_t) }"; then best_t=$t; fi
  if [ -z "$best_r" ] || awk "BEGIN { exit !($r < $best_r) }"; then best_r=$r; best_round=$round; fi
done

image_mb=$(awk "BEGIN { printf \"%.1f\", $size * $size * 4 / 1048576 }")
peak_t=$(peak "$work/tificc.1")
peak_r=$(peak "$work/rdz.$best_round")
same=$("$build/bench/cli/rdz_bench_tiff" compare "$work/tificc.tif" "$work/rdz.tif" || true)

awk -v s="$size" -v t="$best_t" -v r="$best_r" -v pt="$peak_t" -v pr="$peak_r" \
    -v img="$image_mb" -v same="$same" 'BEGIN {
  printf "image:        %d x %d CMYK, %.1f MiB uncompressed\n", s, s, img
  printf "tificc -l:    %.2f s wall, peak %.1f MiB\n", t, pt / 1024
  printf "rodadazerivo: %.2f s wall, peak %.1f MiB\n", r, pr / 1024
  printf "time ratio:   %.2f (target <= 1.25)\n", r / t
  printf "memory ratio: %.2f x the image (target <= 2.5)\n", pr / 1024 / img
  printf "pixels:       %s\n", same
}'
