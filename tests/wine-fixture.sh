#!/usr/bin/env bash
# ctest fixture: "up" makes the prefix named by the test preset (again when
# the Wine install changed), starts Xvfb on the preset's display and keeps a
# wineserver alive; "down" ends them. Both detach from ctest's output pipe,
# which a background process would otherwise hold open.
set -u
here=$(cd "$(dirname "$0")" && pwd)
kind=${KELVARA_WINE_KIND:-win64}
pidfile=${WINEPREFIX:?}.xvfb.pid
if [ "$1" = down ]; then
  wineserver -k >/dev/null 2>&1
  [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
  rm -f "$pidfile"
  exit 0
fi
if [ ! -e "/tmp/.X11-unix/X${DISPLAY#:}" ]; then
  # Ends by itself after an hour should the cleanup never run.
  setsid timeout 3600 Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  echo $! >"$pidfile"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
fi
saved_display=$DISPLAY
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
export DISPLAY=$saved_display KELVARA_XVFB=0
kelvara_wine_start "$kind" </dev/null >/dev/null 2>&1
wine cmd /c ver </dev/null 2>/dev/null | tr -d '\r' | grep .
