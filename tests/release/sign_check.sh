#!/usr/bin/env bash
# The release command, run from two clones of HEAD in two folders: the same unsigned program;
# signed with the build's test publisher certificate, both signatures verify, one changed byte
# is refused; the signed program is left in BUILD/release-signed for the scenario played with it
# under 32-bit Wine. Bad input: status 2, no program.   sign_check.sh BUILD
set -u
build=$1 src=$(cd "$(dirname "$0")/../.." && pwd) t=$(mktemp -d) failed=0
trap 'rm -rf "$t"' EXIT
fail() { echo "FAILED $*" && failed=1; }
hosts=(--intranet 127.0.0.1:18080 --public 127.0.0.2:18080 --download 127.0.0.3:18080)
echo throwaway >"$t/password" && echo wrong >"$t/wrong" && pki=$build/test-pki  # the build's own test PKI
openssl pkcs12 -export -inkey "$pki/pub.key" -in "$pki/pub.chain" -passout "file:$t/password" -out "$t/test.pfx"
release() { bash "$t/$1/tools/release.sh" "${hosts[@]}" --publisher "凯瓦拉 测试" "${@:2}" >"$t/$1.log" 2>&1; }
for clone in a b; do git clone -q "$src" "$t/$clone"; done
for bad in "--intranet http://x" "--pfx $t/test.pfx --password-file $t/wrong" "--digests $t/none"; do
  # shellcheck disable=SC2086 # each row is a list of arguments
  release a $bad --out "$t/bad"
  s=$? && [ $s = 2 ] && [ ! -e "$t/bad/kelvara-setup.exe" ] || fail "$bad: status $s, or a program written"
done
for clone in a b; do release $clone --out "$t/$clone/out" || fail "release in $clone: $(tail -3 "$t/$clone.log")"; done
cmp "$t/a/out/kelvara-setup.exe" "$t/b/out/kelvara-setup.exe" || fail "two builds of one commit differ"
rm -rf "$build/release-signed"
release a --pfx "$t/test.pfx" --password-file "$t/password" --out "$build/release-signed" ||
  fail "signing: $(tail -3 "$t/a.log")"
(cd "$build/release-signed" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not hold the program's digest"
exe=$build/release-signed/kelvara-setup.exe
python3 -c "import sys; sys.exit('CompanyName\0\0凯瓦拉 测试\0'.encode('utf-16le') not in open(sys.argv[1], 'rb').read())" "$exe" ||
  fail "the version resource does not name the publisher"
osslsigncode verify -CAfile "$pki/trusted.pem" -in "$exe" >"$t/verify.log" 2>&1 || fail "verify: $(tail -5 "$t/verify.log")"
[ "$(grep -o '^Message digest algorithm  : .*\|^Number of verified.*' "$t/verify.log" | tr '\n' '|')" = \
  "Message digest algorithm  : SHA1|Message digest algorithm  : SHA256|Number of verified signatures: 2|" ] ||
  fail "not a SHA-1 and a nested SHA-256 signature: $(cat "$t/verify.log")"
osslsigncode remove-signature -in "$exe" -out "$t/removed.exe" >/dev/null && cmp "$t/removed.exe" "$t/a/out/kelvara-setup.exe" ||
  fail "the signed program without its signatures is not the unsigned one"
python3 -c "import sys; d = bytearray(open(sys.argv[1], 'rb').read()); d[5000] ^= 1; open(sys.argv[2], 'wb').write(d)" \
  "$exe" "$t/changed.exe"
osslsigncode verify -CAfile "$pki/trusted.pem" -in "$t/changed.exe" >/dev/null 2>&1 && fail "a changed byte still verifies"
exit $failed
