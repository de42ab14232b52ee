# Scenarios of the end-to-end run, sourced by run_e2e.sh (which provides
# begin/end, prepare_prefix, drive and the checks). Each scenario_NAME sets
# up the servers and the prefix, drives the wizard once and checks what it
# showed, what each server saw, what ran, and how the wizard ended.
# shellcheck shell=bash disable=SC2034

SCENARIOS=(welcome_cancel server_unreachable win7_old_route win8_repair dotnet4_win7 dotnet4_win8
  win7_wizard wizard_missing private_wizard private_old_route netfx_wrong_size wic_not_installed
  esc_during_download cancel_during_installer)

# ---------------------------------------------------------------- texts
# Exactly as the wizard shows them (src/flow/steps.cpp).
T_WELCOME="欢迎使用..."
T_CHECK="正在检查软件安装环境..."
T_NETFAIL="网络连接失败，请联系客服获取技术支持！"
T_REPAIR="您的系统中缺少默认安装的.NET 4.0 Framework，正在进行修复…"
T_CLIENT="正在下载客户端安装程序，请稍候……"
T_NET_FETCH="系统缺少.NET FRAMEWORK 4.0，正在下载，可能需要较长时间..."
T_NET_RUN="正在安装.NET 4.0软件包，请您按提示完成安装..."
T_NET_BAD="无法正常安装.NET 4.0软件包，请联系客服获取技术支持！"
T_WIC1="正在下载Windows图像组件（WIC）校验程序，请稍候..."
T_WIC3="您的系统缺少Windows图像组件（WIC）,正在下载安装，请稍候..."
T_WIC5="正在安装Windows图像组件（WIC），请您按提示完成安装..."
T_WIC7="程序所需Windows图像组件（WIC）无法正常安装，请联系客服获取技术支持！"
T_MSI1="正在下载Windows Installer校验程序，请稍候..."
T_MSI3="您的系统缺少Windows Installer或版本低于3.1，正在下载安装包，请稍候..."
T_MSI5="正在安装Windows Installer3.1，请您按提示完成安装..."
T_WIZ_FETCH="正在下载安装向导，请稍候…"
T_WIZ_RUN="正在运行安装向导，请您按提示完成安装..."
T_WIZ_MISSING="未能成功下载安装向导，正在使用旧版安装程序重试"

# Expected stand-in records; the wizard starts each download as the quoted
# path "%TEMP%" + "\" + name.
probe_rec() { printf '%s\tprobe\t"%%TEMP%%\\\\%s.exe"\t%s\n' "$1" "$1" "$2"; }
start_rec() { printf '%s\tstart\t"%%TEMP%%\\\\%s.exe"%s\n' "$1" "$1" "${2:-}"; }
end_rec() { printf '%s\tend\t%s\n' "$1" "$2"; }
ran() { start_rec "$1" "${3:-}" && end_rec "$1" "$2"; }
# ShellExecute "open" runs the client as its quoted path too.
client_rec() { ran ClientSetup 0; }
get() { printf 'GET %s HTTP/1.1 %s\n' "$1" "${2:-200}"; }

# A run that ended by itself without a box: every stand-in done, HOST's log
# holding its N requests, the usual windows, no crash.
check_finished_cleanly() {
  wait_standins
  wait_log_lines "$1" "$2"
  check_common
  check_progress_window
  check_boxes 0
}

# The status lines and boxes in order: a text is a status line, "box:TEXT" a
# line with its box, a word in capitals an action of the driver (CANCEL...).
expect_events() {
  local e
  same events "$OUT/events.txt" < <(for e in "$@"; do
    case $e in
      box:*) box "${e#box:}" ;;
      *) if [[ $e =~ ^[A-Z_]+$ ]]; then echo "$e"; else line "$e"; fi ;;
    esac
  done)
}

# The requests one host saw, in order: "PATH" for a 200, "PATH STATUS" else.
expect_requests() {
  local host=$1 r
  shift
  check_requests "$host" < <(for r in "$@"; do
    # shellcheck disable=SC2086
    get $r
  done)
}

# ---------------------------------------------------------------- scenarios

scenario_welcome_cancel() {
  begin welcome_cancel
  prepare_prefix win7 none 0
  write_standin_config
  drive --welcome-cancel
  check_common
  same events "$OUT/events.txt" <<<"WELCOME_CANCEL"
  expect_requests public
  expect_requests intranet
  expect_requests download
  check_records </dev/null
  end
}

