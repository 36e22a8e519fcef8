#!/usr/bin/env bash
# rodadazerivo convert --device-link against LittleCMS's own tificc -l, on the
# same SIZE x SIZE CMYK TIFF and the same CMYK-to-CMYK device link, in pairs
# of rounds: each pair runs both programs one after the other (the order
# alternates from pair to pair, so that a change in the machine's load weighs
# on both), and its ratio is the program's wall time over tificc's. Prints
# every pair, the median and the minimum ratio, whether the pixels of every
# pair are identical, and the peak resident memory of each program.
#
#   bash bench/cli/compare-tificc.sh [SIZE] [CONTENT...]
#       SIZE     default 6000
#       CONTENT  realistic, noise or gradient (rdz_bench_tiff make); default:
#                realistic noise
#   RDZ_BENCH_PAIRS=5    pairs per content
#   RDZ_THREADS=N        passed as --threads N when the program has that option
#                        (otherwise it uses its default)
#   RDZ_BUILD_DIR=...    build tree to use (default build/release)
#
# Targets: median time ratio at most 0.70 on this 2-core machine with
# identical pixels; peak memory as printed (the image's own size for scale).
set -euo pipefail
cd "$(dirname "$0")/../.."

size=${1:-6000}
shift || true
contents=("$@")
[ "${#contents[@]}" -gt 0 ] || contents=(realistic noise)
pairs=${RDZ_BENCH_PAIRS:-5}
build=${RDZ_BUILD_DIR:-build/release}
jobs=${RDZ_JOBS:-2}
icc=/usr/share/color/icc/ghostscript

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs" --target rodadazerivo_cli rdz_bench_tiff rdz_example_cmsdb >/dev/null

program=$build/tools/rodadazerivo
tool=$build/bench/cli/rdz_bench_tiff
if ! "$program" --version | grep -q 'device-link'; then
  echo "The device-link converter is not part of this build yet: nothing to compare." >&2
  exit 1
fi
threads=()
if [ -n "${RDZ_THREADS:-}" ]; then
  if "$program" --help 2>&1 | grep -q -- '--threads'; then
    threads=(--threads "$RDZ_THREADS")
  else
    echo "note: this program has no --threads option; RDZ_THREADS is ignored" >&2
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
linkicc -t 1 -o "$work/link.icc" "$icc/default_cmyk.icc" "$icc/ps_cmyk.icc" >/dev/null 2>&1

# Seconds from /usr/bin/time -v's "h:mm:ss" or "m:ss.ss".
wall() {
  awk -F': ' '/Elapsed \(wall clock\)/ {
    n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$1"
}
peak() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"; }

run_tificc() {
  /usr/bin/time -v tificc -l "$work/link.icc" "$work/in.tif" "$work/tificc.tif" \
    2>"$work/tificc.time" >/dev/null
}
run_program() {
  RDZ_NO_PROGRESS=1 /usr/bin/time -v "$program" convert --cms "$build/examples/cmsdb" \
    "${threads[@]}" --device-link "$work/link.icc" "$work/in.tif" -o "$work/rdz.tif" \
    2>"$work/rdz.time" >/dev/null
}

image_mb=$(awk "BEGIN { printf \"%.1f\", $size * $size * 4 / 1048576 }")
echo "image: $size x $size CMYK, $image_mb MiB uncompressed; $(nproc) cores;" \
     "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "program: ${program} convert --device-link ${threads[*]:-(default threads)}"

for content in "${contents[@]}"; do
  "$tool" make "$size" "$size" "$work/in.tif" "$content"
  ratios=(); peak_t=0; peak_r=0; differing=0
  for pair in $(seq 1 "$pairs"); do
    rm -f "$work/tificc.tif" "$work/rdz.tif"
    # The outputs of the last pair are deleted and flushed first: otherwise
    # the program, which flushes its output to disk before putting it in
    # place, would also wait for the discard of the deleted files.
    sync
    if [ $((pair % 2)) -eq 1 ]; then run_tificc; run_program; else run_program; run_tificc; fi
    t=$(wall "$work/tificc.time"); r=$(wall "$work/rdz.time")
    ratio=$(awk "BEGIN { printf \"%.3f\", $r / $t }")
    ratios+=("$ratio")
    pt=$(peak "$work/tificc.time"); pr=$(peak "$work/rdz.time")
    [ "$pt" -gt "$peak_t" ] && peak_t=$pt
    [ "$pr" -gt "$peak_r" ] && peak_r=$pr
    same=$("$tool" compare "$work/tificc.tif" "$work/rdz.tif" || true)
    case "$same" in 0\ differing*) ;; *) differing=$((differing + 1)) ;; esac
    printf '%-9s pair %d: tificc %6.2f s  rodadazerivo %6.2f s  ratio %s  (%s)\n' \
      "$content" "$pair" "$t" "$r" "$ratio" "$same"
  done
  sorted=$(printf '%s\n' "${ratios[@]}" | sort -n)
  median=$(echo "$sorted" | awk '{ v[NR] = $1 } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
  minimum=$(echo "$sorted" | head -n 1)
  awk -v c="$content" -v med="$median" -v min="$minimum" -v pt="$peak_t" -v pr="$peak_r" \
      -v img="$image_mb" -v bad="$differing" -v n="$pairs" 'BEGIN {
    printf "%-9s time ratio: median %.3f, minimum %.3f over %d pairs (target: median <= 0.70)\n",
      c, med, min, n
    printf "%-9s peak memory: tificc %.1f MiB (%.2f x the image), rodadazerivo %.1f MiB (%.2f x)\n",
      c, pt / 1024, pt / 1024 / img, pr / 1024, pr / 1024 / img
    printf "%-9s pixels: %s\n", c, bad == 0 ? "identical in every pair" : bad " pairs differ"
  }'
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
