#!/usr/bin/env bash
# The XP tier: the shipped 32-bit build under 32-bit Wine as Windows XP. Natively where this host runs
# 32-bit code; elsewhere the tests labelled host first, here, then the rest inside an emulated x86
# machine (--guest) stopped at the test command's deadline, their time limits scaled for its slowdown.
# Exit status: 0 passed, 1 failed, 77 not run (the line before says why; never after a host test
# failed). Alone, once the win64 and win32-xp presets are built: bash tests/xp-tier.sh
set -u && cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 125
if [ "${1:-}" = --guest ]; then  # $2: the deadline (seconds since the epoch)
  # One prefix and wineserver for every ctest run; the wizard's work measured about 4× slower there.
  export PYTHONUNBUFFERED=1 KELVARA_WINE_KEEP=1 KELVARA_TIME_SCALE=8
  . tests/wine-env.sh && echo "emulated machine: time limits and watchdogs ×$KELVARA_TIME_SCALE"
  # No test runs into the deadline's last two minutes: those left out count as not run.
  bash tests/tier.sh win32-xp -LE host --timeout "$(scaled 300)" --stop-time "$(date -d "@$(($2 - 120))" +%T)"; status=$?
  KELVARA_WINE_KEEP='' KELVARA_WINE_KIND=winxp WINEPREFIX=$PWD/build/wine-xp DISPLAY=:92 bash tests/wine-fixture.sh down
  exit $status
fi
o=build/win32-xp/outcomes && rm -f "$o" && deadline=${KELVARA_DEADLINE:-$(($(date +%s) + 3600))}
if [ "${KELVARA_HOST_RUNS_32BIT:-$(bash tools/x86vm/runs-32bit.sh && echo 1)}" = 1 ]; then bash tests/tier.sh win32-xp; exit $(($? ? 1 : 0)); fi
bash tests/tier.sh win32-xp -L host; host=$? before=$(cat "$o" 2>/dev/null | wc -l)
notrun() { echo "XP tier not run: $1"; [ $host = 0 ] && exit 77; echo "XP tier failed: its host tests failed"; exit 1; }
why=$(bash tools/x86vm/x86vm.sh --can-run) || notrun "this host runs no 32-bit code, and $why"
left=$((deadline - $(date +%s)))
timeout $((left > 0 ? left : 1)) bash tools/x86vm/x86vm.sh build/win32-xp tests/xp-tier.sh --guest "$deadline"
guest=$? && [ $guest = 124 ] && echo "XP tier: the emulated machine was stopped at the test command's deadline"
[ $guest = 125 ] && [ "$(wc -l <"$o")" = "$before" ] && notrun "the emulated machine did not run its tests (status 125)"
[ $host = 0 ] && [ $guest = 0 ]
