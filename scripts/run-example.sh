#!/usr/bin/env bash
# The README's first command. Installs what is missing, builds the program
# (Release, build/release), makes a device link with LittleCMS from Debian's
# two CMYK profiles, converts the sample document with each of the three
# methods, draws a before/after preview, and says where everything is.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build/release
jobs=${RDZ_JOBS:-2}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRDZ_WERROR=ON
cmake --build "$build" -j "$jobs" --target rodadazerivo_cli rdz_example_cmsdb

program=$build/tools/rodadazerivo
sample=examples/sample/sample.json
icc=/usr/share/color/icc/ghostscript
out=$build/example-output
rm -rf "$out"
mkdir -p "$out"
# The profile conversion stores the device links it computes in the CMS
# database: it works on a copy, so that every run starts alike.
cp -r "$build/examples/cmsdb" "$out/cmsdb"
cms=$out/cmsdb

echo
echo "== Device link: $icc/default_cmyk.icc -> ps_cmyk.icc (LittleCMS linkicc)"
linkicc -t 1 -o "$out/default-to-ps.icc" "$icc/default_cmyk.icc" "$icc/ps_cmyk.icc" \
  >"$out/linkicc.log" 2>&1 || { cat "$out/linkicc.log" >&2; exit 1; }
rm -f "$out/linkicc.log"
"$program" icc-info "$out/default-to-ps.icc"

methods=$("$program" --version | sed -n 's/^methods: //p')
built() { case " $methods " in *" $1 "*) return 0 ;; *) return 1 ;; esac; }

echo
echo "== Color Strategy 'Coated to Uncoated'"
"$program" convert --cms "$cms" --strategy "Coated to Uncoated" "$sample" \
  -o "$out/sample.strategy.json"

echo
echo "== Profile conversion: the document's profile -> ps_cmyk.icc"
if built profile; then
  "$program" convert --cms "$cms" --profile --use-document-profile --source default_cmyk.icc \
    --destination ps_cmyk.icc "$sample" -o "$out/sample.profile.json"
else
  echo "skipped: the profile converter is not part of this build yet"
fi

echo
echo "== Device link $out/default-to-ps.icc"
if built device-link; then
  "$program" convert --cms "$cms" --device-link "$out/default-to-ps.icc" "$sample" \
    -o "$out/sample.devicelink.json"
else
  echo "skipped: the device-link converter is not part of this build yet"
fi

echo
echo "== Preview: before (left) and after (right) the Color Strategy"
if ! "$program" preview --cms "$cms" --strategy "Coated to Uncoated" "$sample" \
  -o "$out/sample.preview.png" 2>"$out/preview.log"; then
  cat "$out/preview.log" >&2
  exit 1
fi
rm -f "$out/preview.log"

echo
echo "Done. The outputs are in $out:"
( cd "$out" && ls -1 sample.* default-to-ps.icc | sed 's/^/  /' )
echo "Each converted document is a .json file with one .tif per image beside it."
echo "Convert your own files with: $program convert --help"
