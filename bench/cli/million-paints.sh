#!/usr/bin/env bash
# A document of many paints through the program: time and peak memory of a
# whole run (reading the JSON, converting every paint, writing the JSON), by
# /usr/bin/time -v, with the load of the machine at the time.
#
#   bash bench/cli/million-paints.sh [COUNT]     (default 1000000)
#   RDZ_BENCH_DOCUMENT=FILE bash bench/cli/million-paints.sh [COUNT]
#                                                 only writes the document
#
# Targets for 1,000,000 paints on the 2-core build machine: at most 15 s
# wall time and 1.5 GiB peak resident memory.
#
# The document: four process inks, COUNT CMYK solids (four amounts each,
# fractions spread over 0..1) and one path per paint in one layer, so that
# every paint is used, as in a large catalogue page.
set -euo pipefail
cd "$(dirname "$0")/../.."

count=${1:-1000000}
build=${RDZ_BUILD_DIR:-build/release}
jobs=${RDZ_JOBS:-2}

if [ -z "${RDZ_NO_BUILD:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j "$jobs" --target rodadazerivo_cli rdz_example_cmsdb >/dev/null
fi
program=$build/tools/rodadazerivo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk -v n="$count" 'BEGIN {
  print "{"
  print "  \"format\": \"rodadazerivo-document\","
  print "  \"version\": 1,"
  print "  \"name\": \"Many paints\","
  print "  \"inks\": ["
  split("Cyan Magenta Yellow Black", ink, " ")
  for (i = 1; i <= 4; i++)
    printf "    { \"id\": \"%s\", \"book\": \"Process\", \"name\": \"%s\", \"kinds\": [\"process\"], \"process\": \"CMYK\" }%s\n", ink[i], ink[i], i < 4 ? "," : ""
  print "  ],"
  print "  \"paints\": ["
  for (p = 1; p <= n; p++) {
    printf "    { \"id\": \"p%d\", \"solid\": [", p
    for (i = 1; i <= 4; i++)
      printf " { \"ink\": \"%s\", \"fraction\": %.3f }%s", ink[i], ((p * (i * 37 + 11)) % 1001) / 1000, i < 4 ? "," : ""
    printf " ] }%s\n", p < n ? "," : ""
  }
  print "  ],"
  print "  \"components\": [ { \"name\": \"Page 1\", \"children\": [ { \"type\": \"layer\", \"name\": \"Artwork\", \"children\": ["
  for (p = 1; p <= n; p++)
    printf "    { \"type\": \"path\", \"attributes\": [ { \"paint\": \"p%d\" } ] }%s\n", p, p < n ? "," : ""
  print "  ] } ] } ]"
  print "}"
}' >"$work/in.json"

if [ -n "${RDZ_BENCH_DOCUMENT:-}" ]; then
  mv "$work/in.json" "$RDZ_BENCH_DOCUMENT"
  exit 0
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
RDZ_NO_PROGRESS=1 /usr/bin/time -v "$program" convert --cms "$build/examples/cmsdb" \
  --strategy "ISO Coated" "$work/in.json" -o "$work/out.json" 2>"$work/time" >/dev/null || {
  cat "$work/time" >&2
  exit 1
}
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

awk -F': ' -v n="$count" -v size="$(stat -c %s "$work/in.json")" \
    -v out="$(stat -c %s "$work/out.json")" -v lb="$load_before" -v la="$load_after" '
  /Elapsed \(wall clock\)/ { k = split($2, p, ":"); s = 0; for (i = 1; i <= k; i++) s = s * 60 + p[i]; wall = s }
  /User time/ { user = $2 }
  /System time/ { sys = $2 }
  /Maximum resident set size/ { rss = $2 }
  END {
    printf "paints:       %d (input %.1f MiB, output %.1f MiB)\n", n, size / 1048576, out / 1048576
    printf "wall time:    %.2f s (user %.2f s, system %.2f s)\n", wall, user, sys
    printf "peak memory:  %.0f MiB\n", rss / 1024
    printf "load average: %s before, %s after (2 cores)\n", lb, la
  }' "$work/time"
