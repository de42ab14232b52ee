#!/usr/bin/env bash
# ctest wrapper: run_win_test.sh PROGRAM ARGS... runs PROGRAM under wine in a scratch folder
# KV_WORK, fault_server.py started first (port KV_PORT); output goes through
# a file: Wine's services inherit the standard handles, and would keep ctest's pipe open.
set -u
. "$(dirname "$0")/../wine-env.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvara-wintest.XXXXXX")
trap 'tr -d "\r" <"$work/output"; kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
win() { echo "Z:${1//\//\\}"; }  # Wine maps Z: to the Unix root
python3 "$(dirname "$0")/fault_server.py" "$work/port" "$work/requests.log" >"$work/server" 2>&1 &
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
export KV_WORK=$(win "$work") KV_PORT=$(cat "$work/port")
# Run from the scratch folder: in the emulated machine the build folder is a 9p
# share, whose reads of an image this large came back with zeros past 512 KiB.
cp "$1" "$work/" && program=$work/$(basename "$1") && shift
wine "$program" "$@" >"$work/output" 2>&1
