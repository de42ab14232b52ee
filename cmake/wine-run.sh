#!/usr/bin/env bash
# Runs a Windows test program under Wine for ctest. The prefix, display and
# locale come from the environment that tests/run_tests.sh prepares; a bare
# run still works with a private prefix.
set -u
export WINEDEBUG=${WINEDEBUG:--all}
export LANG=${KELVARA_WINE_LANG:-zh_CN.UTF-8}
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=${TMPDIR:-/tmp}/kelvara-wine-$(id -u)
fi
exec wine "$@"
