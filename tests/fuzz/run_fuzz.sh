#!/usr/bin/env bash
# Builds the mirror-list fuzzer with clang (when present) and runs it for a
# bounded time. Usage: run_fuzz.sh OUT_DIR [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:?out dir}
seconds=${2:-60}
if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: fuzzer skipped"
  exit 0
fi
mkdir -p "$out/corpus" "$out/generated"
# The mirror-list code links the whole fetch path; digests.cpp includes the build's pinned
# digests, here an empty table.
: >"$out/generated/kelvara_digests.inc"
src=$root/src
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I"$src" -I"$out/generated" \
  "$root/tests/fuzz/mirror_list_fuzz.cpp" "$src"/app/{settings,platform,log}.cpp \
  "$src"/fetch/{mirror_list,fetch,downloaders,transfer_progress}.cpp "$src/system/digests.cpp" \
  -DKELVARA_INTRANET_HOST='"127.0.0.1"' -DKELVARA_PUBLIC_FILE_HOST='"127.0.0.2"' \
  -DKELVARA_DOWNLOAD_HOST='"127.0.0.3"' -o "$out/mirror_list_fuzz"
printf 'A|||B|||C' > "$out/corpus/seed1"
printf 'http://a/x|||\r\nhttp://b/x\r\n\x1a' > "$out/corpus/seed2"
"$out/mirror_list_fuzz" -max_total_time="$seconds" -max_len=4096 "$out/corpus" 2>"$out/fuzz.log" \
  || { tail -40 "$out/fuzz.log"; exit 1; }
grep -E "^Done|stat::number_of_executed_units" "$out/fuzz.log" | tail -1
echo "fuzzer ran ${seconds}s without a crash"
