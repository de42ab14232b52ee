#!/usr/bin/env bash
# The configure step stops, naming the variable and the fault, on a host that cannot form an
# address, on a pinned-digests line that is malformed or names a file the wizard never runs, and
# on malformed signers or root thumbprints; good values pass. Usage: configure_check.sh SOURCE_DIR
set -u
work=$(mktemp -d) failures=0 count=0 zero=$(printf '%064d' 0)
trap 'rm -rf "$work"' EXIT
# try accept|reject TEXT_THE_MESSAGE_NAMES HOST [DIGESTS_LINE [-DVAR=VALUE...]]
try() {
  local n=$((++count))
  printf '%s  NetFx40.exe\n%s\n' "$zero" "${5:-}" >"$work/$n.txt"
  if cmake -S "$1" -B "$work/$n" -DKELVARA_TESTS=OFF -DKELVARA_INTRANET_HOST="$4" -DKELVARA_PUBLIC_FILE_HOST=b \
    -DKELVARA_DOWNLOAD_HOST=c -DKELVARA_DIGESTS="$work/$n.txt" "${@:6}" >"$work/$n.log" 2>&1; then [ "$2" = accept ]
  else [ "$2" = reject ] && grep -qF "$3" "$work/$n.log"; fi ||
    { echo "FAIL: '$4' '${5:-}' should be $2ed${3:+, naming $3}"; failures=$((failures + 1)); }
}
for bad in "" "http://files.example.com" "files.example.com/qorv" "files example.com" \
  "files.example.com:" "http:" "-files"; do try "$1" reject KELVARA_INTRANET_HOST "$bad"; done
for good in files.example.com 127.0.0.1:18080 intranet; do try "$1" accept "" "$good"; done
for bad in "$zero ClientSetup.exe" "$zero  alive"; do try "$1" reject "line 2:" a "$bad"; done
t=$(printf '%040d' 7) && p=-DKELVARA_PUBLISHER_SIGNER=P
for bad in "-DKELVARA_MICROSOFT_ROOTS=${t}0" "-DKELVARA_MICROSOFT_ROOTS=$t;" "-DKELVARA_MICROSOFT_SIGNER=" \
  "-DKELVARA_PUBLISHER_ROOTS=$t" "$p -DKELVARA_PUBLISHER_ROOTS=${t}g"; do b=${bad##*-D} && try "$1" reject "${b%%=*}" a "" $bad; done
try "$1" accept "" a "" $p "-DKELVARA_PUBLISHER_ROOTS=$t;${t//7/A}"
echo "$((count - failures)) passed, $failures failed"
[ $failures = 0 ]
