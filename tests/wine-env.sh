# Sourced by every script that drives Wine. A prefix is driven by the loader of its own kind, never
# by Debian's "wine" script: that one execs the 32-bit loader whenever wine32 is installed, and on
# a host that runs no 32-bit code every call, 64-bit prefixes included, would then fail.
if [ "${KELVARA_WINE_KIND:-win64}" = winxp ]; then
  WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
else
  WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
fi
export WINEARCH WINELOADER WINESERVER=/usr/lib/wine/wineserver64
wine() { "$WINELOADER" "$@"; }
wineserver() { "$WINESERVER" "$@"; }
wineboot() { "$WINELOADER" wineboot "$@"; }
winepath() { "$WINELOADER" winepath "$@"; }
# A time limit is scaled by how much slower than a native one the machine running the tier is.
scaled() { awk -v v="$1" -v s="${KELVARA_TIME_SCALE:-1}" 'BEGIN { printf "%d", v * s }'; }
