# Sourced by the test and demo scripts: Wine prefixes made for tests, an Xvfb
# display when there is none, and the Chinese locale.
#   kelvara_wine_start [win64|winxp]  makes the prefix (again whenever the Wine
#     install changed), exports WINEPREFIX, WINEARCH and DISPLAY for it and
#     starts its wineserver. win64 (default): 64-bit, at KELVARA_WINE_DIR
#     (default build/wine). winxp: 32-bit, set to Windows XP (ver 5.1.2600), at
#     KELVARA_WINE_XP_DIR (default: the win64 path + "-xp").
#   kelvara_wine_reg_import FILE  imports a .reg file (ASCII, or UTF-16LE with
#     a BOM) into the view the prefix's own programs read.
#   kelvara_wine_stop  ends the wineservers and the Xvfb started here.
# Sourcing alone exports WINEPREFIX (the win64 one), WINEARCH, WINEDEBUG, LANG.

kelvara_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export LANG=zh_CN.UTF-8
kelvara_wine64_dir=${WINEPREFIX:-${KELVARA_WINE_DIR:-$kelvara_root/build/wine}}
kelvara_winexp_dir=${KELVARA_WINE_XP_DIR:-$kelvara_wine64_dir-xp}
export WINEPREFIX=$kelvara_wine64_dir
export WINEARCH=win64
kelvara_xvfb_pid=
kelvara_wine_prefixes=()

# What a prefix is made with: a 64-bit prefix made before wine32 was installed
# fails with "could not load kernel32.dll", so a change remakes the prefix.
kelvara_wine_stamp() {
  echo "$WINEARCH $(wine --version)"
  dpkg-query -W -f='${Package}:${Architecture} ${Version} ${Status}\n' wine32:i386 wine64 2>&1
}

kelvara_wine_reg_import() {
  # With wine32 installed, "wine reg" is the 32-bit program: in a 64-bit prefix
  # it writes the WOW6432Node view, which 64-bit programs never read.
  local f view=()
  f=$(readlink -f "$1")
  if [ "$WINEARCH" = win64 ]; then view=(/reg:64); fi
  wine reg import "Z:${f//\//\\}" "${view[@]}"
}

kelvara_wine_start() {
  case ${1:-win64} in
    win64) export WINEPREFIX=$kelvara_wine64_dir WINEARCH=win64 ;;
    winxp) export WINEPREFIX=$kelvara_winexp_dir WINEARCH=win32 ;;
    *) echo "kelvara_wine_start: win64 or winxp, not $1" >&2 && return 1 ;;
  esac
  if [ -z "$kelvara_xvfb_pid" ] && { [ -z "${DISPLAY:-}" ] || [ "${KELVARA_XVFB:-}" = 1 ]; }; then
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
  local stamp
  stamp=$(kelvara_wine_stamp)
  if [ -f "$WINEPREFIX/.kelvara-ready" ] && [ "$(cat "$WINEPREFIX/.kelvara-ready")" != "$stamp" ]; then
    wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/.kelvara-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Without a window manager Wine waits ~2 s whenever a window is shown or
    # hidden; unmanaged windows do not. A crash must fail a test, not wait
    # for a click. The dialogs' font is replaced by one that Debian ships.
    # "reg import" reads a REGEDIT4 file as Latin-1 whatever the locale
    # (measured), so the file is UTF-16LE with a BOM.
    local reg="$WINEPREFIX/kelvara-test.reg"
    { printf '\xff\xfe' && sed 's/$/\r/' | iconv -f utf-8 -t utf-16le; } >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"微软雅黑"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
REG
    kelvara_wine_reg_import "$reg" >/dev/null 2>&1
    if [ "$WINEARCH" = win32 ]; then
      wine winecfg -v winxp >/dev/null 2>&1
      wineserver -w
      if ! wine cmd /c ver 2>/dev/null | grep -q ' 5\.1\.2600'; then
        echo "kelvara_wine_start: $WINEPREFIX does not report Windows XP" >&2
        return 1
      fi
    fi
    wineserver -w
    echo "$stamp" >"$WINEPREFIX/.kelvara-ready"
  fi
  # Keep one server alive across the test programs, and start Wine's
  # background services now: started by the first test instead, they would
  # hold ctest's output pipe open and ctest would wait for ever.
  wineserver -p >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1
  kelvara_wine_prefixes+=("$WINEPREFIX")
}

kelvara_wine_stop() {
  local p
  for p in "$WINEPREFIX" "${kelvara_wine_prefixes[@]}"; do
    WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true
  done
  if [ -n "$kelvara_xvfb_pid" ]; then kill "$kelvara_xvfb_pid" 2>/dev/null || true; fi
}
