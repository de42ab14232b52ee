#!/usr/bin/env bash
# End-to-end run of the real wizard under Wine + Xvfb against three loopback
# nginx servers (the hosts baked into the win64 build).
#   run_e2e.sh BUILD_DIR [SCENARIO...]
# BUILD_DIR is a win64 build with KELVARA_TESTS=ON; with no scenario names
# every scenario runs. Prints one PASS/FAIL line per scenario and finally
# "N passed, M failed"; exits non-zero on any failure. Artifacts (driver
# records, access logs, screenshots) go to BUILD_DIR/e2e.
#   KELVARA_WINE_DIR  the Wine prefix (default BUILD_DIR/e2e-wine)
#   KELVARA_E2E_POLL=1  read status lines by polling instead of the hook
#                       (short-lived lines are then missed)
set -u

if [ $# -lt 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUILD_DIR [SCENARIO...]" >&2
  exit 64
fi
BUILD=$(cd "$1" && pwd)
shift
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)

PRODUCT=$BUILD/kelvara-setup.exe
DRIVER=$BUILD/tests/e2e/e2e_driver.exe
STANDIN=$BUILD/tests/e2e/e2e_standin.exe
HOOK=$BUILD/tests/e2e/e2e_status_hook.dll
for f in "$PRODUCT" "$DRIVER" "$STANDIN" "$HOOK"; do
  if [ ! -f "$f" ]; then
    echo "missing $f: build the win64 preset with -DKELVARA_TESTS=ON first" >&2
    exit 1
  fi
done

# The servers below stand in for the hosts baked into the program.
for pair in KELVARA_INTRANET_HOST=127.0.0.1:18080 KELVARA_PUBLIC_FILE_HOST=127.0.0.2:18080 \
  KELVARA_DOWNLOAD_HOST=127.0.0.3:18080; do
  if ! grep -q "^${pair%%=*}:STRING=${pair#*=}\$" "$BUILD/CMakeCache.txt" 2>/dev/null; then
    echo "$BUILD was not configured with ${pair} (use the win64 preset)" >&2
    exit 1
  fi
done

WORK=$BUILD/e2e
WWW=$WORK/www
FILES=$WORK/files
LOGS=$WORK/logs
RESULTS=$WORK/results
rm -rf "$WWW" "$LOGS" "$RESULTS" "$WORK/nginx"
mkdir -p "$WWW" "$FILES" "$LOGS" "$RESULTS" "$WORK/nginx/temp"

# The WinInet client would follow a proxy from the environment.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
unset WINEPREFIX
export KELVARA_WINE_DIR=${KELVARA_WINE_DIR:-$BUILD/e2e-wine}
# A display of its own: screenshots see only the wizard, and no window
# shows up on a developer's desktop.
export KELVARA_XVFB=${KELVARA_XVFB:-1}
# shellcheck source-path=SCRIPTDIR source=../wine-env.sh
source "$ROOT/tests/wine-env.sh"

