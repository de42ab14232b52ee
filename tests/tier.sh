#!/usr/bin/env bash
# tier.sh PRESET [CTEST ARGS]: the tests once, then twice more at most those whose scenario missed only
# the window's answer limit, as a loaded 2-core machine does now and then (run_scenario.sh's status 3,
# named in BUILD/answer-limit-missed); never a host test. Outcomes, retries, totals: BUILD/outcomes.
# tier.sh --count PRESET [CTEST ARGS]: their summary, "PRESET: N passed, M failed, K not run" last.
set -u && cd "$(dirname "$0")/.." || exit 2
[ "$1" = --count ] && { { cat "build/$2/outcomes" 2>/dev/null; ctest --preset "$2" -N "${@:3}" | sed -n 's/^ *Test *#[0-9]*: /test /p'; } |
  awk -v p="$2" '$1 == "test" { n[$2] = s[$2] ? s[$2] : "not-run"; next } $1 ~ /^(passed|failed|not-run)$/ { s[$2] = $1; next }
    { sub(/^(totals|answered) /, ""); print p ": " $0 } END { for (t in n) { c[n[t]]++; if (n[t] != "passed") l[n[t]] = l[n[t]] " " t }
      for (o in l) print p ": " (o == "not-run" ? "not run" : o) ":" l[o]; printf "%s: %d passed, %d failed, %d not run\n", p, c["passed"], c["failed"], c["not-run"]
      exit !c["passed"] || c["failed"] || c["not-run"] }'; exit; }
p=$1 b=build/$1 && shift && mkdir -p "$b"
run() {
  rm -f "$b/answer-limit-missed" "$b/Testing/Temporary/LastTest.log" && ctest --preset "$p" "$@" 2>&1 | tee "$b/ctest.log"
  { grep -h "window answered within" "$b/Testing/Temporary/LastTest.log" | sed 's/^/answered /'
    awk '/^[0-9]+% tests passed/ { print "totals", $0 } /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / {
      print / Passed +[0-9.]+ sec$/ ? "passed" : /Not Run|Skipped|Disabled/ ? "not-run" : "failed", $4 }' "$b/ctest.log"; } >>"$b/outcomes" 2>/dev/null; }
run "$@"
for _ in 2 3; do
  grep -q "stop time has been passed" "$b/ctest.log" && break  # past it, ctest would take the stop time for tomorrow's
  again=$(ctest --preset "$p" -N "$@" -LE host | sed -n 's/^ *Test *#[0-9]*: //p' | grep -xFf <(cut -d' ' -f1 "$b/answer-limit-missed" 2>/dev/null)) || break
  for t in $again; do grep -q "^retried $t " "$b/outcomes" || echo "retried $t (first failure: $(grep -m1 "^$t " "$b/answer-limit-missed" | cut -d' ' -f2-))"; done >>"$b/outcomes"
  run "$@" -LE host -R "^($(paste -sd'|' <<<"$again"))\$"
done
bash tests/tier.sh --count "$p" "$@" >/dev/null
