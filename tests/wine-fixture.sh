#!/usr/bin/env bash
# The Wine test bed (a ctest fixture; the demo's and benchmark's too), prefix $WINEPREFIX of
# $KELVARA_WINE_KIND win64 (default) or winxp (32-bit, set to Windows XP):
#   up    makes the prefix (again whenever the Wine install changed), starts Xvfb on $DISPLAY
#         unless that display exists, keeps a wineserver alive; down  ends them
#   reg FILE  imports a .reg file (ASCII, or UTF-16LE with a BOM) into the view the prefix's
#         own programs read; a key written [-KEY] there is deleted, subkeys and all
# Background processes are cut off from the caller's output, which ctest would wait on.
set -u
export WINEDEBUG=${WINEDEBUG:--all} LANG=zh_CN.UTF-8
. "$(dirname "$0")/wine-env.sh"
pidfile=${WINEPREFIX:?}.xvfb.pid
reg() {  # "wine reg" alone would write the WOW6432Node view, which 64-bit programs never read
  local f view=() && f=$(readlink -f "$1") && [ "$WINEARCH" = win64 ] && view=(/reg:64)
  wine reg import "Z:${f//\//\\}" "${view[@]}"
}
case $1 in
  reg) reg "$2"; exit ;;
  # Kept between two runs of one tier when asked (one wineserver for the tier).
  down) [ -n "${KELVARA_WINE_KEEP:-}" ] && exit 0; wineserver -k >/dev/null 2>&1; [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null; rm -f "$pidfile"; exit 0 ;;
esac
if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  rm -f "/tmp/.X${DISPLAY#:}-lock" "/tmp/.X11-unix/X${DISPLAY#:}"  # left by a display killed
  setsid timeout 3600 Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 & echo $! >"$pidfile"
  for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
fi
# A 64-bit prefix made before wine32 was installed fails ("could not load kernel32.dll"): a
# prefix records what made it and is remade when that changes.
stamp="$WINEARCH $(wine --version 2>&1) $(dpkg-query -W -f='${Package}:${Architecture} ${Version} ${Status} ' wine32:i386 wine64 2>&1)"
if [ "$(cat "$WINEPREFIX/.kelvara-ready" 2>/dev/null)" != "$stamp" ]; then
  wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX" && wineboot -i </dev/null >/dev/null 2>&1 && wineserver -w
  # Without a window manager Wine waits ~2 s whenever a window is shown or hidden; unmanaged
  # windows do not. A crash must fail a test, not wait for a click. The dialogs' font is replaced
  # by one Debian ships. "reg import" reads REGEDIT4 as Latin-1 whatever the locale: UTF-16 it is.
  { printf '\xff\xfe' && printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
    '"Managed"="N"' '' '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' '"微软雅黑"="WenQuanYi Micro Hei"' '"Microsoft YaHei"="WenQuanYi Micro Hei"' |
    iconv -f utf-8 -t utf-16le; } >"$WINEPREFIX/kelvara.reg"
  reg "$WINEPREFIX/kelvara.reg" >/dev/null 2>&1
  [ "$WINEARCH" = win32 ] && wine winecfg -v winxp </dev/null >/dev/null 2>&1
  wineserver -w && echo "$stamp" >"$WINEPREFIX/.kelvara-ready"
fi
# One server for all the test programs, and Wine's services started now: started by a test
# instead, they would hold its output pipe open.
wineserver -p >/dev/null 2>&1; wineboot </dev/null >/dev/null 2>&1
ver=$(wine cmd /c ver </dev/null 2>/dev/null | tr -d '\r' | grep .) && echo "$ver"
[ "$WINEARCH" = win64 ] || [[ $ver == *5.1.2600* ]]
