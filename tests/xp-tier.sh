#!/usr/bin/env bash
# The XP tier: the shipped 32-bit build under 32-bit Wine, in a prefix set to Windows XP. Natively
# where this host runs 32-bit code; elsewhere the tests that need none ("host") run here and the
# rest inside an emulated x86 machine, their time limits scaled by its slowdown against a reference
# program. Exit status: 0 passed, 1 failed, 77 not run (the line before says why). Alone, after
# building the win64 and win32-xp presets: bash tests/xp-tier.sh
set -u
cd "$(dirname "$0")/.."
tier=(ctest --preset win32-xp --repeat until-pass:3)
if [ "${KELVARA_HOST_RUNS_32BIT:-$(bash tools/x86vm/runs-32bit.sh && echo 1)}" = 1 ]; then "${tier[@]}" && exit 0 || exit 1; fi
why=$(bash tools/x86vm/x86vm.sh --can-run) || { echo "XP tier not run: this host runs no 32-bit code, and $why"; exit 77; }
"${tier[@]}" -L host; host=$?
reference=$(bash tests/reference-time.sh) || { echo "XP tier not run: the reference program did not run here"; exit 77; }
bash tools/x86vm/x86vm.sh build/win32-xp tests/xp-guest.sh "$reference" "${KELVARA_DEADLINE:-}"; guest=$?
[ $guest = 125 ] && { echo "XP tier not run: the emulated machine did not run its tests (status 125)"; exit 77; }
[ $host = 0 ] && [ $guest = 0 ]
