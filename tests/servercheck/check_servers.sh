#!/usr/bin/env bash
# kelvara-servercheck against nginx on 127.0.0.1-3 over a generated tree: the clean tree passes
# and its digests round-trip; each planted fault gives its ✘ row and status 1; bad input gives
# status 2. Programs are signed by the build's test PKI. Usage: check_servers.sh PROGRAM PKI
set -u
check=$(realpath "$1") port=18490 spare=18491 stall=18492 failures=0 count=0 pids=
src=$(cd "$(dirname "$0")/../.." && pwd) work=$(mktemp -d /tmp/kelvara-servercheck.XXXXXX)
trap 'bash "$src/tests/e2e/nginx-fixture.sh" down "$work/fx"; kill $pids 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" && pkg=download/download/vumel/qorv/NetFx40.exe
mirrors() { local IFS='#'; local list="$*"; for t in public intranet; do printf '%s' "${list//#/|||}" >www/$t/qorv/MirrorList.txt; done; }
make_tree() {
  for t in public intranet; do
    mkdir -p www/$t/qorv && printf ok >www/$t/qorv/alive && cp s/unrar.dll www/$t/qorv/
    for f in ImagingProbe InstallerProbe SetupWizard ClientSetup; do cp s/standin.exe www/$t/qorv/$f.exe; done
    for f in wic_x86_chs WindowsInstaller; do cp s/standin-ms.exe www/$t/qorv/$f.exe; done
  done
  mkdir -p www/${pkg%/*} www/download/m1 www/download/m2
  for f in $pkg m1/NetFx40.exe m2/NetFx40.exe; do ln s/NetFx40.exe www/download/${f#download/}; done
  mirrors " http://127.0.0.3:$port/m1/NetFx40.exe " $'\r\nhttp://127.0.0.3:'$port/m2/NetFx40.exe
}
layout() {  # a layout of the public tree, as /layout makes it
  rm -rf lay && mkdir lay && cp www/public/qorv/{*.exe,unrar.dll} www/$pkg lay/ && cp s/standin.exe lay/kelvara-setup.exe &&
    (cd lay && sha256sum -- [!k]* >kelvara-layout.txt)
}
# Misbehaving servers: the fault server (a lying Content-Length), one that accepts no request.
python3 "$src/tests/win/fault_server.py" fault-port fault.log "$work" >/dev/null 2>&1 & pids=$!
timeout 300 python3 -c 'import socket, sys, time
s = socket.create_server(("127.0.0.1", int(sys.argv[1]))); open("listens", "w").close(); time.sleep(300)' $stall & pids+=" $!"
until [ -s fault-port ] && [ -e listens ]; do sleep 0.05; done
{ printf MZ && head -c 1000 /dev/zero; } >lie.exe
# The end-to-end tests' nginx on ports of its own, over this tree.
mkdir -p fx/e2e/www && ln -s "$work/www" fx/e2e/www/current &&
  KELVARA_NGINX_PORT=$port bash "$src/tests/e2e/nginx-fixture.sh" up "$work/fx" || exit 1

# Stand-ins signed by the test PKI, and one whose CN merely begins with the expected one.
echo 'int main(void) { return 0; }' | x86_64-w64-mingw32-gcc -x c - -o standin.exe && root=$(bash "$src/tests/e2e/test_pki.sh" "$2") &&
  bash "$src/tests/e2e/sign_standins.sh" "$2" "$work/standin.exe" "$work/standin.exe" "$work/s" &&
  openssl req -newkey rsa:2048 -nodes -keyout ltd.key -subj "/CN=Microsoft Corporation Ltd" 2>/dev/null | openssl x509 -req -CA "$2/trusted.pem" \
    -CAkey "$2/trusted.key" -set_serial 7 -days 9 -extfile "$2/leaf.ext" -out ltd.pem 2>/dev/null && cat ltd.pem "$2/trusted.pem" >ltd.chain &&
  osslsigncode sign -certs ltd.chain -key ltd.key -h sha1 -in s/standin-unsigned.exe -out s/standin-ltd.exe >/dev/null || exit 1
hosts="--intranet 127.0.0.1:$port --public 127.0.0.2:$port --download 127.0.0.3:$port"
printf '%064d  ClientSetup.exe\n' 0 >zero.txt && printf 'xyz  ClientSetup.exe\n' >malformed.txt
# name | setup | exit status | text the output must hold | more arguments
cases=(
  "clean, digests written" : 0 "✔ default .NET address: 200, 50449456 bytes, signed by Microsoft Corporation, root $root" "--write-digests $work/digests.txt"
  "clean, digests checked" : 0 '{"ok": true, "passed": 24, "failed": 0' "--digests $work/digests.txt --json"
  "missing file" "rm www/public/qorv/unrar.dll" 1 "d404.txt not written" "--write-digests $work/d404.txt"
  "alive 404" "rm www/intranet/qorv/alive" 1 "✘ intranet alive: HTTP 404" ""
  "not a program" "printf XX >www/public/qorv/ClientSetup.exe" 1 '"MZ": not a Windows program' ""
  "wrong-size package" "ln -f s/NetFx40-short.exe www/$pkg" 1 "✘ default .NET address: 200, 50448432 bytes, not 50449456" ""
  "lying Content-Length" "mirrors 'http://127.0.0.1:$(cat fault-port)/NetFx40.exe?file=lie.exe&cl=50449456'" 1 "Content-Length 50449456, but the connection closed after 1002 bytes" ""
  "no ranges" "mkdir www/download/norange && truncate -s 50449456 www/download/norange/NetFx40.exe && mirrors http://127.0.0.3:$port/norange/NetFx40.exe" 1 "NetFx40.exe ranges: Range: bytes=0-0 answered 200, no Content-Range" ""
  "dead mirror" "mirrors http://127.0.0.3:$port/m1/NetFx40.exe http://127.0.0.1:$spare/NetFx40.exe" 1 "✘ mirror http://127.0.0.1:$spare/NetFx40.exe: no answer" ""
  "404 mirror list" "rm www/public/qorv/MirrorList.txt" 1 "✘ 1 of 24 checks failed" ""
  "20-entry list" "mirrors \$(yes http://127.0.0.3:$port/m1/NetFx40.exe | head -20)" 0 "✔ all 22 checks" ""
  "21-entry list" "mirrors \$(yes http://127.0.0.3:$port/m1/NetFx40.exe | head -21)" 1 "21 entries, more than 20" ""
  "empty entry" "mirrors http://127.0.0.3:$port/m1/NetFx40.exe ' '" 1 "empty entries: 2" ""
  "stalled server" : 1 "✘ default .NET address: no answer within 2 s" "--download 127.0.0.1:$stall --timeout 2"
  "unsigned" "cp s/standin-unsigned.exe www/public/qorv/SetupWizard.exe" 1 "MZ, unsigned; the wizard refuses it: no signature" ""
  "CN beyond the signer's" "cp s/standin-ltd.exe www/intranet/qorv/wic_x86_chs.exe" 1 "the wizard refuses it: signed by someone else (Microsoft Corporation Ltd)" ""
  "publisher for Microsoft" "cp s/standin.exe www/public/qorv/WindowsInstaller.exe" 1 "the wizard refuses it: signed by someone else (Kelvara Test Publisher)" ""
  "root not accepted" "cp s/standin-ms-other.exe www/public/qorv/wic_x86_chs.exe" 1 "the wizard refuses it: root not accepted (" ""
  "changed after signing" "cp s/standin-changed.exe www/public/qorv/WindowsInstaller.exe" 1 "the wizard refuses it: the file does not match its signature" ""
  "layout" layout 0 "✔ all 10 checks passed" "--layout lay"
  "damaged layout" "layout && printf x >>lay/unrar.dll" 1 "✘ layout unrar.dll: 200, 117601 bytes" "--layout lay"
  "digest mismatch" : 1 "is not the pinned 0000" "--digests zero.txt"
  "unknown option" : 2 "unknown option '--bogus'" "--bogus"
  "zero time-out" : 2 "--timeout '0' is not" "--timeout 0"
  "unreadable digests" : 2 "cannot read the digests file" "--digests $work/none.txt"
  "malformed digests" : 2 "malformed.txt, line 1: expected" "--digests malformed.txt"
)
for ((i = 0; i < ${#cases[@]}; i += 5)); do
  name=${cases[i]} count=$((count + 1))
  rm -rf www && make_tree && eval "${cases[i + 1]}"
  # shellcheck disable=SC2086
  timeout 120 "$check" $hosts ${cases[i + 4]} >out 2>&1
  rc=$? && if [ $rc = "${cases[i + 2]}" ] && grep -qF -- "${cases[i + 3]}" out; then echo "PASS $name"; else
    echo "FAIL $name (exit status $rc)"; cat out; failures=$((failures + 1)); fi
done
# The written digests are the files' own, and the build takes them.
count=$((count + 1)) && ln -s ../../$pkg www/public/qorv/NetFx40.exe
(cd www/public/qorv && sha256sum -c --quiet "$work/digests.txt") && [ "$(wc -l <digests.txt)" = 8 ] &&
  cmake -S "$src" -B cfg -DKELVARA_TESTS=OFF -DKELVARA_DIGESTS="$work/digests.txt" -DKELVARA_INTRANET_HOST=a \
    -DKELVARA_PUBLIC_FILE_HOST=b -DKELVARA_DOWNLOAD_HOST=c >cfg.log 2>&1 && [ "$(wc -l <cfg/generated/kelvara_digests.inc)" = 8 ] ||
  { echo "FAIL digests"; cat digests.txt; tail -5 cfg.log; failures=$((failures + 1)); }
echo "$((count - failures)) passed, $failures failed"
[ $failures = 0 ]
