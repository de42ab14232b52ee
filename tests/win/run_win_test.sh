#!/usr/bin/env bash
# ctest wrapper for one Windows test program:
#   run_win_test.sh EMULATOR [--fault-server] PROGRAM [ARGS...]
# With --fault-server it starts fault_server.py on a free 127.0.0.1 port and
# passes the port (KELVARA_TEST_PORT) and the request log as a Windows path
# (KELVARA_TEST_SERVER_LOG) to the program.
set -u
emulator=$1
shift
with_server=0
if [ "${1:-}" = --fault-server ]; then
  with_server=1
  shift
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvara-wintest.XXXXXX")
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ $with_server = 1 ]; then
  # --lifetime and the server's parent watch end it even if this script is
  # killed before its trap runs.
  python3 "$here/fault_server.py" --port-file "$work/port" --log "$work/requests.log" \
    --lifetime 300 >"$work/server.out" 2>&1 &
  server_pid=$!
  for _ in $(seq 200); do
    [ -s "$work/port" ] && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -s "$work/port" ]; then
    echo "fault_server.py did not start:" >&2
    cat "$work/server.out" >&2
    exit 1
  fi
  export KELVARA_TEST_PORT=$(cat "$work/port")
  # Wine maps Z: to the Unix root.
  export KELVARA_TEST_SERVER_LOG="Z:${work//\//\\}\\requests.log"
  # WinInet under Wine takes a proxy from these; the test server is local.
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
fi

# The output goes through a file: Wine's service processes, started by the
# first program of a fresh wineserver, inherit its standard handles and
# would keep ctest's pipe open (ctest then waits for ever).
"$emulator" "$@" >"$work/output" 2>&1
status=$?
cat "$work/output"
if [ $status != 0 ] && [ $with_server = 1 ] && [ -s "$work/server.out" ]; then
  echo "--- fault server output ---"
  cat "$work/server.out"
fi
exit $status