NGINX_PID=
WATCHDOG_PID=
cleanup() {
  if [ -n "$WATCHDOG_PID" ]; then
    pkill -P "$WATCHDOG_PID" 2>/dev/null
    kill "$WATCHDOG_PID" 2>/dev/null
  fi
  if [ -n "$NGINX_PID" ]; then
    kill "$NGINX_PID" 2>/dev/null
    wait "$NGINX_PID" 2>/dev/null
  fi
  kelvara_wine_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# shellcheck source-path=SCRIPTDIR source=e2e_lib.sh
source "$HERE/e2e_lib.sh"
make_files

# ---------------------------------------------------------------- checks
SCENARIO=
OUT=
FAILS=()
PASSED=0
FAILED=0
WORST_LATENCY=0
WORST_LATENCY_IN=

fail() { FAILS+=("$*"); }
fact() { sed -n "s/^$1=//p" "$OUT/result.txt" 2>/dev/null | tr -d '\r'; }

# Compares a produced file with the expected text on stdin.
#   same WHAT ACTUAL_FILE < expected
same() {
  local what=$1 actual=$2 expected=$OUT/expected-$1.txt
  cat >"$expected"
  if ! diff -u "$expected" "$actual" >"$OUT/diff-$what.txt" 2>&1; then
    fail "$what differs:"$'\n'"$(sed 's/^/      /' "$OUT/diff-$what.txt")"
  fi
}

line() { printf 'LINE\t    %s\n' "$1"; }
box() { printf 'LINE\t    %s\nBOX\t%s\n' "$1" "$1"; }

# Requests one host saw, without the byte counts.
requests() { sed 's/ [0-9-]*$//' "$LOGS/$1.log"; }

check_requests() {
  local host=$1
  requests "$host" >"$OUT/requests-$host.txt"
  same "requests-$host" "$OUT/requests-$host.txt"
}

# The stand-ins' record, with the temp directory written as %TEMP%\.
records() {
  local file=$E2E_C/record.log
  [ -f "$file" ] || return 0
  # Through the environment: awk -v would read the backslashes as escapes.
  tr -d '\r' <"$file" | T="$TEMP_WIN" awk '{ t = ENVIRON["T"]; while ((i = index($0, t)) > 0) $0 = substr($0, 1, i - 1) "%TEMP%\\" substr($0, i + length(t)); print }'
}

check_records() {
  records >"$OUT/records.txt"
  same records "$OUT/records.txt"
}

# Programs started by the wizard may still be running (the client, an
# installer left behind by Cancel): wait until every start has its end.
wait_standins() {
  local limit=${1:-20} starts ends
  for _ in $(seq $((limit * 10))); do
    starts=$(records | grep -c $'\tstart\t')
    ends=$(records | grep -c $'\tend\t')
    [ "$starts" = "$ends" ] && return 0
    sleep 0.1
  done
  fail "a stand-in did not finish within ${limit}s"
}

# An access log gets its line when the connection ends.
wait_log_lines() {
  local host=$1 count=$2
  for _ in $(seq 50); do
    [ "$(wc -l <"$LOGS/$host.log")" -ge "$count" ] && return 0
    sleep 0.1
  done
}

# winedbg reports a crash on the wizard's stderr, Wine itself on the
# driver's; either way the debugger must not be left running.
check_no_crash() {
  local log
  for log in "$OUT/product-output.log" "$OUT/driver.log"; do
    if grep -qiE 'unhandled exception|unhandled page fault|backtrace:' "$log" 2>/dev/null; then
      fail "the wizard crashed: $(grep -m2 -iE 'unhandled|backtrace' "$log")"
    fi
  done
  local p
  for p in /proc/[0-9]*; do
    if tr '\0' ' ' 2>/dev/null <"$p/cmdline" | grep -qi winedbg &&
      tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      fail "winedbg is running (pid ${p#/proc/})"
    fi
  done
}

check_common() {
  [ "$(fact exit)" = 0 ] || fail "wizard exit code $(fact exit), expected 0"
  [ -z "$(fact error)" ] || fail "driver: $(fact error)"
  [ "$(fact temp)" = "$TEMP_WIN" ] || fail "the wizard's %TEMP% is '$(fact temp)', not '$TEMP_WIN'"
  [ "$(fact welcome_caption)" = "Kelvara自动安装向导" ] || fail "welcome caption '$(fact welcome_caption)'"
  [ "$(fact welcome_ok)" = "开始" ] || fail "welcome IDOK text '$(fact welcome_ok)'"
  [ "$(fact welcome_cancel)" = "取消" ] || fail "welcome IDCANCEL text '$(fact welcome_cancel)'"
  check_no_crash
}

check_progress_window() {
  [ "$(fact progress_caption)" = "Kelvara自动安装向导" ] || fail "progress caption '$(fact progress_caption)'"
  [ "$(fact welcome_hidden_at_progress)" = 1 ] || fail "the welcome dialog is still shown with the progress dialog"
}

# Every box: the program's name as caption, one OK button, owned by the
# progress dialog.
check_boxes() {
  local n=$1 i
  [ "$(fact boxes)" = "$n" ] || fail "$(fact boxes) message boxes, expected $n"
  for i in $(seq "$n"); do
    [ "$(fact "box${i}_caption")" = kelvara-setup ] || fail "box $i caption '$(fact "box${i}_caption")'"
    [ "$(fact "box${i}_buttons")" = 1 ] || fail "box $i has $(fact "box${i}_buttons") buttons"
    case "$(fact "box${i}_button_id")" in 1 | 2) ;; *) fail "box $i button id $(fact "box${i}_button_id")" ;; esac
    [ "$(fact "box${i}_owner_is_progress")" = 1 ] || fail "box $i is not owned by the progress dialog"
  done
}

