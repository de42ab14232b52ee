#!/usr/bin/env bash
# The release command, run from two clones of HEAD in two folders: the same unsigned program;
# signed with the build's test publisher certificate, both signatures verify, one changed byte
# is refused; the signed program is left in BUILD/release-signed for the scenario played with it
# under 32-bit Wine. Bad input (among it no pins or no signer, unless a gap is named): status 2,
# its message, no program. RELEASE.txt names each gap named, none else.   sign_check.sh BUILD
set -u
build=$1 src=$(cd "$(dirname "$0")/../.." && pwd) t=$(mktemp -d) failed=0
trap 'rm -rf "$t"' EXIT
fail() { echo "FAILED $*" && failed=1; }
hosts=(--intranet 127.0.0.1:18080 --public 127.0.0.2:18080 --download 127.0.0.3:18080)
echo throwaway >"$t/password" && echo wrong >"$t/wrong" && pki=$build/test-pki  # the build's own test PKI
openssl pkcs12 -export -inkey "$pki/pub.key" -in "$pki/pub.chain" -passout "file:$t/password" -out "$t/test.pfx"
release() { bash "$t/$1/tools/release.sh" "${hosts[@]}" --publisher "凯瓦拉 测试" "${@:2}" >"$t/$1.log" 2>&1; }
for clone in a b; do git clone -q "$src" "$t/$clone"; done
gaps=(--unpinned --unsigned-publisher) && printf '%064d  NetFx40.exe\n' 0 >"$t/digests.txt"
for row in "--intranet http://x ${gaps[*]}|KELVARA_INTRANET_HOST" "--unsigned-publisher|no --digests FILE" \
  "--unpinned|no --publisher-signer CN" "--pfx $t/test.pfx --password-file $t/wrong ${gaps[*]}|does not open" \
  "--digests $t/none --unsigned-publisher|no such readable file"; do
  # shellcheck disable=SC2086 # each row is a list of arguments, then what the refusal says
  release a ${row%|*} --out "$t/bad"
  s=$? && [ $s = 2 ] && [ ! -e "$t/bad/kelvara-setup.exe" ] && grep -q -- "${row#*|}" "$t/a.log" ||
    fail "${row%|*}: status $s, a program written or no '${row#*|}': $(cat "$t/a.log")"
done
for clone in a b; do release $clone "${gaps[@]}" --out "$t/$clone/out" || fail "release in $clone: $(tail -3 "$t/$clone.log")"; done
cmp "$t/a/out/kelvara-setup.exe" "$t/b/out/kelvara-setup.exe" || fail "two builds of one commit differ"
rm -rf "$build/release-signed"
release a "${gaps[@]}" --pfx "$t/test.pfx" --password-file "$t/password" --out "$build/release-signed" &&
  (cd "$build/release-signed" && sha256sum --quiet -c SHA256SUMS) || fail "signing, or its SHA256SUMS: $(tail -3 "$t/a.log")"
exe=$build/release-signed/kelvara-setup.exe
python3 -c "import sys; d = bytearray(open(sys.argv[1], 'rb').read()); named = 'CompanyName\0\0凯瓦拉 测试\0'.encode('utf-16le') in d
d[5000] ^= 1; open(sys.argv[2], 'wb').write(d); sys.exit(not named)" "$exe" "$t/changed.exe" || fail "the version resource does not name the publisher"
osslsigncode verify -CAfile "$pki/trusted.pem" -in "$exe" >"$t/verify.log" 2>&1 || fail "verify: $(tail -5 "$t/verify.log")"
[ "$(grep -o '^Message digest algorithm  : .*\|^Number of verified.*' "$t/verify.log" | tr '\n' '|')" = \
  "Message digest algorithm  : SHA1|Message digest algorithm  : SHA256|Number of verified signatures: 2|" ] ||
  fail "not a SHA-1 and a nested SHA-256 signature: $(cat "$t/verify.log")"
osslsigncode remove-signature -in "$exe" -out "$t/removed.exe" >/dev/null && cmp "$t/removed.exe" "$t/a/out/kelvara-setup.exe" ||
  fail "the signed program without its signatures is not the unsigned one"
osslsigncode verify -CAfile "$pki/trusted.pem" -in "$t/changed.exe" >/dev/null 2>&1 && fail "a changed byte still verifies"
release a --digests "$t/digests.txt" --publisher-signer "Kelvara Test Publisher" --out "$t/pinned" &&
  cmp "$t/digests.txt" "$t/pinned/digests.txt" && (cd "$t/pinned" && sha256sum --quiet -c SHA256SUMS) || fail "pinned: $(tail -3 "$t/a.log")"
[ "$(cat "$t"/{a/out,pinned}/RELEASE.txt | grep -o '^GAP ([a-z-]*)' | tr '\n' ' ')" = "GAP (--unpinned) GAP (--unsigned-publisher) " ] ||
  fail "RELEASE.txt names other gaps than the two of a/out: $(cat "$t"/{a/out,pinned}/RELEASE.txt)"
exit $failed
