#!/usr/bin/env bash
# The README's first command. Installs what is missing, builds the program
# (Release, build/release), and runs the main job on the bundled example: a
# device link made with LittleCMS from Debian's two CMYK profiles, applied to
# the sample document and to its photo (a CMYK TIFF) with no other argument
# than the link, as a new user would. Then the sample goes through the
# Color Strategy and the profile conversion with a report, a before/after
# preview is drawn, and the script says where everything is.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

build=$root/build/release
jobs=${RDZ_JOBS:-2}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRDZ_WERROR=ON
cmake --build "$build" -j "$jobs" --target rodadazerivo_cli rdz_example_cmsdb

program=$build/tools/rodadazerivo
sample=$root/examples/sample/sample.json
icc=/usr/share/color/icc/ghostscript
out=$build/example-output
rm -rf "$out"
mkdir -p "$out"
# The program uses the default CMS database that the build made; the device
# links it computes go to the user's cache. Here the cache is a folder of the
# example output, so that every run starts alike and the user's stays clean.
export XDG_CACHE_HOME=$out/cache
unset RODADAZERIVO_CMS

echo
echo "== Device link: $icc/default_cmyk.icc -> ps_cmyk.icc (LittleCMS linkicc)"
linkicc -t 1 -o "$out/default-to-ps.icc" "$icc/default_cmyk.icc" "$icc/ps_cmyk.icc" \
  >"$out/linkicc.log" 2>&1 || { cat "$out/linkicc.log" >&2; exit 1; }
rm -f "$out/linkicc.log"
"$program" icc-info "$out/default-to-ps.icc"

echo
echo "== The main job: the device link on the sample document and on its photo"
"$program" convert --device-link "$out/default-to-ps.icc" "$sample" \
  -o "$out/sample.devicelink.json"
"$program" convert --device-link "$out/default-to-ps.icc" "$root/examples/sample/sample.photo.tif" \
  -o "$out/photo.devicelink.tif"

echo
echo "== The same device link on a PDF (examples/pdf/sample.pdf), converted in place"
"$program" convert --device-link "$out/default-to-ps.icc" "$root/examples/pdf/sample.pdf" \
  -o "$out/sample.devicelink.pdf"

echo
echo "== What the default CMS database holds"
"$program" list strategies

echo
echo "== Color Strategy 'Coated to Uncoated'"
"$program" convert --strategy "Coated to Uncoated" "$sample" -o "$out/sample.strategy.json"

echo
echo "== Profile conversion: the document's profile -> ps_cmyk.icc, ink limit 300%, with a report"
"$program" convert --profile --use-document-profile --source default_cmyk.icc \
  --destination ps_cmyk.icc --reseparate --total-ink 300 --report "$out/sample.profile.report.json" \
  "$sample" -o "$out/sample.profile.json"

echo
echo "== Preview: before (left) and after (right) the Color Strategy"
"$program" preview -q --strategy "Coated to Uncoated" "$sample" -o "$out/sample.preview.png"

echo
echo "Done. The outputs are in $out:"
find "$out" -maxdepth 1 -type f | sort | sed 's/^/  /'
echo "Each converted document is a .json file with one .tif per image beside it."
echo "Device links computed: $(find "$out/cache" -name '*.icc' | wc -l) in $out/cache/rodadazerivo/links"
echo "Convert your own files with: $program convert --help"
