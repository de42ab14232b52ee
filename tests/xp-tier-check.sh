#!/usr/bin/env bash
# The XP tier's bed and the tier runner tell the truth: the host probe agrees with the 32-bit Wine
# loader; a tier that cannot run is not passed, nor "not run" after a host test failed; only a missed
# answer limit is retried, never a host test; a test left out fails; the emulated machine hands back its
# job's status. On a copy of the scripts, ctest played from FAKE: [host:]NAME=OUTCOME,... (pass fail late gone).
set -u && cd "$(dirname "$0")/.." && failures=0 checks=2
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
bash tools/x86vm/runs-32bit.sh; probe=$? && /usr/lib/wine/wine --version >/dev/null 2>&1
[ $probe = $(($? != 0)) ] || fail "the host probe says $probe, the 32-bit Wine loader says otherwise"
fake=$(mktemp -d) && trap 'rm -rf "$fake"' EXIT && mkdir "$fake/bin" && cp -r tests tools "$fake/" && { cp -r build/x86vm-boot "$fake/" 2>/dev/null; }
export PATH=$fake/bin:$PATH && install -m 755 /dev/stdin "$fake/bin/ctest" <<'EOF'
#!/usr/bin/env bash
p= n= re=. l= i=0
while [ $# -gt 0 ]; do case $1 in --preset) p=$2 ;; -N) n=1 ;; -R) re=$2 ;; -L) l=host ;; -LE) l=other ;; esac; shift; done
for t in $FAKE; do
  name=${t%%=*} && name=${name#host:} && h=other && [[ $t == host:* ]] && h=host
  [[ $name =~ $re ]] && { [ -z "$l" ] || [ "$l" = $h ]; } || continue
  [ -n "$n" ] && echo "  Test  #$((++i)): $name" && continue
  k=$(cat "calls.$name" 2>/dev/null || echo 0) && echo $((k + 1)) >"calls.$name" && IFS=, read -ra o <<<"${t#*=}"
  case ${o[k]:-${o[-1]}} in pass) s=Passed ;; fail) s=***Failed ;; gone) continue ;;
    late) s=***Failed && echo "$name the window took 999 ms to answer" >>"build/$p/answer-limit-missed" ;; esac
  echo "$((++i))/$i Test #$i: $name ..... $s    0.01 sec"
done
EOF
row() {  # PRESET FAKE "STATUS;PATTERN;..." WHAT COMMAND...: each pattern in its output, calls and the tier's count
  rm -rf "$fake"/calls.* "$fake/build" && out=$(cd "$fake" && export FAKE=$2 && "${@:5}" 2>&1; echo "status $?"
    for c in calls.*; do [ -e "$c" ] && echo "$c=$(cat "$c")"; done; bash tests/tier.sh --count "$1")
  while read -r pattern; do checks=$((checks + 1)) && grep -qE -- "$pattern" <<<"$out" || fail "$4: no \"$pattern\" in: $out"; done < <(tr ';' '\n' <<<"$3"); }
xp=(env KELVARA_HOST_RUNS_32BIT=0 QEMU=/nonexistent bash tests/xp-tier.sh)
row win32-xp host:release_check=pass "^status 77$;^XP tier not run: .*qemu" "a tier without its machine" "${xp[@]}"
row win32-xp host:release_check=fail "^status 1$;^XP tier failed;failed: release_check" "a host test failed, no machine" "${xp[@]}"
row t "host:release_check=late,pass e2e_a=late,pass e2e_b=fail,pass e2e_c=late" "^status 1$;calls.release_check=1$;calls.e2e_a=2$;\
calls.e2e_b=1$;calls.e2e_c=3$;retried e2e_a \(first failure: the window;t: 1 passed, 3 failed, 0 not run$" "retries" bash tests/tier.sh t
row t "e2e_a=late,pass e2e_d=gone" "^status 1$;not run: e2e_d$;retried e2e_a;t: 1 passed, 0 failed, 1 not run$" "a test left out" bash tests/tier.sh t
# shellcheck disable=SC2016 # the job's own $1
bash tools/x86vm/x86vm.sh --can-run >/dev/null && row - "" "^status 3$;^sent$" "the emulated machine's job" bash -c 'mkdir vm &&
  echo "bash $PWD/tools/x86vm/runs-32bit.sh && echo \"\$1\" >from-guest && exit 3" >vm/job.sh && bash tools/x86vm/x86vm.sh vm vm/job.sh sent >/dev/null
  s=$? && cat vm/from-guest; exit $s'
echo "$((checks - failures)) passed, $failures failed" && [ $failures = 0 ]
