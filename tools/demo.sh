#!/usr/bin/env bash
# One unattended scan on the simulated instrument:
#   tools/demo.sh <bin-dir> <out-dir>
# Leaves the scan file, its text export, SuccessFailure.ini and a picture of
# the four graphs in <out-dir>, and fails when any of them is missing.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <bin-dir> <out-dir>" >&2
  exit 2
fi
bin=$(cd "$1" && pwd) || { echo "demo: no such folder: $1" >&2; exit 2; }
repo=$(cd "$(dirname "$0")/.." && pwd)
out=$2
program="$bin/tesselon-6"
settings="$repo/examples/demo-scan.ini"

if [ ! -x "$program" ]; then
  echo "demo: $program is not built" >&2
  exit 1
fi

# A fresh folder each time, with a private settings, log and registry store
# so the demo never touches the user's own.
rm -rf "$out"
mkdir -p "$out/.state/config" "$out/.state/data" "$out/.state/home/Documents" "$out/.state/tmp"
out=$(cd "$out" && pwd)
state="$out/.state"

echo "demo: running one silent scan on the simulated instrument"
env HOME="$state/home" XDG_CONFIG_HOME="$state/config" XDG_DATA_HOME="$state/data" TMPDIR="$state/tmp" \
  TESSELON_USB=simulator TESSELON_SNAPSHOT="$out/graphs.png" QT_QPA_PLATFORM=offscreen \
  "$program" -s -r "-i$settings" "-o$out"
status=$?
echo "demo: tesselon-6 exited with $status"

missing=0
check() {
  local what=$1 file=$2
  if [ -n "$file" ] && [ -s "$file" ]; then
    printf '  %-22s %s\n' "$what" "$file"
  else
    printf '  %-22s MISSING\n' "$what"
    missing=1
  fi
}

shopt -s nullglob
scans=("$out"/Data_*.ts6)
exports=("$out"/Data_*.dat)
scan=${scans[0]:-}
export_file=${exports[0]:-}
result="$out/SuccessFailure.ini"

echo "demo: results in $out"
check "scan data file" "$scan"
check "text export" "$export_file"
check "result file" "$result"
check "picture of the graphs" "$out/graphs.png"

if [ -f "$result" ]; then
  if grep -qi '^[[:space:]]*Success[[:space:]]*=[[:space:]]*Yes[[:space:]]*$' "$result"; then
    echo "  result: Success=Yes"
  else
    echo "  result: not a success:"
    sed 's/^/    /' "$result"
    missing=1
  fi
fi

if [ -n "$export_file" ] && [ -f "$export_file" ]; then
  echo "demo: first lines of $(basename "$export_file"):"
  head -n 5 "$export_file" | sed 's/^/    /'
fi

if [ $status -ne 0 ] || [ $missing -ne 0 ]; then
  echo "demo: FAILED (log: $state/data/Tesselon/Logs/Tesselon.log)" >&2
  exit 1
fi
echo "demo: done"
