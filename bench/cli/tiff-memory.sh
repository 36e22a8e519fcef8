#!/usr/bin/env bash
# Peak memory and wall time of a TIFF-to-TIFF device-link conversion against
# LittleCMS's tificc -l, in interleaved rounds on the same image and link:
# the streamed TIFF path should hold a small fraction of the image.
#
#   bash bench/cli/tiff-memory.sh [SIZE] [ROUNDS]     (defaults 6000, 5)
#
# Uses an existing build (RDZ_BUILD_DIR, default build/rel); prints the load
# of the machine before and after.
set -euo pipefail
cd "$(dirname "$0")/../.."

size=${1:-6000}
rounds=${2:-5}
build=${RDZ_BUILD_DIR:-build/rel}
icc=/usr/share/color/icc/ghostscript
program=$build/tools/rodadazerivo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/cli/rdz_bench_tiff" make "$size" "$size" "$work/in.tif"
linkicc -t 1 -o "$work/link.icc" "$icc/default_cmyk.icc" "$icc/ps_cmyk.icc" >/dev/null 2>&1

wall() {
  awk -F': ' '/Elapsed \(wall clock\)/ {
    n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$1"
}
peak() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$work/pairs"
for round in $(seq 1 "$rounds"); do
  /usr/bin/time -v tificc -l "$work/link.icc" "$work/in.tif" "$work/tificc.tif" \
    2>"$work/t.txt" >/dev/null
  RDZ_NO_PROGRESS=1 /usr/bin/time -v "$program" convert --cms "$build/examples/cmsdb" \
    --device-link "$work/link.icc" "$work/in.tif" -o "$work/rdz.tif" 2>"$work/r.txt"
  echo "$(wall "$work/t.txt") $(wall "$work/r.txt") $(peak "$work/t.txt") $(peak "$work/r.txt")" \
    >>"$work/pairs"
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
same=$("$build/bench/cli/rdz_bench_tiff" compare "$work/tificc.tif" "$work/rdz.tif" || true)

# Median and minimum of one column of the pairs.
stat() { cut -d' ' -f"$1" "$work/pairs" | sort -g | awk '{ v[NR] = $1 } END { printf "%s %s", v[int((NR + 1) / 2)], v[1] }'; }
awk '{ print $2 / $1 }' "$work/pairs" >"$work/ratios"
read -r t_med t_min <<<"$(stat 1)"
read -r r_med r_min <<<"$(stat 2)"
read -r q_med q_min <<<"$(sort -g "$work/ratios" | awk '{ v[NR] = $1 } END { printf "%s %s", v[int((NR + 1) / 2)], v[1] }')"
pt=$(cut -d' ' -f3 "$work/pairs" | sort -g | tail -1)
pr=$(cut -d' ' -f4 "$work/pairs" | sort -g | tail -1)
awk -v s="$size" -v tm="$t_med" -v tn="$t_min" -v rm="$r_med" -v rn="$r_min" -v qm="$q_med" \
    -v qn="$q_min" -v pt="$pt" -v pr="$pr" -v same="$same" 'BEGIN {
  img = s * s * 4 / 1048576
  printf "image:          %d x %d CMYK, %.1f MiB\n", s, s, img
  printf "tificc -l:      median %.2f s, min %.2f s, peak %.1f MiB (%.2f x the image)\n", tm, tn, pt / 1024, pt / 1024 / img
  printf "rodadazerivo:   median %.2f s, min %.2f s, peak %.1f MiB (%.2f x the image)\n", rm, rn, pr / 1024, pr / 1024 / img
  printf "time ratio:     median %.2f, min %.2f (of interleaved pairs)\n", qm, qn
  printf "pixels:         %s\n", same
}'
