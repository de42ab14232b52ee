#!/usr/bin/env bash
# The XP tier's test bed tells the truth: the host probe agrees with the installed 32-bit Wine; a
# tier that cannot run says so and is not passed; the emulated machine runs 32-bit code and hands
# back its job's own status.
set -u
cd "$(dirname "$0")/.." && failures=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
bash tools/x86vm/runs-32bit.sh; probe=$?
/usr/lib/wine/wine --version >/dev/null 2>&1
[ $probe = $(($? != 0)) ] || fail "the host probe says $probe, the 32-bit Wine loader says otherwise"
out=$(KELVARA_HOST_RUNS_32BIT=0 QEMU=/nonexistent bash tests/xp-tier.sh 2>&1); [ $? = 77 ] && grep -q "^XP tier not run: .*qemu" <<<"$out" || fail "a tier without its machine: $out"
if bash tools/x86vm/x86vm.sh --can-run >/dev/null; then
  mkdir -p build && share=$(mktemp -d "$PWD/build/x86vm-check.XXXXXX") && trap 'rm -rf "$share"' EXIT
  # shellcheck disable=SC2016 # the job's own $1
  printf 'bash %q/tools/x86vm/runs-32bit.sh && echo "$1" >from-guest && exit 3\n' "$PWD" >"$share/job.sh"
  bash tools/x86vm/x86vm.sh "$share" "$share/job.sh" sent >/dev/null; status=$?
  [ $status = 3 ] && [ "$(cat "$share/from-guest" 2>/dev/null)" = sent ] ||
    fail "the emulated machine's job ended with $status, wrote '$(cat "$share/from-guest" 2>/dev/null)'"
fi
echo "$((3 - failures)) passed, $failures failed" && [ $failures = 0 ]
