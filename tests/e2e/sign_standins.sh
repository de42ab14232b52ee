#!/usr/bin/env bash
# The stand-ins the scenarios serve, signed with SHA-1 (as Windows XP needs) by the test PKI:
# standin and unrar.dll (the hook library: signed, but no program) by the publisher; -ms
# (Microsoft under the trusted root), -ms-other, -ms-untrusted, -unsigned, -changed (one body
# byte changed after signing), -tampered (a byte appended), the .NET package padded before
# signing to its exact size, and a short one.   sign_standins.sh PKI STANDIN HOOK OUT
set -eu
pki=$1 out=$4
rm -rf "$out" && mkdir -p "$out" && cd "$out"  # osslsigncode overwrites nothing
sign() { osslsigncode sign -certs "$pki/$1.chain" -key "$pki/$1.key" -h sha1 -time 1700000000 -in "$2" -out "$3" >/dev/null; }
cp "$2" standin-unsigned.exe && truncate -s %8 standin-unsigned.exe
for c in ms ms-other ms-untrusted; do sign $c standin-unsigned.exe standin-$c.exe; done
sign pub standin-unsigned.exe standin.exe && sign pub "$3" unrar.dll
cp standin.exe standin-tampered.exe && printf x >>standin-tampered.exe
python3 -c "import sys; d = bytearray(open(sys.argv[1], 'rb').read()); d[1100] ^= 1; open(sys.argv[2], 'wb').write(d)" \
  standin-ms.exe standin-changed.exe
size=50449456 grown=$(($(stat -c %s standin-ms.exe) - $(stat -c %s standin-unsigned.exe)))
cp standin-unsigned.exe padded.exe && truncate -s $((size - grown)) padded.exe
sign ms padded.exe NetFx40.exe && rm padded.exe
[ "$(stat -c %s NetFx40.exe)" = $size ] || { echo "the signed .NET stand-in is not $size bytes" >&2 && exit 1; }
cp NetFx40.exe NetFx40-short.exe && truncate -s 50448432 NetFx40-short.exe
