#!/usr/bin/env bash
# A release in one command: the win32-xp program built for the operator's
# hosts with the programs it runs pinned (--digests), the release check, with
# --pfx two signatures (SHA-1, which Windows XP and Vista verify, and a nested
# SHA-256 for Windows 7 and later), written to DIR with RELEASE.txt and its
# SHA256SUMS. --publisher-signer (and --publisher-roots) name who must have
# signed the probes, the setup wizard, unrar.dll and the client. A release
# without pins or without that signer is refused unless the operator names the
# gap (--unpinned, --unsigned-publisher); RELEASE.txt then says so. One commit gives the same
# unsigned program in any folder at any time: the link time stamp is the
# commit's time. Bad input stops it with status 2 before anything is built or
# written to DIR.
set -euo pipefail
usage="usage: bash tools/release.sh --intranet HOST --public HOST --download HOST (--digests FILE | --unpinned)
       (--publisher-signer CN [--publisher-roots SHA1;...] | --unsigned-publisher)
       [--pfx FILE --password-file FILE [--timestamp URL]] [--publisher NAME] [--client-quiet-args ARGS] --out DIR"
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
    --unpinned | --unsigned-publisher) opt[${1#--}]=1 && shift ;;
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
# A release pins what it runs and names who signs the publisher's programs, unless the operator
# names the gap: a forgotten option must not ship a wizard that runs whatever a server hands it.
for pair in digests:unpinned publisher-signer:unsigned-publisher; do
  [ -z "${opt[${pair%:*}]:-}" ] || [ -z "${opt[${pair#*:}]+set}" ] || bad "--${pair%:*} and --${pair#*:} contradict each other"
done
[ -n "${opt[digests]+set}${opt[unpinned]+set}" ] || bad "no --digests FILE: a release pins the programs it runs \
(kelvara-servercheck --write-digests writes the file); --unpinned releases a wizard that runs them unpinned"
[ -n "${opt[publisher-signer]:-}${opt[unsigned-publisher]+set}" ] || bad "no --publisher-signer CN: a release names \
who must have signed the probes, the setup wizard, unrar.dll and the client; --unsigned-publisher releases a wizard \
that runs them with no signature check"
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
files=(kelvara-setup.exe RELEASE.txt)
[ -n "${opt[digests]+set}" ] && cp "${opt[digests]}" "$stage/digests.txt" && files+=(digests.txt)
# What the program holds, and each gap the operator named.
notes=("kelvara-setup.exe, commit $commit, for ${opt[intranet]}, ${opt[public]}, ${opt[download]}")
if [ -n "${opt[unpinned]+set}" ]; then
  notes+=("GAP (--unpinned): no SHA-256 pinned; the wizard runs the programs the servers serve")
else notes+=("pinned: the SHA-256 of digests.txt"); fi
if [ -n "${opt[unsigned-publisher]+set}" ]; then
  notes+=("GAP (--unsigned-publisher): the probes, the setup wizard, unrar.dll and the client run with no signature check")
else notes+=("the probes, the setup wizard, unrar.dll and the client must be signed by ${opt[publisher-signer]}"); fi
printf '%s\n' "${notes[@]}" >"$stage/RELEASE.txt"
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS)
for f in "${files[@]}" SHA256SUMS; do mv -f "$stage/$f" "$out/$f"; done
echo "release: commit $commit, $(tail -1 "$work/check.log" | cut -d'(' -f1)"
echo "release: $out/kelvara-setup.exe, $([ -n "${opt[pfx]+set}" ] && echo "signed (SHA-1, nested SHA-256)" || echo unsigned)"
printf 'release: WARNING: %s\n' "${notes[@]}" | grep GAP >&2 || true
cat "$out/SHA256SUMS"
