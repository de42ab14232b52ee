#!/usr/bin/env bash
# Benchmark: FetchUrlToFile under Wine against curl and against a bare
# InternetReadFile loop, all fetching the same 50449456-byte body from nginx on
# 127.0.0.1; then a 5 MB body to show that peak memory does not grow with size;
# then the CryptoAPI SHA-256 of the fetched body, against the fetch's time;
# then, from tests/win/fault_server.py, a body reset once at 45 MB, a body
# silent for 200 s at 20 MB, and a verified package fetched again by a pinned build; last, the
# whole old-installer route on a throttled line (the end-to-end scenario fetch_ahead_overlap).
# Usage: tools/bench/run_bench.sh   (builds the win64 preset first)
#   KELVARA_BENCH_BEFORE=EXE plays the route with an older build too, for its wall time.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
bash tools/install-deps.sh >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 >/dev/null
work=$(mktemp -d /tmp/kelvara-bench.XXXXXX)
export WINEPREFIX=$root/build/bench-wine DISPLAY=:94
. tests/wine-env.sh
trap 'kill $(cat "$work/nginx.pid" 2>/dev/null) $fault_pid 2>/dev/null || true; bash tests/wine-fixture.sh down; rm -rf "$work"' EXIT
fault_pid=
mkdir -p "$work/www"
head -c 50449456 /dev/urandom > "$work/www/big.bin"
head -c 5000000 /dev/urandom > "$work/www/small.bin"
port=18190
cat > "$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work; proxy_temp_path $work; fastcgi_temp_path $work;
  uwsgi_temp_path $work; scgi_temp_path $work;
  server { listen 127.0.0.1:$port; root $work/www; add_header Cache-Control no-store; }
}
CONF
/usr/sbin/nginx -c "$work/nginx.conf"
bash tests/wine-fixture.sh up >/dev/null
bench="$root/build/win64/tools/bench/fetch_bench.exe"
out_win="Z:$(echo "$work" | tr / '\\')"
run() { wine "$bench" "$1" "http://127.0.0.1:$port/$2?$RANDOM" "$out_win\\$1-$2" | tr -d '\r'; }
secs() { sed -E 's/.*seconds=([0-9.]+).*/\1/'; }
# Best of three runs each, so one slow start does not decide the ratio.
curl_s=$(for i in 1 2 3; do curl -s -o "$work/curl.bin" -w '%{time_total}\n' "http://127.0.0.1:$port/big.bin"; done | sort -g | head -1)
curl_rss=$( { /usr/bin/time -f '%M' curl -s -o "$work/curl.bin" "http://127.0.0.1:$port/big.bin"; } 2>&1 | tail -1)
raw=$(for i in 1 2 3; do run raw big.bin; done | sort -t= -k3 -g | head -1)
fetch=$(for i in 1 2 3; do run fetch big.bin; done | sort -t= -k3 -g | head -1)
fetch_small=$(run fetch small.bin)
hash=$(for i in 1 2 3; do wine "$bench" hash "$out_win\\fetch-big.bin" | tr -d '\r'; done | sort -t= -k3 -g | head -1)
[ "$(echo "$hash" | sed -E 's/.*result=([0-9a-f]+).*/\1/')" = "$(sha256sum "$work/www/big.bin" | cut -c1-64)" ] &&
  hash_same=yes || hash_same=no
cmp -s "$work/www/big.bin" "$work/fetch-big.bin" && same=yes || same=no
echo "curl:        seconds=$curl_s peak_rss_kib=$curl_rss"
echo "bare loop:   $raw"
echo "FetchUrlToFile 50449456 bytes: $fetch (file identical: $same)"
echo "FetchUrlToFile 5000000 bytes:  $fetch_small"
echo "SHA-256 (CryptoAPI) of the 50449456 bytes: $hash (same as sha256sum: $hash_same)"
f=$(echo "$fetch" | secs) r=$(echo "$raw" | secs) c=$curl_s h=$(echo "$hash" | secs)
python3 -c "print(f'ratios: FetchUrlToFile/bare loop = {$f/$r:.2f}, FetchUrlToFile/curl = {$f/max($c,0.001):.2f}')"
python3 -c "print(f'hash against fetch: {$h:.3f} s hashing, {$f:.3f} s fetching, hash/fetch = {$h/$f:.2f}')"

# Networks that misbehave. The server prints "sent N" per answer: the bytes the wizard received.
python3 tests/win/fault_server.py "$work/fault-port" "$work/fault.log" "$work/www" >>"$work/fault.out" 2>&1 &
fault_pid=$!
until [ -s "$work/fault-port" ]; do sleep 0.05; done
faulty() { wine "$bench" "$1" "http://127.0.0.1:$(cat "$work/fault-port")/big.bin?file=big.bin&$2&$RANDOM" "$out_win\\$3" "${@:4}" | tr -d '\r'; }
sent() { awk '/^sent/ { s += $2 } END { print s + 0 }' "$work/fault.out"; }
reset=$(faulty fetch reset=45000000 reset.bin) reset_sent=$(sent)
cmp -s "$work/www/big.bin" "$work/reset.bin" && same=yes || same=no
echo "reset once at 45000000 of 50449456 bytes: $reset (file identical: $same)"
python3 -c "print(f'  bytes received: $reset_sent in $(grep -c . "$work/fault.log") requests, {$reset_sent/50449456:.3f} x the package')"
stall=$(faulty fetch 'stall=20000000&silence_s=200' stall.bin)
cmp -s "$work/www/big.bin" "$work/stall.bin" && same=yes || same=no
echo "silent for 200 s at 20000000 bytes: $stall (file identical: $same)"
requests=$(grep -c . "$work/fault.log")
reuse=$(faulty pinned reuse reset.bin "$(sha256sum "$work/www/big.bin" | cut -c1-64)")
echo "verified package fetched again, pinned: $reuse; requests made: $(($(grep -c . "$work/fault.log") - requests))"

# The route: the package over about 8 s, the client at 100 kB/s, each installer 4 s. Its wall
# time (connectivity test answered to the end) against the sum of the downloads and the installs
# the support log times, and the bytes the servers sent against the files' sizes.
route() {
  env -u DISPLAY KELVARA_PRODUCT="$1" ctest --preset win64 -R '^e2e_fetch_ahead_overlap$' >"$work/route.out" 2>&1
  local r=build/win64/e2e/results/fetch_ahead_overlap
  tr -d '\r' <"$r/kelvara-setup.log" | awk '/ step \(0, 2\)/ { s = $1 } / quit: / { e = $1 } / (fetch|run) .* [0-9]+ ms$/ { sum += $(NF-1) }
    END { printf "wall %.1f s; downloads + installs %.1f s; wall / sum %.2f", (e - s) / 1000, sum / 1000, (e - s) / sum }'
  for h in public download; do awk -v h=$h '{ print h, $2, $(NF-1) }' "build/win64/e2e/logs/$h.log"; done | awk '
    { sent += $3; p = $2; sub("^/qorv/", "", p); if (!seen[$1 p]++) { f = "build/win64/e2e/www/current/" $1 "/" ($1 == "public" ? "qorv/" : "") p; ("stat -Lc %s " f) | getline n; size += n } }
    END { printf "; bytes sent %d for files of %d bytes: %.3f x\n", sent, size, sent / size }'
}
echo "old-installer route, throttled, this build: $(route "$root/build/win64/kelvara-setup.exe")"
[ -z "${KELVARA_BENCH_BEFORE:-}" ] || echo "the same, $KELVARA_BENCH_BEFORE: $(route "$KELVARA_BENCH_BEFORE")"
