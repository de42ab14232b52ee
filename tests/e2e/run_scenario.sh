#!/usr/bin/env bash
# Plays one scenario of scenarios.txt: serves its files, prepares the Wine prefix, lets the driver
# click the wizard through, then compares what was shown, requested and run with the scenario.
set -u
build=$1 name=$2 here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine-env.sh"
work=$build/e2e out=$build/e2e/results/$2 bin=$build/tests/e2e
winpath() { printf 'Z:%s' "${1//\//\\}"; }
scenario() { awk -v n="$1" '$1 == n && !/^ / { on = 1; next } /^[^ ]/ { on = 0 } on' "$here/scenarios.txt"; }
field() { tr ";" "\n" <<<"$block" | sed -n "s/^ *$1 \+//p" | head -1; }
block='' like=$name  # its own fields, then those of the scenario it is like, and so on
while [ -n "$like" ]; do more=$(scenario "$like") && block+=$'\n'$more && like=$(block=$more field like); done
declare -A text && while read -r code t; do text[$code]=$t; done < <(grep -v '^#' "$here/../texts.txt")
given=" $(field given) " failures=() late=
has() { [[ $given == *" $1 "* ]]; }
setting() { grep -o " $1=[^ ]*" <<<"$given" | cut -d= -f2-; }
fail() { failures+=("$*"); }
rm -rf "$out" && mkdir -p "$out"

# "fault": the loopback fault server, FAULT in an address, for bodies that break off.
if has fault; then
  rm -f "$out/fault-port" && python3 "$here/../win/fault_server.py" "$out/fault-port" "$out/fault.log" "$work/files" >/dev/null 2>&1 &
  fault_pid=$! && trap 'kill $fault_pid 2>/dev/null' EXIT
  for _ in $(seq 100); do [ -s "$out/fault-port" ] && break; sleep 0.05; done
fi
# The served tree: every file in place (HOST/PATH=FILE|@TEXT), then the scenario's changes.
tree=$work/www/$name && rm -rf "$tree"
served=({ImagingProbe,InstallerProbe,SetupWizard,ClientSetup}.exe=standin.exe {wic_x86_chs,WindowsInstaller}.exe=standin-ms.exe
  alive=alive unrar.dll=unrar.dll MirrorList.txt=@http://127.0.0.3:18080/mirror/NetFx40.exe)
for change in "${served[@]/#/intranet/qorv/}" "${served[@]/#/public/qorv/}" \
  download/{download/vumel/qorv,mirror,slow,nolength}/NetFx40.exe=NetFx40.exe $(grep -o 'serve:[^ ]*' <<<"$given"); do
  change=${change#serve:} && change=${change//FAULT/127.0.0.1:$(cat "$out/fault-port" 2>/dev/null)}
  path=$tree/${change%%=*} value=${change#*=} && mkdir -p "${path%/*}" && rm -f "$path"
  case $value in -) ;; @*) echo -n "${value#@}" >"$path" ;; *) ln -s "$work/files/$value" "$path" ;; esac
done
for f in stall slowclient; do has $f && touch "$tree/public/$f"; done
# C:\kelvara-layout: "layout" fills it with the served files and their manifest, "tamper=FILE" then
# changes that one; otherwise it is left empty, for /layout to fill.
lay=$WINEPREFIX/drive_c/kelvara-layout && rm -rf "$lay" && mkdir -p "$lay"
has layout && cp -L "$tree"/public/qorv/{{ImagingProbe,wic_x86_chs,InstallerProbe,WindowsInstaller,SetupWizard,ClientSetup}.exe,unrar.dll} \
  "$tree/download/mirror/NetFx40.exe" "$lay/" && (cd "$lay" && sha256sum -- * >kelvara-layout.txt) &&
  { [ -z "$(setting tamper)" ] || printf x >>"$lay/$(setting tamper)"; }
layout_before=$(cd "$lay" && sha256sum -- * 2>/dev/null)
ln -sfn "$tree" "$work/www/current" && cd "$here" && truncate -s 0 "$work"/logs/{intranet,public,download}.log || exit 1

