#!/usr/bin/env bash
# Runs a UI test program under Wine and turns its window pictures into PNGs.
# Usage: run_ui_test.sh TEST.exe PRODUCT.exe SHOT_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
test_exe=$1 product=$2 shots=$3
mkdir -p "$shots"
winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
export KELVARA_SETUP_EXE=$(winpath "$product")
export KELVARA_SHOT_DIR=$(winpath "$shots")
# Nothing may answer on the file server here; the test expects the network box.
"$here/../../cmake/wine-run.sh" "$test_exe"
rc=$?
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $rc