# "At once": the process is gone within a second of the key or click.
check_quick_exit() {
  local ms
  ms=$(fact exit_after_action_ms)
  if [ -z "$ms" ] || [ "$ms" -ge 1000 ]; then
    fail "the program took ${ms:-?} ms to end after $1"
  fi
}

check_halted() {
  [ "$(fact halt_alive)" = 1 ] || fail "the window did not stay after the halting box"
  [ "$(fact halt_cancel_enabled)" = 1 ] || fail "Cancel was not enabled after the halting box"
}

# A screenshot the driver was asked for (converted to PNG by end()).
expect_shot() {
  [ -s "$OUT/$1.bmp" ] || fail "no screenshot $1"
}

# Runs the driver for the current scenario.
#   drive [DRIVER OPTIONS...] [-- WIZARD ARGS...]
drive() {
  local how=()
  [ "${KELVARA_E2E_POLL:-0}" = 1 ] && how=(--no-hook)
  timeout 300 wine "$DRIVER" --exe "$(winpath "$PRODUCT")" --out "$(winpath "$OUT")" \
    --hook "$(winpath "$HOOK")" --latency "${how[@]}" "$@" >"$OUT/driver.log" 2>&1
  local rc=$?
  [ $rc = 0 ] || fail "driver exit code $rc"
  [ -f "$OUT/events.txt" ] || : >"$OUT/events.txt"
}

begin() {
  SCENARIO=$1
  OUT=$RESULTS/$1
  FAILS=()
  mkdir -p "$OUT"
  make_tree "$1"
  unset WIC_INSTALL MSI_INSTALL NETFX_INSTALL WIC_SLEEP NETFX_SLEEP
}

end() {
  cp "$LOGS"/*.log "$OUT/" 2>/dev/null
  records >"$OUT/records.txt"
  local bmp
  for bmp in "$OUT"/*.bmp; do
    [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
  local extra='' worst
  worst=$(fact latency_worst_ms)
  if [ -n "$worst" ]; then
    extra=" (status line answered within $worst ms, $(fact latency_failures) timeouts; lines from $(fact status_source))"
    if awk -v a="$worst" -v b="$WORST_LATENCY" 'BEGIN { exit !(a > b) }'; then
      WORST_LATENCY=$worst
      WORST_LATENCY_IN=$SCENARIO
    fi
  fi
  if [ ${#FAILS[@]} -eq 0 ]; then
    PASSED=$((PASSED + 1))
    echo "PASS $SCENARIO$extra"
  else
    FAILED=$((FAILED + 1))
    echo "FAIL $SCENARIO$extra"
    local f
    for f in "${FAILS[@]}"; do echo "    - $f"; done
  fi
}

# The scenarios: each a scenario_NAME function.
# shellcheck source-path=SCRIPTDIR source=scenarios.sh
source "$HERE/scenarios.sh"

# ---------------------------------------------------------------- main

kelvara_wine_start
start_nginx
# The wizard's %TEMP%, as Windows and as this side see it.
TEMP_WIN=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r\n')
TEMP_WIN=${TEMP_WIN%\\}\\
TEMP_UNIX=$(winepath -u "$TEMP_WIN" 2>/dev/null)
TEMP_UNIX=${TEMP_UNIX%/}
if [ ${#TEMP_WIN} -le 3 ] || [ ! -d "$TEMP_UNIX" ]; then
  echo "cannot find the Wine %TEMP% ('$TEMP_WIN', '$TEMP_UNIX')" >&2
  exit 1
fi

selected=("$@")
[ ${#selected[@]} -eq 0 ] && selected=("${SCENARIOS[@]}")
for s in "${selected[@]}"; do
  if ! declare -F "scenario_$s" >/dev/null; then
    echo "unknown scenario $s (known: ${SCENARIOS[*]})" >&2
    exit 64
  fi
  "scenario_$s"
done
[ -n "$WORST_LATENCY_IN" ] && echo "worst status-line latency: $WORST_LATENCY ms ($WORST_LATENCY_IN)"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
