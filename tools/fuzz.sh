#!/usr/bin/env bash
# Builds the parsers' fuzz targets (the fuzz preset) and runs each for SECONDS (default 60),
# or for N inputs with --runs N. What they find stays under build/fuzz/: corpus/<target>/
# (inputs that reached new code) and crashes/<target>/ (inputs that broke a promise).
set -euo pipefail
cd "$(dirname "$0")/.."
limit="-max_total_time=${1:-60}"
[ "${1:-}" = --runs ] && limit="-runs=$2"
cmake --preset fuzz >build/fuzz-configure.log 2>&1 && cmake --build --preset fuzz >build/fuzz-build.log 2>&1 ||
  { tail -40 build/fuzz-configure.log build/fuzz-build.log; exit 1; }
# Seeds: the strings of the unit tables and the server check's test, escapes read as written.
seeds=build/fuzz/seeds && rm -rf "$seeds" && mkdir -p "$seeds"
grep -ho '"[^"]*"' tests/unit/unit_test.cpp tests/servercheck/check_servers.sh | sort -u |
  while IFS= read -r s; do
    s=${s:1:-1} && [[ $s =~ ^[0-9]+-[0-9]+/[0-9]+$ ]] && s="bytes $s"  # a Content-Range row's value
    printf '%b' "$s" >"$seeds/$(printf %s "$s" | md5sum | cut -c1-16)"
  done
for s in "$seeds"/*; do cat "$s" && printf '\0'; done >build/fuzz/all && mv build/fuzz/all "$seeds"  # as arguments
# The Authenticode reader's: a tiny PE32+ and PE32, unsigned and signed by a throwaway PKI (SHA-1
# with its root, a nested SHA-256 under another; SHA-256 without its root).
pe=build/fuzz/seeds-pe pki=$PWD/build/fuzz/pki && rm -rf "$pe" && mkdir -p "$pe"
bash tests/e2e/test_pki.sh "$pki" >/dev/null
sign() { osslsigncode sign -certs "$pki/$1" -key "$pki/${1%.*}.key" "${@:2}" >/dev/null; }
for cc in x86_64-w64-mingw32-gcc i686-w64-mingw32-gcc; do
  echo 'void mainCRTStartup(void) {}' | $cc -x c - -nostdlib -s -o "$pe/$cc.exe" && p=$pe/$cc
  sign pub.chain -h sha1 -in "$p.exe" -out "$p-sha1" && sign ms-other.chain -nest -h sha256 -in "$p-sha1" -out "$p-nested"
  sign ms.pem -h sha256 -in "$p.exe" -out "$p-sha256"
done
broke=0
for target in build/fuzz/tests/fuzz/fuzz_*; do
  name=${target##*/fuzz_} && mkdir -p "build/fuzz/corpus/$name" "build/fuzz/crashes/$name"
  "$target" "$limit" -artifact_prefix="build/fuzz/crashes/$name/" -print_final_stats=1 \
    "build/fuzz/corpus/$name" "$seeds" $([ "$name" = authenticode ] && echo "$pe") >"build/fuzz/$name.log" 2>&1 ||
    { grep -v '^ *#' "build/fuzz/$name.log" | tail -12; echo "fuzz_$name broke a promise: build/fuzz/crashes/$name/"; broke=1; continue; }
  echo "fuzz_$name: $(grep -ao 'Done [0-9]* runs in [0-9]* second' "build/fuzz/$name.log"), corpus $(ls "build/fuzz/corpus/$name" | wc -l)"
done
exit $broke