# Windows 7 with nothing installed: the whole old-installer route.
scenario_win7_old_route() {
  begin win7_old_route
  prepare_prefix win7 none 0
  # Long enough for a picture of the window while an installer runs.
  WIC_SLEEP=1500
  write_standin_config
  drive --shot-on "$T_WIC5"
  expect_shot status
  check_finished_cleanly public 7
  expect_events "$T_WELCOME" "$T_CHECK" "$T_WIC1" "$T_WIC3" "$T_WIC5" "$T_MSI1" "$T_MSI3" \
    "$T_MSI5" "$T_NET_FETCH" "$T_NET_RUN" "$T_CLIENT"
  expect_requests public /qorv/alive /qorv/ImagingProbe.exe /qorv/wic_x86_chs.exe \
    /qorv/InstallerProbe.exe /qorv/WindowsInstaller.exe /qorv/MirrorList.txt /qorv/ClientSetup.exe
  expect_requests intranet
  expect_requests download /mirror/NetFx40.exe
  check_records <<EOF
$(probe_rec ImagingProbe 0)
$(ran wic_x86_chs 0)
$(probe_rec ImagingProbe 100)
$(probe_rec InstallerProbe 0)
$(ran WindowsInstaller 0)
$(probe_rec InstallerProbe 100)
$(ran NetFx40 0)
$(client_rec)
EOF
  end
}

# No "alive" on the public server: one box, nothing else asked for, and the
# window waits for Cancel.
scenario_server_unreachable() {
  begin server_unreachable
  rm "$WWW/current/public/qorv/alive"
  prepare_prefix win7 none 0
  write_standin_config
  drive --cancel-after-box 1 --shot-box
  expect_shot box
  check_common
  check_progress_window
  check_boxes 1
  check_halted
  expect_events "$T_WELCOME" "$T_CHECK" box:"$T_NETFAIL" CANCEL
  expect_requests public "/qorv/alive 404"
  expect_requests intranet
  expect_requests download
  check_records </dev/null
  end
}

# Windows 8 without .NET 4.0 but with .NET 2.0: the repair text, then the
# .NET route (a dead mirror may be tried first), never the wizard.
scenario_win8_repair() {
  begin win8_repair
  printf 'http://127.0.0.3:18080/mirror/missing.exe|||\r\nhttp://127.0.0.3:18080/mirror/NetFx40.exe\r\n' \
    >"$WWW/current/public/qorv/MirrorList.txt"
  prepare_prefix win8 none 1
  write_standin_config
  drive
  check_finished_cleanly public 3
  expect_events "$T_WELCOME" "$T_CHECK" "$T_REPAIR" "$T_NET_FETCH" "$T_NET_RUN" "$T_CLIENT"
  expect_requests public /qorv/alive /qorv/MirrorList.txt /qorv/ClientSetup.exe
  expect_requests intranet
  # The mirror is drawn at random: the dead one at most once, and first.
  requests download | grep -v missing.exe >"$OUT/requests-download-good.txt"
  same requests-download-good "$OUT/requests-download-good.txt" <<<"$(get /mirror/NetFx40.exe)"
  local dead
  dead=$(requests download | grep -c missing.exe)
  [ "$dead" -le 1 ] || fail "the dead mirror was asked $dead times"
  [ "$dead" = 0 ] || [ "$(requests download | head -1)" = "$(get /mirror/missing.exe 404)" ] ||
    fail "the dead mirror was asked after the good one"
  check_records <<EOF
$(ran NetFx40 0)
$(client_rec)
EOF
  end
}

# .NET 4.0 installed: straight to the client; the .NET 2.0 key is never
# read (seen in Wine's registry trace), although here it exists.
#   dotnet4_installed NAME VERSION DOTNET4-KEYS
dotnet4_installed() {
  begin "$1"
  prepare_prefix "$2" "$3" 1
  write_standin_config
  drive --winedebug +reg
  check_finished_cleanly public 2
  expect_events "$T_WELCOME" "$T_CHECK" "$T_CLIENT"
  expect_requests public /qorv/alive /qorv/ClientSetup.exe
  expect_requests intranet
  expect_requests download
  check_records <<<"$(client_rec)"
  # The trace writes a key name with doubled backslashes.
  local key=v4.0
  [ "$3" = v4 ] && key=v4
  grep -qF "NDP\\\\$key\\\\Client" "$OUT/driver.log" ||
    fail "the registry trace does not show the .NET 4.0 probe of NDP\\$key\\Client"
  if grep -q 'v2\.0\.50727' "$OUT/driver.log"; then
    fail ".NET 2.0 was probed: $(grep -m1 'v2\.0\.50727' "$OUT/driver.log")"
  fi
  end
}
scenario_dotnet4_win7() { dotnet4_installed dotnet4_win7 win7 v4.0; }
scenario_dotnet4_win8() { dotnet4_installed dotnet4_win8 win8 v4; }

