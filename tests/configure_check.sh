#!/usr/bin/env bash
# A host value that cannot form an address must stop the configure step with
# a message; a host:port must pass. Usage: configure_check.sh SOURCE_DIR
set -u
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
try() {
  local expect=$1 value=$2 n=$((++count))
  cmake -S "$src" -B "$work/$n" -DKELVARA_TESTS=OFF -DKELVARA_INTRANET_HOST="$value" \
    -DKELVARA_PUBLIC_FILE_HOST=files.example.com -DKELVARA_DOWNLOAD_HOST=dl.example.com \
    >"$work/$n.log" 2>&1
  local rc=$?
  if [ "$expect" = reject ]; then
    if [ $rc = 0 ] || ! grep -q "KELVARA_INTRANET_HOST" "$work/$n.log"; then
      echo "FAIL: '$value' was accepted or rejected without naming the variable"
      failures=$((failures + 1))
    fi
  elif [ $rc != 0 ]; then
    echo "FAIL: '$value' was rejected"; tail -5 "$work/$n.log"
    failures=$((failures + 1))
  fi
}
count=0
for bad in "" "http://files.example.com" "files.example.com/qorv" "files example.com" \
           "files.example.com:" "http:" "-files"; do
  try reject "$bad"
done
for good in "files.example.com" "127.0.0.1:18080" "intranet"; do try accept "$good"; done
# A pinned-digests line that is malformed or names a file the wizard never
# runs stops it too, naming the line and its content.
zero=$(printf '%064d' 0)
for bad in "$zero ClientSetup.exe" "$zero  alive"; do
  n=$((++count))
  printf '%s  NetFx40.exe\n%s\n' "$zero" "$bad" >"$work/digests$n.txt"
  if cmake -S "$src" -B "$work/$n" -DKELVARA_TESTS=OFF -DKELVARA_INTRANET_HOST=a -DKELVARA_PUBLIC_FILE_HOST=b \
    -DKELVARA_DOWNLOAD_HOST=c -DKELVARA_DIGESTS="$work/digests$n.txt" >"$work/$n.log" 2>&1 ||
    ! grep -q "line 2:" "$work/$n.log" || ! grep -qF "$bad" "$work/$n.log"; then
    echo "FAIL: digests line '$bad' was accepted or not named"
    failures=$((failures + 1))
  fi
done
echo "$((count - failures)) passed, $failures failed"
[ $failures = 0 ]
