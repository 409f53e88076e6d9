#!/bin/sh
# Runs one test process in a private scratch HOME. The libraries build their
# loggers and temporary files when they load, before a test's main() runs, so
# the environment must be private before the process starts.
base=${TESSELON_TEST_SCRATCH_BASE:-${TMPDIR:-/tmp}}
mkdir -p "$base"
scratch=$(mktemp -d "$base/tesselon-test-XXXXXX") || exit 1
mkdir -p "$scratch/home/Documents" "$scratch/config" "$scratch/data" "$scratch/tmp" "$scratch/machine"
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_DATA_HOME="$scratch/data"
export TMPDIR="$scratch/tmp"
export FENMARL_MACHINE_CONFIG_DIR="$scratch/machine"
export TESSELON_TEST_SCRATCH="$scratch"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(dirname "$0")/lsan.supp}"
"$@"
rc=$?
[ -n "$TESSELON_KEEP_SCRATCH" ] || rm -rf "$scratch"
exit $rc
