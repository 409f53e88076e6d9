#!/usr/bin/env bash
# Test fixture: one silent scan on the simulated instrument with both input
# groups, then the program's own command-line exports of it:
#   make_exports.sh <tesselon-6> <settings.ini> <out-dir>
# Leaves scan.ts6, scan.csv, scan.wav and scan.dat in <out-dir> (the
# automatic export beside the scan file is kept as auto.dat).
set -uo pipefail
program=$1 settings=$2 out=$3
rm -rf "$out"
mkdir -p "$out/run"
export TESSELON_USB=simulator QT_QPA_PLATFORM=offscreen
"$program" -s -r "-i$settings" "-o$out/run" || { echo "make_exports: the silent scan failed ($?)" >&2; exit 1; }
scan=$(ls "$out"/run/*.ts6 2>/dev/null | head -n 1)
[ -n "$scan" ] || { echo "make_exports: the silent scan wrote no scan file" >&2; exit 1; }
cp "$scan" "$out/scan.ts6" && cp "${scan%.ts6}.dat" "$out/auto.dat" || exit 1
# The default output names (scan.csv, scan.wav, scan.dat) beside the scan file.
for format in csv wav dat; do
  "$program" --export "$format" "$out/scan.ts6" || { echo "make_exports: --export $format failed" >&2; exit 1; }
done
# An explicit output and the refusals: the exit codes are part of the interface.
"$program" --export csv "$out/scan.ts6" "$out/named.csv" || exit 1
if "$program" --export xls "$out/scan.ts6" 2>/dev/null; then echo "make_exports: xls accepted" >&2; exit 1; fi
if "$program" --export dat "$out/scan.ts6" "$out/scan.ts6" 2>/dev/null; then
  echo "make_exports: overwrote the scan file" >&2; exit 1
fi
cmp -s "$scan" "$out/scan.ts6" || { echo "make_exports: the scan file changed" >&2; exit 1; }
echo "make_exports: wrote $(ls "$out" | tr '\n' ' ')"
