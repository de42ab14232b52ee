#!/usr/bin/env bash
# A release in one command: the win32-xp program built for the operator's
# hosts (and pinned digests), the release check, with --pfx two signatures
# (SHA-1, which Windows XP and Vista verify, and a nested SHA-256 for Windows 7
# and later), written to DIR with its SHA256SUMS. --publisher-signer (and
# --publisher-roots) name who must have signed the probes, the setup wizard,
# unrar.dll and the client; without it they run unchecked, and it warns. One commit gives the same
# unsigned program in any folder at any time: the link time stamp is the
# commit's time. Bad input stops it with status 2 before anything is built or
# written to DIR.
set -euo pipefail
usage="usage: bash tools/release.sh --intranet HOST --public HOST --download HOST [--digests FILE]
       [--pfx FILE --password-file FILE [--timestamp URL]] [--publisher NAME] [--client-quiet-args ARGS]
       [--publisher-signer CN [--publisher-roots SHA1;...]] --out DIR"
bad() {
  echo "release: $*" >&2
  exit 2
}
declare -A opt=()
while [ $# -gt 0 ]; do
  case $1 in
    --intranet | --public | --download | --digests | --pfx | --password-file | --timestamp | --publisher | --client-quiet-args | --out | --publisher-signer | --publisher-roots)
      [ $# -ge 2 ] || bad "$1 needs a value"
      opt[${1#--}]=$2 && shift 2 ;;
    *) bad "unknown argument '$1'"$'\n'"$usage" ;;
  esac
done
for o in intranet public download out; do [ -n "${opt[$o]+set}" ] || bad "--$o is missing"$'\n'"$usage"; done
for o in digests pfx password-file; do
  [ -n "${opt[$o]+set}" ] || continue
  [ -f "${opt[$o]}" ] && [ -r "${opt[$o]}" ] || bad "--$o '${opt[$o]}': no such readable file"
  opt[$o]=$(readlink -f "${opt[$o]}")
done
[ "${opt[pfx]+set}" = "${opt[password-file]+set}" ] || bad "--pfx and --password-file go together"
[ -z "${opt[timestamp]+set}" ] || [ -n "${opt[pfx]+set}" ] || bad "--timestamp needs --pfx"
out=$(realpath -m -- "${opt[out]}")
[ ! -e "$out" ] || [ -d "$out" ] || bad "--out '$out' is not a folder"

cd "$(dirname "$0")/.."
bash tools/install-deps.sh >&2
if [ -n "${opt[pfx]+set}" ]; then
  # Checked before the build; OpenSSL 3 opens older (RC2) files only as legacy.
  for legacy in "" -legacy; do
    openssl pkcs12 $legacy -in "${opt[pfx]}" -passin "file:${opt[password-file]}" -noout 2>/dev/null && break
    [ -n "$legacy" ] && bad "--pfx '${opt[pfx]}' does not open with the password in '${opt[password-file]}'"
  done
fi
commit=$(git rev-parse --short HEAD 2>/dev/null) && SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) ||
  { commit="(no git checkout)" && : "${SOURCE_DATE_EPOCH:?set SOURCE_DATE_EPOCH outside a git checkout}"; }
export SOURCE_DATE_EPOCH
[ -z "$(git status --porcelain --untracked-files=no 2>/dev/null)" ] ||
  echo "release: WARNING: the working tree has changes, so this program is not commit $commit's" >&2

work=$(mktemp -d)
stage=
trap 'rm -rf "$work" ${stage:+"$stage"}' EXIT
build=build/release
[ -n "${opt[publisher-signer]:-}" ] || [ -z "${opt[publisher-roots]:-}" ] || bad "--publisher-roots needs --publisher-signer"
[ -n "${opt[publisher-signer]:-}" ] ||
  echo "release: WARNING: no --publisher-signer: the probes, the setup wizard, unrar.dll and the client run with no signature check" >&2
publisher=(-UKELVARA_PUBLISHER)
[ -n "${opt[publisher]+set}" ] && publisher=("-DKELVARA_PUBLISHER=${opt[publisher]}")
# The configure step refuses a host that cannot form an address, a malformed
# digests file or signer, naming what is wrong. The Microsoft signer and roots
# are the build's defaults, never a test PKI's.
cmake --preset win32-xp -B "$build" -DKELVARA_TESTS=OFF -DKELVARA_INTRANET_HOST="${opt[intranet]}" \
  -DKELVARA_PUBLIC_FILE_HOST="${opt[public]}" -DKELVARA_DOWNLOAD_HOST="${opt[download]}" \
  -DKELVARA_DIGESTS="${opt[digests]:-}" "${publisher[@]}" -DKELVARA_TEST_PKI=OFF -UKELVARA_MICROSOFT_\* \
  -DKELVARA_PUBLISHER_SIGNER="${opt[publisher-signer]:-}" -DKELVARA_PUBLISHER_ROOTS="${opt[publisher-roots]:-}" \
  -DKELVARA_CLIENT_QUIET_ARGS="${opt[client-quiet-args]:-}" >"$work/configure.log" 2>&1 ||
  bad "$(sed -n '/^CMake Error/,/^Call Stack/{/^Call Stack/!p}' "$work/configure.log")"
cmake --build "$build" --target kelvara-setup -j "$(nproc)" >"$work/build.log" 2>&1 ||
  { tail -40 "$work/build.log" >&2 && echo "release: the build failed" >&2 && exit 1; }
python3 tests/release/release_check.py "$build/kelvara-setup.exe" >"$work/check.log" ||
  { cat "$work/check.log" >&2 && echo "release: the release check failed" >&2 && exit 1; }
cp "$build/kelvara-setup.exe" "$work/unsigned.exe"
exe=$work/unsigned.exe
if [ -n "${opt[pfx]+set}" ]; then
  stamp=() && [ -n "${opt[timestamp]+set}" ] && stamp=(-ts "${opt[timestamp]}")
  sign() {
    osslsigncode sign -pkcs12 "${opt[pfx]}" -readpass "${opt[password-file]}" -n "Kelvara自动安装向导" \
      "${stamp[@]}" "$@" >>"$work/sign.log" 2>&1
  }
  sign -h sha1 -in "$exe" -out "$work/sha1.exe" && sign -nest -h sha256 -in "$work/sha1.exe" -out "$work/signed.exe" ||
    { cat "$work/sign.log" >&2 && echo "release: signing failed" >&2 && exit 1; }
  exe=$work/signed.exe
fi

# Staged beside DIR's files and moved in whole, so DIR never holds half a program.
mkdir -p "$out"
stage=$(mktemp -d "$out/.release.XXXXXX")
cp "$exe" "$stage/kelvara-setup.exe"
files=(kelvara-setup.exe)
[ -n "${opt[digests]+set}" ] && cp "${opt[digests]}" "$stage/digests.txt" && files+=(digests.txt)
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS)
for f in "${files[@]}" SHA256SUMS; do mv -f "$stage/$f" "$out/$f"; done
echo "release: commit $commit, $(tail -1 "$work/check.log" | cut -d'(' -f1)"
echo "release: $out/kelvara-setup.exe, $([ -n "${opt[pfx]+set}" ] && echo "signed (SHA-1, nested SHA-256)" || echo unsigned)"
cat "$out/SHA256SUMS"