# The prefix: Windows version, .NET entries, stand-in settings, a clean %TEMP%.
# %TEMP% as the driver sets it, or the prefix's, asked of Wine once per prefix: emulated, a Wine start takes seconds.
temp_win=$(grep -o ' temp=[^ ]*' <<<" $(field drive) " | cut -d= -f2-) tc=$WINEPREFIX/.kelvara-temp
if [ -n "$temp_win" ]; then temp_unix=$(winepath -u "$temp_win\\" 2>/dev/null) && temp_unix=${temp_unix%/}; else
  [ -s "$tc" ] || { t=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r\n') && u=$(winepath -u "$t\\" 2>/dev/null) && printf '%s\n%s\n' "$t" "${u%/}" >"$tc"; }
  temp_win=$(sed -n 1p "$tc") temp_unix=$(sed -n 2p "$tc"); fi
run_parent=$WINEPREFIX/drive_c/windows/temp && rm -rf "$run_parent"/KelvaraSetup-*  # where the run folders are made
ndp='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\NET Framework Setup\NDP'
{
  printf 'REGEDIT4\n\n[-%s]\n\n' "${ndp%\\NDP}"  # what an earlier scenario left, deleted in the same Wine start
  windows=$(setting windows) && windows=${windows:-win7} && [ "${KELVARA_WINE_KIND:-}" = winxp ] && windows=${windows#*/}
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\kelvara-setup.exe]\n"Version"="%s"\n\n' "${windows%/*}"
  case $(setting net4) in v4.0) keys=('v4.0\Client') ;; v4) keys=('v4\Client' 'v4\Full') ;; esac
  [ "$(setting net2)" = 1 ] && keys+=(v2.0.50727)
  for k in "${keys[@]}"; do printf '[%s\\%s]\n"Install"=dword:00000001\n\n' "$ndp" "$k"; done
  # The test roots as the user's Root store keeps them (a serialised certificate, property 32).
  for r in trusted other; do python3 -c 'import hashlib, struct, sys; d = open(sys.argv[1], "rb").read()
print("[HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]" % hashlib.sha1(d).hexdigest().upper())
print("\"Blob\"=hex:" + ",".join("%02x" % b for b in struct.pack("<III", 32, 1, len(d)) + d) + "\n")' "$build/test-pki/$r.der"; done
} >"$out/scenario.reg"
bash "$here/../wine-fixture.sh" reg "$out/scenario.reg" >/dev/null 2>&1 || fail "registry import failed"
c=$WINEPREFIX/drive_c/kelvara-e2e && rm -rf "$c" "$temp_unix"/{alive_tmp,*.exe,unrar.dll,MirrorList.txt,kelvara-setup.log} && mkdir -p "$c" && : >"$c/record.log"
find "$WINEPREFIX/drive_c/users" -maxdepth 6 -type d -name INetCache -exec rm -rf {} + 2>/dev/null
has nolog && mkdir "$temp_unix/kelvara-setup.log"
# A sparse 3 GB log, its newest 1.1 MB in lines: only the tail may be read.
has biglog && printf '\xEF\xBB\xBF' >"$temp_unix/kelvara-setup.log" && truncate -s 3G "$temp_unix/kelvara-setup.log" &&
  yes $'an older line\r' | head -n 80000 >>"$temp_unix/kelvara-setup.log"
declare -A ini=([ImagingProbe]='present=C:\kelvara-e2e\wic' [wic_x86_chs]='present=C:\kelvara-e2e\wic'
  [InstallerProbe]='present=C:\kelvara-e2e\msi' [WindowsInstaller]='present=C:\kelvara-e2e\msi'
  [NetFx40]='present=HKLM\SOFTWARE\Microsoft\NET Framework Setup\NDP\v4.0\Client' [SetupWizard]=exit=1)