# Windows 7 with .NET 2.0: the wizard and unrar.dll are fetched, the wizard
# runs and the program quits; no client.
scenario_win7_wizard() {
  begin win7_wizard
  prepare_prefix win7 none 1
  write_standin_config
  drive
  check_finished_cleanly public 3
  expect_events "$T_WELCOME" "$T_CHECK" "$T_WIZ_FETCH" "$T_WIZ_RUN"
  expect_requests public /qorv/alive /qorv//SetupWizard.exe /qorv/unrar.dll
  expect_requests intranet
  expect_requests download
  check_records <<<"$(ran SetupWizard 1)"
  cmp -s "$FILES/unrar.dll" "$TEMP_UNIX/unrar.dll" || fail "unrar.dll beside the wizard differs from the served one"
  end
}

# The wizard is missing on the server: its box, then the old-installer
# route (both components already there, so only their probes run).
scenario_wizard_missing() {
  begin wizard_missing
  rm "$WWW/current/public/qorv/SetupWizard.exe"
  prepare_prefix win7 none 1
  component_present wic
  component_present msi
  write_standin_config
  drive --shot-box
  expect_shot box
  wait_standins
  wait_log_lines public 6
  check_common
  check_progress_window
  check_boxes 1
  expect_events "$T_WELCOME" "$T_CHECK" "$T_WIZ_FETCH" box:"$T_WIZ_MISSING" "$T_WIC1" "$T_MSI1" \
    "$T_NET_FETCH" "$T_NET_RUN" "$T_CLIENT"
  expect_requests public /qorv/alive "/qorv//SetupWizard.exe 404" /qorv/ImagingProbe.exe \
    /qorv/InstallerProbe.exe /qorv/MirrorList.txt /qorv/ClientSetup.exe
  expect_requests intranet
  expect_requests download /mirror/NetFx40.exe
  check_records <<EOF
$(probe_rec ImagingProbe 100)
$(probe_rec InstallerProbe 100)
$(ran NetFx40 0)
$(client_rec)
EOF
  end
}

# Private mode with .NET 2.0: everything from the intranet host, and the
# wizard gets "private" as its only argument.
scenario_private_wizard() {
  begin private_wizard
  prepare_prefix win7 none 1
  write_standin_config
  drive -- private
  wait_standins
  wait_log_lines intranet 3
  check_common
  check_boxes 0
  expect_events "$T_WELCOME" "$T_CHECK" "$T_WIZ_FETCH" "$T_WIZ_RUN"
  expect_requests intranet /qorv/alive /qorv//SetupWizard.exe /qorv/unrar.dll
  expect_requests public
  expect_requests download
  check_records <<<"$(ran SetupWizard 1 ' private')"
  end
}

# Private mode on the old route: files from the intranet host; with no
# mirror list there the package comes from the built-in download address.
scenario_private_old_route() {
  begin private_old_route
  rm "$WWW/current/intranet/qorv/MirrorList.txt"
  prepare_prefix win7 none 0
  component_present wic
  component_present msi
  write_standin_config
  drive -- private
  wait_standins
  wait_log_lines intranet 5
  check_common
  check_boxes 0
  expect_events "$T_WELCOME" "$T_CHECK" "$T_WIC1" "$T_MSI1" "$T_NET_FETCH" "$T_NET_RUN" "$T_CLIENT"
  expect_requests intranet /qorv/alive /qorv/ImagingProbe.exe /qorv/InstallerProbe.exe \
    "/qorv/MirrorList.txt 404" /qorv/ClientSetup.exe
  expect_requests public
  expect_requests download /download/vumel/qorv/NetFx40.exe
  check_records <<EOF
$(probe_rec ImagingProbe 100)
$(probe_rec InstallerProbe 100)
$(ran NetFx40 0)
$(client_rec)
EOF
  end
}

