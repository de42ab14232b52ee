# Sourced by the test and demo scripts: a Wine prefix made for tests, an Xvfb
# display when there is none, and the Chinese locale.
#   KELVARA_WINE_DIR  where the prefix lives (default: build/wine)
# Exports WINEPREFIX, WINEDEBUG, LANG, DISPLAY; kelvara_wine_stop ends what
# was started here.

kelvara_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export LANG=zh_CN.UTF-8
export WINEPREFIX=${WINEPREFIX:-${KELVARA_WINE_DIR:-$kelvara_root/build/wine}}
export WINEARCH=win64
kelvara_xvfb_pid=

kelvara_wine_start() {
  if [ -z "${DISPLAY:-}" ] || [ "${KELVARA_XVFB:-}" = 1 ]; then
    local n
    for n in $(seq 90 130); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      kelvara_xvfb_pid=$!
      export DISPLAY=":$n"
      break
    done
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
  fi
  if [ ! -f "$WINEPREFIX/.kelvara-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Without a window manager Wine waits ~2 s whenever a window is shown or
    # hidden; unmanaged windows do not. A crash must fail a test, not wait
    # for a click. The dialogs' font is replaced by one that Debian ships.
    local reg="$WINEPREFIX/kelvara-test.reg"
    iconv -f utf-8 -t gbk > "$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"微软雅黑"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
REG
    wine regedit "$reg" >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.kelvara-ready"
  fi
  # Keep one server alive across the test programs, and start Wine's
  # background services now: started by the first test instead, they would
  # hold ctest's output pipe open and ctest would wait for ever.
  wineserver -p >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1
}

kelvara_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$kelvara_xvfb_pid" ]; then kill "$kelvara_xvfb_pid" 2>/dev/null || true; fi
}
