#!/usr/bin/env bash
# Prints, in ms, the best of three runs of Wine's own "cmd /c exit" in the 64-bit test prefix (a
# Wine start-up): timed natively and inside the emulated machine, it gives that one's slowdown.
set -u && cd "$(dirname "$0")/.."
export KELVARA_WINE_KIND=win64 WINEPREFIX=$PWD/build/wine DISPLAY=:95 WINEDEBUG=-all
. tests/wine-env.sh
bash tests/wine-fixture.sh up >/dev/null 2>&1 || exit 1
best=
for _ in 1 2 3; do
  start=$(date +%s%N) && wine cmd /c exit </dev/null >/dev/null 2>&1 || exit 1
  ms=$((($(date +%s%N) - start) / 1000000)) && [ -z "$best" ] || [ "$ms" -lt "$best" ] && best=$ms
done
bash tests/wine-fixture.sh down; echo "$best"
