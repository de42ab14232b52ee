# Inside the emulated machine (run by tools/x86vm/x86vm.sh in build/win32-xp): the XP tier's tests
# that need 32-bit code, with one prefix and one wineserver, their time limits scaled by this
# machine's slowdown. $1: the reference time measured natively, in ms; $2: the test command's
# deadline (seconds since the epoch) or empty. The scenarios go first: should the deadline come
# before the adapter tests could end, they are left out, and said to be.
cd ../.. || exit 125
export PYTHONUNBUFFERED=1 KELVARA_WINE_KEEP=1
inside=$(bash tests/reference-time.sh) || { echo "the reference program did not run in the emulated machine"; exit 1; }
KELVARA_TIME_SCALE=$(awk -v i="$inside" -v o="$1" 'BEGIN { s = i / o; printf "%.1f", s < 1 ? 1 : s }')
export KELVARA_TIME_SCALE
echo "emulated machine: the reference program took $1 ms natively and $inside ms here: time limits and watchdogs ×$KELVARA_TIME_SCALE"
. tests/wine-env.sh
tier=(ctest --preset win32-xp -LE host --repeat until-pass:3 --timeout "$(scaled 300)")
start=$(date +%s) && "${tier[@]}" -E '^win_'; status=$?
# The adapter tests took about a third of the scenarios' time natively.
if [ $(($(date +%s) + ($(date +%s) - start) / 3)) -gt "${2:-9999999999}" ]; then
  echo "left out, for the test command's time budget: $(ctest --preset win32-xp -N -R '^win_' | sed -n 's/.*Test *#[0-9]*: //p' | tr '\n' ' ')"
else
  "${tier[@]}" -R '^win_' || status=1
fi
KELVARA_WINE_KEEP= KELVARA_WINE_KIND=winxp WINEPREFIX=$PWD/build/wine-xp DISPLAY=:92 bash tests/wine-fixture.sh down
exit $status