# A .NET package of the wrong size is never started: box and halt.
scenario_netfx_wrong_size() {
  begin netfx_wrong_size
  ln -sf "$FILES/NetFx40-short.exe" "$WWW/current/download/mirror/NetFx40.exe"
  prepare_prefix win8 none 0
  write_standin_config
  drive --cancel-after-box 1 --shot-box
  expect_shot box
  wait_log_lines public 2
  check_common
  check_progress_window
  check_boxes 1
  check_halted
  expect_events "$T_WELCOME" "$T_CHECK" "$T_REPAIR" "$T_NET_FETCH" "$T_NET_RUN" box:"$T_NET_BAD" \
    CANCEL
  expect_requests public /qorv/alive /qorv/MirrorList.txt
  expect_requests intranet
  expect_requests download /mirror/NetFx40.exe
  check_records </dev/null
  end
}

# The WIC installer runs but leaves WIC missing: the second probe says so,
# T7 box and halt; nothing after WIC is fetched.
scenario_wic_not_installed() {
  begin wic_not_installed
  prepare_prefix win7 none 0
  WIC_INSTALL=0
  write_standin_config
  drive --cancel-after-box 1
  wait_standins
  wait_log_lines public 3
  check_common
  check_progress_window
  check_boxes 1
  check_halted
  expect_events "$T_WELCOME" "$T_CHECK" "$T_WIC1" "$T_WIC3" "$T_WIC5" box:"$T_WIC7" CANCEL
  expect_requests public /qorv/alive /qorv/ImagingProbe.exe /qorv/wic_x86_chs.exe
  expect_requests intranet
  expect_requests download
  check_records <<EOF
$(probe_rec ImagingProbe 0)
$(ran wic_x86_chs 0)
$(probe_rec ImagingProbe 0)
EOF
  end
}

# Esc while the 50 MB package comes in slowly: the program ends at once
# with 0, without a crash, and the download is cut short.
scenario_esc_during_download() {
  begin esc_during_download
  printf 'http://127.0.0.3:18080/slow/NetFx40.exe' >"$WWW/current/public/qorv/MirrorList.txt"
  prepare_prefix win8 none 0
  write_standin_config
  drive --esc-on "$T_NET_FETCH" --action-delay 1500
  wait_log_lines download 1
  check_common
  check_progress_window
  check_boxes 0
  expect_events "$T_WELCOME" "$T_CHECK" "$T_REPAIR" "$T_NET_FETCH" ESC
  local sent
  check_quick_exit Esc
  expect_requests public /qorv/alive /qorv/MirrorList.txt
  expect_requests download /slow/NetFx40.exe
  sent=$(awk '{ print $NF }' "$LOGS/download.log")
  [ "${sent:-0}" -lt "$NETFX_SIZE" ] || fail "the slow download was not cut short ($sent bytes sent)"
  check_records </dev/null
  end
}

# Cancel while the .NET installer still runs: the program ends at once with
# 0 and the installer runs on to its end. Throughout the slow download and
# the long installer the status line answers within 250 ms every time.
scenario_cancel_during_installer() {
  begin cancel_during_installer
  printf 'http://127.0.0.3:18080/slow/NetFx40.exe' >"$WWW/current/public/qorv/MirrorList.txt"
  prepare_prefix win8 none 0
  NETFX_SLEEP=6000
  write_standin_config
  drive --cancel-on "$T_NET_RUN" --action-delay 2000 --shot-on "$T_NET_RUN"
  expect_shot status
  check_quick_exit Cancel
  records >"$OUT/records-at-exit.txt"
  same records-at-exit "$OUT/records-at-exit.txt" <<<"$(start_rec NetFx40)"
  wait_standins 20
  wait_log_lines public 2
  check_common
  check_progress_window
  check_boxes 0
  expect_events "$T_WELCOME" "$T_CHECK" "$T_REPAIR" "$T_NET_FETCH" "$T_NET_RUN" CANCEL
  expect_requests public /qorv/alive /qorv/MirrorList.txt
  expect_requests download /slow/NetFx40.exe
  check_records <<<"$(ran NetFx40 0)"
  local worst failures samples
  worst=$(fact latency_worst_ms)
  failures=$(fact latency_failures)
  samples=$(fact latency_samples)
  [ "${failures:-1}" = 0 ] || fail "WM_GETTEXT to the status line timed out $failures times"
  [ "${samples:-0}" -ge 100 ] || fail "only ${samples:-0} latency samples"
  awk -v w="${worst:-999}" 'BEGIN { exit !(w < 250) }' || fail "worst status-line latency $worst ms"
  end
}

