#!/usr/bin/env bash
# rodadazerivo convert -O FOLDER INPUT... (one batch, --jobs N processes)
# against the same inputs converted by one run of the program each, one after
# the other, in the same run of this script: wall time and identical outputs.
#
#   bash bench/cli/batch.sh [COUNT] [SIZE]     (default 100 images of 1000 x 1000)
#   RDZ_BENCH_ROUNDS=3 RDZ_BENCH_JOBS=2 RDZ_BENCH_METHOD=device-link|profile
#
# Rounds alternate the two ways; the median and the best round of each are
# printed with their ratio. Goal on 2 cores: the batch at least 1.8 x faster.
set -euo pipefail
cd "$(dirname "$0")/../.."

count=${1:-100}
size=${2:-1000}
build=${RDZ_BUILD_DIR:-build/release}
jobs=${RDZ_BENCH_JOBS:-2}
method=${RDZ_BENCH_METHOD:-device-link}
rounds=${RDZ_BENCH_ROUNDS:-3}
icc=/usr/share/color/icc/ghostscript

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "${RDZ_JOBS:-2}" --target rodadazerivo_cli rdz_bench_tiff \
  rdz_example_cmsdb >/dev/null
program=$(cd "$build" && pwd)/tools/rodadazerivo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
"$build/bench/cli/rdz_bench_tiff" make "$size" "$size" "$work/in/image0.tif"
for i in $(seq 1 $((count - 1))); do cp "$work/in/image0.tif" "$work/in/image$i.tif"; done
linkicc -t 1 -o "$work/link.icc" "$icc/default_cmyk.icc" "$icc/ps_cmyk.icc" >/dev/null 2>&1

# Each round starts from a copy of the example database without stored links:
# both ways compute the links they need once (the batch in its first input,
# the single runs in their first run) and reuse them.
setting() {
  case "$method" in
    device-link) echo --device-link "$work/link.icc" ;;
    profile) echo --profile --source default_cmyk.icc --destination ps_cmyk.icc ;;
    *) echo "RDZ_BENCH_METHOD: device-link or profile" >&2; exit 2 ;;
  esac
}
read -r -a args <<<"$(setting)"
export RDZ_NO_PROGRESS=1

# Wall and processor seconds of a command: "wall cpu".
measure() {
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@"
  awk '{ printf "%s %.2f", $1, $2 + $3 }' "$work/time"
}
single_times=(); batch_times=(); single_cpu=(); batch_cpu=()
for round in $(seq 1 "$rounds"); do
  rm -rf "$work/db" "$work/single" "$work/batch"
  cp -r "$build/examples/cmsdb" "$work/db"; mkdir -p "$work/single"
  read -r wall cpu <<<"$(measure bash -c '
    program=$1; db=$2; out=$3; shift 3; n=$#
    args=("${@:1:$((n - 1))}"); list=${@: -1}
    for f in $list/*.tif; do
      "$program" convert -q --cms "$db" "${args[@]}" "$f" -o "$out/$(basename "$f")" || exit 1
    done' run "$program" "$work/db" "$work/single" "${args[@]}" "$work/in")"
  single_times+=("$wall"); single_cpu+=("$cpu")

  rm -rf "$work/db"; cp -r "$build/examples/cmsdb" "$work/db"
  read -r wall cpu <<<"$(measure "$program" convert -q --cms "$work/db" "${args[@]}" \
    --jobs "$jobs" -O "$work/batch" "$work"/in/*.tif)"
  batch_times+=("$wall"); batch_cpu+=("$cpu")
done

same=yes
for f in "$work"/single/*.tif; do
  cmp -s "$f" "$work/batch/$(basename "$f")" || same=no
done

stats() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
  m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%s %s", m, v[1] }'; }
read -r single_median single_best <<<"$(stats "${single_times[@]}")"
read -r batch_median batch_best <<<"$(stats "${batch_times[@]}")"
read -r single_cpu_median _ <<<"$(stats "${single_cpu[@]}")"
read -r batch_cpu_median _ <<<"$(stats "${batch_cpu[@]}")"
awk -v n="$count" -v s="$size" -v j="$jobs" -v m="$method" -v r="$rounds" \
    -v sm="$single_median" -v sb="$single_best" -v bm="$batch_median" -v bb="$batch_best" \
    -v sc="$single_cpu_median" -v bc="$batch_cpu_median" \
    -v same="$same" -v cores="$(nproc)" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
  printf "inputs:         %d CMYK TIFFs of %d x %d, %s conversion, %d rounds\n", n, s, s, m, r
  printf "machine:        %d cores, load average %s (at the end)\n", cores, load
  printf "single runs:    wall median %.2f s, best %.2f s; processor %.2f s\n", sm, sb, sc
  printf "batch --jobs %d: wall median %.2f s, best %.2f s; processor %.2f s\n", j, bm, bb, bc
  printf "speed-up:       median %.2f x, best %.2f x (goal: at least 1.8 x)\n", sm / bm, sb / bb
  printf "processor time: the batch needs %.2f x less\n", sc / bc
  printf "outputs:        %s\n", (same == "yes") ? "identical" : "DIFFERENT"
  exit !(same == "yes")
}'
