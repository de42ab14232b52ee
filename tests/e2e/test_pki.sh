#!/usr/bin/env bash
# A throwaway PKI, made once per build folder: roots "trusted" (the build
# accepts it), "other" (the machine trusts it, the build does not) and
# "untrusted" (in no store); code-signing certificates "pub" and "ms" under
# trusted, "ms-other" and "ms-untrusted" under the other two. Prints trusted's
# SHA-1 thumbprint.   test_pki.sh DIR
set -eu
d=$1
if [ ! -s "$d/done" ]; then
  rm -rf "$d" && mkdir -p "$d" && cd "$d"
  for r in trusted other untrusted; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout $r.key -out $r.pem -days 3650 -subj "/CN=Kelvara $r root" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
    openssl x509 -in $r.pem -outform der -out $r.der
  done
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >leaf.ext
  for l in "pub trusted Kelvara Test Publisher" "ms trusted" "ms-other other" "ms-untrusted untrusted"; do
    set -- $l && cn=${*:3} && cn=${cn:-Microsoft Corporation}
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -subj "/CN=$cn" 2>/dev/null |
      openssl x509 -req -CA "$2.pem" -CAkey "$2.key" -set_serial "0x$(openssl rand -hex 8)" -days 3650 \
        -extfile leaf.ext -out "$1.pem" 2>/dev/null
    cat "$1.pem" "$2.pem" >"$1.chain"
  done
  openssl x509 -in trusted.pem -noout -fingerprint -sha1 | sed 's/.*=//; s/://g' | tr A-F a-f >done
fi
cat "$d/done"
