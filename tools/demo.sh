#!/usr/bin/env bash
# The demo: the wizard, built for loopback hosts, runs end to end under Wine
# against a local server tree of harmless stand-in components (nginx on
# 127.0.0.1-3). Windows 7 with nothing installed: every component is
# "installed" by a stand-in, then the stand-in client installer is opened.
#   With DISPLAY set, the wizard shows on that display and you click it.
#   Without one, it runs on Xvfb, clicked by the test driver, and screenshots
#   are saved under build/demo/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
bash tests/install-deps.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target kelvara-setup e2e_driver e2e_standin e2e_status_hook

BUILD=$ROOT/build/win64
HERE=$ROOT/tests/e2e
STANDIN=$BUILD/tests/e2e/e2e_standin.exe
WORK=$ROOT/build/demo
WWW=$WORK/www FILES=$WORK/files LOGS=$WORK/logs
rm -rf "$WWW" "$LOGS" "$WORK/nginx" "$WORK"/*.png
mkdir -p "$WWW" "$FILES" "$LOGS" "$WORK/nginx/temp"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
unset WINEPREFIX
export KELVARA_WINE_DIR=$WORK/wine
interactive=0
[ -n "${DISPLAY:-}" ] && interactive=1
# shellcheck source=../tests/wine-env.sh
source "$ROOT/tests/wine-env.sh"
fail() { echo "demo: $*" >&2; }
NGINX_PID= WATCHDOG_PID=
cleanup() {
  [ -n "$WATCHDOG_PID" ] && { pkill -P "$WATCHDOG_PID" 2>/dev/null; kill "$WATCHDOG_PID" 2>/dev/null; }
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null
  kelvara_wine_stop
}
trap cleanup EXIT
# shellcheck source=../tests/e2e/e2e_lib.sh
source "$HERE/e2e_lib.sh"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

make_files
make_tree demo
kelvara_wine_start
start_nginx
TEMP_UNIX=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r\n')" 2>/dev/null)
TEMP_UNIX=${TEMP_UNIX%/}
prepare_prefix win7 none 0
WIC_SLEEP=1500 NETFX_SLEEP=1500 write_standin_config

if [ "$interactive" = 1 ]; then
  echo "The wizard is on $DISPLAY: press 开始 and follow it."
  wine "$BUILD/kelvara-setup.exe" </dev/null >/dev/null 2>&1 || true
else
  echo "No display: the driver clicks the wizard on Xvfb $DISPLAY."
  wine "$BUILD/tests/e2e/e2e_driver.exe" --exe "$(winpath "$BUILD/kelvara-setup.exe")" \
    --out "$(winpath "$WORK")" --hook "$(winpath "$BUILD/tests/e2e/e2e_status_hook.dll")" \
    --shot-on "正在安装Windows图像组件" >"$WORK/driver.log" 2>&1 || true
  for bmp in "$WORK"/*.bmp; do
    [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
echo "--- status lines the wizard showed"
cut -f2- "$WORK/events.txt" 2>/dev/null || true
echo "--- what ran (stand-ins' record)"
tr -d '\r' <"$E2E_C/record.log" 2>/dev/null || echo "(nothing)"
echo "--- requests the servers saw"
for host in public intranet download; do sed "s/^/$host: /" "$LOGS/$host.log"; done
ls "$WORK"/*.png 2>/dev/null | sed 's/^/screenshot: /' || true
