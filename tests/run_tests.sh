#!/usr/bin/env bash
# The test command: installs what it needs, builds every preset and runs
# every test tier. Exit status non-zero when anything fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzz_seconds=${KELVARA_FUZZ_SECONDS:-60}

bash tests/install-deps.sh || { echo "installing the dependencies failed"; exit 1; }

failed=()
step() {
  local name=$1
  shift
  echo "=== $name"
  if "$@"; then echo "=== $name: ok"; else echo "=== $name: FAILED"; failed+=("$name"); fi
}

mkdir -p build

step "native build" bash -c 'cmake --preset native >/dev/null && cmake --build --preset native -j2 >build/native-build.log 2>&1 || { tail -40 build/native-build.log; exit 1; }'
step "unit tests (host, ASan/UBSan)" ctest --preset native --no-tests=error
step "mirror-list fuzzer (${fuzz_seconds}s)" tests/fuzz/run_fuzz.sh build/fuzz "$fuzz_seconds"

step "win64 build" bash -c 'cmake --preset win64 >/dev/null && cmake --build --preset win64 -j2 >build/win64-build.log 2>&1 || { tail -40 build/win64-build.log; exit 1; }'
step "win32-xp build" bash -c 'cmake --preset win32-xp >/dev/null && cmake --build --preset win32-xp -j2 >build/win32-xp-build.log 2>&1 || { tail -40 build/win32-xp-build.log; exit 1; }'
step "release check (win32-xp)" ctest --preset win32-xp --no-tests=error -V

export KELVARA_WINE_DIR="$root/build/wine"
export KELVARA_XVFB=1
# shellcheck source=tests/wine-env.sh
source tests/wine-env.sh
kelvara_wine_start
trap kelvara_wine_stop EXIT
step "Windows adapter and end-to-end tests (Wine)" ctest --preset win64 --timeout 900 --no-tests=error

# What the end-to-end scenarios reported (ctest keeps it out of sight when they pass).
grep -hE "^(PASS|FAIL) |^worst status-line latency" build/win64/Testing/Temporary/LastTest.log 2>/dev/null

tiers=7
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  echo "$((tiers - ${#failed[@]})) passed, ${#failed[@]} failed"
  exit 1
fi
echo "$tiers passed, 0 failed"