for s in $(grep -o ' [A-Za-z_0-9]*\.[a-z]*=[0-9]*' <<<"$given"); do ini[${s%%.*}]+=$'\n'${s#*.}; done
for role in "${!ini[@]}"; do printf '[%s]\n%s\n' "$role" "${ini[$role]}"; done >"$c/standin.ini"

product=${KELVARA_PRODUCT:-$build/kelvara-setup.exe}  # the release test runs a signed one
has pinned && product=$bin/pinned/kelvara-setup.exe
# "planted": these beside the program, preferred to Wine's own, and the library the stand-ins ask
# for where the downloads land and in the wizard's folder: none may be loaded.
planted=("${product%/*}"/{uxtheme,wininet,rsaenh,wintrust,crypt32}.dll "$temp_unix/kvplant.dll" "$c/kvplant.dll")
has planted && export WINEDLLOVERRIDES=uxtheme,wininet,rsaenh,wintrust,crypt32=n,b && cd "$c" &&
  for p in "${planted[@]}"; do cp "$bin/e2e_status_hook.dll" "$p"; done
for a in $(field drive); do  # ACTION-on=NAME: the text of that status line
  [[ $a =~ ^(.*-on)=(.*)$ && -n ${text[${BASH_REMATCH[2]}]:-} ]] && a=${BASH_REMATCH[1]}=${text[${BASH_REMATCH[2]}]}
  actions+=("$a"); done
if [ -n "${KELVARA_DEMO_BY_HAND:-}" ]; then wine "$product"; exit 0; fi
timeout "$(scaled 240)" "$WINELOADER" "$bin/e2e_driver.exe" "$(winpath "$out")" "$(winpath "$product")" \
  "$(winpath "$bin/e2e_status_hook.dll")" "${actions[@]}" </dev/null >"$out/driver.log" 2>&1 ||
  fail "driver exit code $?"
has planted && rm -f "${planted[@]::6}"  # C:\kelvara-e2e is emptied at the next start
for _ in $(seq 200); do  # an installer left behind by Cancel goes on by itself
  [ "$(grep -c '^begin' "$c/record.log")" = "$(grep -vc '^begin' "$c/record.log")" ] 2>/dev/null && break || sleep 0.1; done
sleep 0.5  # an access log line is written when its connection ends

# What happened, in the scenario's own terms, against what the scenario says.
compare() { diff -u <(printf '%s\n' "${@:3}" | sed '/^$/d') <(sed '/^$/d' "$2") >"$out/diff-$1.txt" || fail "$1 differ:"$'\n'"$(cat "$out/diff-$1.txt")"; }
# An unattended run's first line may come before the driver has found its dialog.
unattended=$([[ " $(field drive) " == *" unattended "* ]] && echo 1)
[ -n "$unattended" ] && sed -i "1{/^LINE\t    ${text[welcome]}\$/d}" "$out/events.txt"
for e in $(field events); do
  t=${text[${e#!}]:-} && [ -z "$t" ] && expected_events+=("$e") && continue
  expected_events+=("LINE	    $t") && [[ $e == !* ]] && expected_events+=("BOX	$t")
done
compare events "$out/events.txt" "${expected_events[@]}"
# Requests in any order (a file fetched ahead is asked for beside the steps' own); PATH? may be
# asked for once or not at all (fetched ahead by a route that halts), :cut one not sent whole.
for host in intranet public download; do
  awk '{ p = $2; sub("^/qorv/", "", p); print p ($(NF-2) == 200 ? "" : ":" $(NF-2)) ($NF == "done=OK" ? "" : ":cut") }' \
    "$work/logs/$host.log" | sort >"$out/requests-$host.txt"
  expected=() && for r in $(field "$host"); do [[ $r == *\? || $r == - ]] || expected+=("$r"); done
  for r in $(field "$host"); do  # an optional one is taken away only beside those required
    [[ $r == *\? ]] && [ "$(grep -c "^${r%\?}\(:.*\)\?\$" "$out/requests-$host.txt")" -gt "$(printf '%s\n' "${expected[@]}" | grep -c "^${r%\?}\(:.*\)\?\$")" ] &&
      sed -i "0,\\#^${r%\?}\\(:.*\\)\\?\$#{//d}" "$out/requests-$host.txt"; done
  compare "$host requests" "$out/requests-$host.txt" $(printf '%s\n' "${expected[@]}" | sort)
done
# The fault server's requests: PATH, or PATH:FROM- for a request for the rest.
has fault && [ -n "$(field fault)" ] && sed 's/^GET \([^ ?]*\)[^ ]*\( \[bytes=\([0-9]*-\).*\)\?$/\1:\3/; s/:$//' "$out/fault.log" >"$out/requests-fault.txt" &&
  compare "fault requests" "$out/requests-fault.txt" $(field fault)
# Each program ran as "RUN\Role.exe" with RUN, a run folder, as its current folder.
grep -v '^begin' "$c/record.log" 2>/dev/null | tr -d '\r' |
  awk -F'\t' '{ r = "\"" $4 "\\" $1 ".exe\""; ok = index($2, r) == 1 && tolower($4) ~ /^c:\\windows\\temp\\kelvarasetup-[0-9a-f]+$/ && length($4) >= 45
    a = ok ? substr($2, length(r) + 1) : "?" $2 "@" $4; gsub(/ /, "+", a); print $1 a ":" $3 }' >"$out/runs.txt"
compare runs "$out/runs.txt" $(field runs)
# Gone when the wizard has ended, but for the client the shell opened, which may still run,
# and what the scenario names as left=FILE (an installer left running by Cancel).
for d in "$run_parent"/KelvaraSetup-*; do
  [ -d "$d" ] && [ -z "$(ls -A "$d")" ] && fail "the empty run folder ${d##*/} left"
  for f in "$d"/*; do [[ -e $f && " ClientSetup.exe $(setting left) " != *" ${f##*/} "* ]] && fail "left in the run folder: ${f##*/}"; done; done

# The facts every run must show, and the scenario's own.
facts=$(cat "$out/facts.txt" "$c/facts.txt" 2>/dev/null | tr -d '\r')
need() { grep -qxF "$1" <<<"$facts" || fail "fact $1 missing; the driver saw: $(grep "^${1%%=*}=" <<<"$facts")"; }
[ -n "$unattended" ] ||
  defaults=("welcome_caption=Kelvara自动安装向导" "welcome_buttons=开始|取消" welcome_fits=1 "welcome_text=${text[welcomeText]}")
[[ $(field facts) == *exit=* ]] || defaults+=(exit=0)
[[ $(field events) =~ ^(WELCOME_CANCEL)?$ ]] || defaults+=("progress_caption=Kelvara自动安装向导" welcome_hidden=1)
for f in "${defaults[@]}" $(field facts); do need "${f//+/, }"; done
for n in $(field logged); do  # box texts the log named by /log must hold
  grep -qF "box \"${text[$n]}\"" "$c/setup.log" 2>/dev/null || fail "the log C:\kelvara-e2e\setup.log lacks $n"; done
bad=$(grep '^box=' <<<"$facts" | grep -vxF 'box=kelvara-setup|1|owned') && fail "a box not as it should be: $bad"
grep -q '^error=' <<<"$facts" && fail "$(grep '^error=' <<<"$facts")"
grep -q '^loaded_' <<<"$facts" && fail "a planted library was loaded: $(grep '^loaded_' <<<"$facts")"
worst=$(sed -n 's/^answer_worst_ms=//p' <<<"$facts") after=$(sed -n 's/^exit_after_action_ms=//p' <<<"$facts")
[ -n "$worst" ] || fail "the driver measured no answer of the window"
[ "${worst:-0}" -le "$(scaled "${KELVARA_ANSWER_LIMIT_MS:-150}")" ] || late="the window took $worst ms to answer"
[ "${after:-0}" -lt "$(scaled 1000)" ] || fail "the wizard took $after ms to end after the action"
grep -qiE 'unhandled (exception|page fault)|backtrace:' "$out/driver.log" && fail "a crash: $(head -3 "$out/driver.log")"

# The support log holds, per server, each request with its status and bytes,
# and each program with its exit code, in order.
if has log; then
  f=$temp_unix/kelvara-setup.log
  [ "$(head -c 3 "$f")" = $'\xEF\xBB\xBF' ] && [ "$(tr -cd '\r' <"$f" | wc -c)" = "$(tr -cd '\n' <"$f" | wc -c)" ] ||
    fail "the log is not UTF-8 with a BOM and CR LF line ends"
  has biglog && { [ "$(stat -c %s "$f")" -lt 1048576 ] && [ "$(head -c 18 "$f")" = $'\xEF\xBB\xBFan older line\r' ] ||
    fail "an old log over 1 MiB was not cut to its newest half at a line start"; }
  log=$(sed '1s/^\xEF\xBB\xBF//' "$f" | tr -d '\r' |
    awk '/^==== kelvara-setup 1.1.0.500 started/ { h = NR } { l[NR] = $0 } END { for (i = h; h && i <= NR; i++) print l[i] }')
  [ -n "$log" ] || fail "no run header in the support log"
  for h in intranet:1 public:2 download:3; do
    sed -n "s|.* fetch http://127.0.0.${h#*:}:18080\([^ ]*\) status=\([0-9]*\) length=[^ ]* written=\([0-9]*\) .*|\1 \2 \3|p" \
      <<<"$log" >"$out/log-${h%:*}.txt"
    awk '{ print $2, $(NF-2), ($(NF-2) == 200 ? $(NF-1) : 0) }' "$work/logs/${h%:*}.log" | sort | diff -q - <(sort "$out/log-${h%:*}.txt") >/dev/null ||
      fail "the log's ${h%:*} fetches differ from what was served"
  done
  sed -n 's/.* run .*\\\([A-Za-z_0-9]*\)\.exe".* exit code \([0-9-]*\) .*/\1:\2/p' <<<"$log" |
    grep -v '^ClientSetup' | diff -q <(sed 's/+[^:]*//' "$out/runs.txt" | grep -v '^ClientSetup') - >/dev/null ||
    fail "the log's program runs differ"
  [ -s "$out/runs.txt" ] && ! grep -q ' run folder C:\\windows\\Temp\\KelvaraSetup-' <<<"$log" &&
    fail "the log names no run folder"
fi
cp "$temp_unix/kelvara-setup.log" "$out/" 2>/dev/null; said=$(field said)
# An install never writes into its layout; /layout leaves every file as its manifest says.
has layout && [ "$layout_before" != "$(cd "$lay" && sha256sum -- *)" ] && fail "the layout was changed"
has made && { (cd "$lay" && sha256sum -c --quiet kelvara-layout.txt) && [ "$(wc -l <"$lay/kelvara-layout.txt")" = 8 ] &&
  cmp -s "$product" "$lay/kelvara-setup.exe" || fail "the layout made is not complete and right"; }
[ -z "$said" ] || grep -qF -- "$said" "$temp_unix/kelvara-setup.log" || fail "the support log lacks \"$said\""
# FILE:ROLE: the background fetch of FILE was under way while ROLE ran (from the log's times).
for o in $(field overlap); do
  sed 's/\r//' "$temp_unix/kelvara-setup.log" | awk -v f="fetch ahead: ${o%%:*} " -v r="\\${o#*:}.exe\"" '
    index($0, f "started") { s = $1 } index($0, f "done") { e = $1 } / run "/ && index($0, r) { t = $1; d = $(NF-1) }
    END { exit !(s != "" && e != "" && t != "" && s < t && e > t - d) }' || fail "${o%%:*} was not fetched while ${o#*:} ran"
done
for raw in "$out"/*.bgra; do  # NAME.WIDTHxHEIGHT.bgra
  [ -f "$raw" ] && convert -size "$(sed 's/.*\.\(.*\)\.bgra/\1/' <<<"$raw")" -depth 8 "bgra:$raw" -alpha off "${raw%.*.bgra}.png" && rm "$raw"; done
echo "$name: window answered within ${worst:-?} ms; $(sed -n 's/^bar=//p' <<<"$facts")"
[ ${#failures[@]} -eq 0 ] || { printf 'FAILED %s\n' "${failures[@]}" ${late:+"$late"} && exit 1; }
[ -z "$late" ] ||  # missed alone, the answer limit may be a loaded machine's doing: the test named for a retry
  { echo "FAILED $late"; [ -z "${KELVARA_TEST:-}" ] || echo "$KELVARA_TEST $late" >>"$build/answer-limit-missed"; exit 3; }
