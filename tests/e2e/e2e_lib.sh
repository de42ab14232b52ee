# The servers, files and Wine prefix shared by the end-to-end run and the
# demo. Sourced after tests/wine-env.sh; the caller sets BUILD, STANDIN, WORK,
# WWW, FILES, LOGS and defines fail() (make_files, make_tree, start_nginx,
# prepare_prefix and write_standin_config use them).
# shellcheck shell=bash

# ---------------------------------------------------------------- files
NETFX_SIZE=50449456

# The served files: the stand-in for every program, padded to the .NET
# package's size where needed.
make_files() {
  ln -sf "$STANDIN" "$FILES/standin.exe"
  if [ ! -f "$FILES/NetFx40.exe" ] || [ "$FILES/NetFx40.exe" -ot "$STANDIN" ] ||
    [ "$(stat -c %s "$FILES/NetFx40.exe")" != $NETFX_SIZE ]; then
    # A PE file runs with any overlay after its image: zeros pad it to size.
    cp "$STANDIN" "$FILES/NetFx40.exe"
    truncate -s $NETFX_SIZE "$FILES/NetFx40.exe"
    cp "$STANDIN" "$FILES/NetFx40-short.exe"
    truncate -s $((NETFX_SIZE - 1024)) "$FILES/NetFx40-short.exe"
  fi
  printf 'ok' >"$FILES/alive"
  head -c 4096 /dev/urandom >"$FILES/unrar.dll"
}

# A full tree for every host; a scenario then removes or replaces files.
#   make_tree NAME
make_tree() {
  local t=$WWW/$1 host
  for host in intranet public; do
    mkdir -p "$t/$host/qorv"
    ln -s "$FILES/alive" "$t/$host/qorv/alive"
    local role
    for role in ImagingProbe wic_x86_chs InstallerProbe WindowsInstaller SetupWizard ClientSetup; do
      ln -s "$FILES/standin.exe" "$t/$host/qorv/$role.exe"
    done
    ln -s "$FILES/unrar.dll" "$t/$host/qorv/unrar.dll"
    ln -s "$FILES/NetFx40.exe" "$t/$host/qorv/NetFx40.exe"
    printf 'http://127.0.0.3:18080/mirror/NetFx40.exe' >"$t/$host/qorv/MirrorList.txt"
  done
  mkdir -p "$t/download/download/vumel/qorv" "$t/download/mirror" "$t/download/slow"
  ln -s "$FILES/NetFx40.exe" "$t/download/download/vumel/qorv/NetFx40.exe"
  ln -s "$FILES/NetFx40.exe" "$t/download/mirror/NetFx40.exe"
  ln -s "$FILES/NetFx40.exe" "$t/download/slow/NetFx40.exe"
  ln -sfn "$t" "$WWW/current"
}

# ---------------------------------------------------------------- nginx
start_nginx() {
  local conf=$WORK/nginx/nginx.conf n=$WORK/nginx
  cat >"$conf" <<EOF
daemon off;
user root;
worker_processes 1;
pid $n/nginx.pid;
error_log $n/error.log info;
events { worker_connections 64; }
http {
  default_type application/octet-stream;
  client_body_temp_path $n/temp/body;
  proxy_temp_path $n/temp/proxy;
  fastcgi_temp_path $n/temp/fastcgi;
  uwsgi_temp_path $n/temp/uwsgi;
  scgi_temp_path $n/temp/scgi;
  # The request line as sent ("//" kept), its status and the bytes sent.
  log_format e2e '\$request \$status \$body_bytes_sent';
  merge_slashes off;
  # Every request must reach the server and come back whole, never as 304.
  etag off;
  if_modified_since off;
  add_header Cache-Control no-store;
  server {
    listen 127.0.0.1:18080;
    root $WWW/current/intranet;
    access_log $LOGS/intranet.log e2e;
  }
  server {
    listen 127.0.0.2:18080;
    root $WWW/current/public;
    access_log $LOGS/public.log e2e;
  }
  server {
    listen 127.0.0.3:18080;
    root $WWW/current/download;
    access_log $LOGS/download.log e2e;
    # About ten seconds for the 50 MB package: time to press Esc or Cancel.
    location /slow/ { limit_rate 5m; }
  }
}
EOF
  /usr/sbin/nginx -c "$conf" -p "$n" >"$n/stdout.log" 2>&1 &
  NGINX_PID=$!
  # Ends nginx even when this script is killed before its trap runs.
  (
    while kill -0 $$ 2>/dev/null; do sleep 2; done
    kill "$NGINX_PID" 2>/dev/null
  ) >/dev/null 2>&1 &
  WATCHDOG_PID=$!
  # nginx writes its pid file once it holds every address; a server that
  # is already on one of these ports must not answer in its place.
  for _ in $(seq 100); do
    [ "$(cat "$n/nginx.pid" 2>/dev/null)" = "$NGINX_PID" ] && break
    kill -0 "$NGINX_PID" 2>/dev/null || break
    sleep 0.05
  done
  if [ "$(cat "$n/nginx.pid" 2>/dev/null)" != "$NGINX_PID" ]; then
    echo "nginx did not start:" >&2
    cat "$n/error.log" "$n/stdout.log" >&2
    exit 1
  fi
  local host
  for host in 127.0.0.1 127.0.0.2 127.0.0.3; do
    for _ in $(seq 100); do
      (exec 3<>"/dev/tcp/$host/18080") 2>/dev/null && continue 2
      sleep 0.05
    done
    echo "nginx did not start on $host:18080" >&2
    cat "$n/error.log" "$n/stdout.log" >&2
    exit 1
  done
}

# ---------------------------------------------------------------- prefix
E2E_C=$WINEPREFIX/drive_c/kelvara-e2e
TEMP_UNIX=
TEMP_WIN=

# Wine version, .NET registry entries and stand-in state for one scenario.
#   prepare_prefix VERSION DOTNET4(none|v4.0|v4) DOTNET2(0|1)
prepare_prefix() {
  local version=$1 net4=$2 net2=$3 reg=$WORK/scenario.reg ndp='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\NET Framework Setup\NDP'
  {
    echo 'REGEDIT4'
    echo
    echo '[-HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\NET Framework Setup]'
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\kelvara-setup.exe]'
    echo "\"Version\"=\"$version\""
    echo
    case $net4 in
      v4.0) printf '[%s\\v4.0\\Client]\n"Install"=dword:00000001\n\n' "$ndp" ;;
      v4) printf '[%s\\v4\\Client]\n"Install"=dword:00000001\n\n[%s\\v4\\Full]\n"Install"=dword:00000001\n\n' "$ndp" "$ndp" ;;
    esac
    if [ "$net2" = 1 ]; then printf '[%s\\v2.0.50727]\n"Install"=dword:00000001\n\n' "$ndp"; fi
  } >"$reg"
  wine regedit /s "$(winpath "$reg")" >/dev/null 2>&1
  rm -rf "$E2E_C"
  mkdir -p "$E2E_C"
  local name
  for name in alive_tmp ImagingProbe.exe wic_x86_chs.exe InstallerProbe.exe WindowsInstaller.exe \
    SetupWizard.exe unrar.dll MirrorList.txt NetFx40.exe ClientSetup.exe; do
    rm -f "$TEMP_UNIX/$name"
  done
  # A cached copy must never stand in for a request.
  find "$WINEPREFIX/drive_c/users" -maxdepth 6 -type d \( -name INetCache -o -name 'Temporary Internet Files' \) \
    -exec rm -rf {} + 2>/dev/null
  : >"$LOGS/intranet.log"
  : >"$LOGS/public.log"
  : >"$LOGS/download.log"
}

# The stand-ins' behaviour: which components an installer really installs,
# how long it takes and its exit code. Variables set before the call:
#   WIC_INSTALL MSI_INSTALL NETFX_INSTALL (1|0)  WIC_SLEEP NETFX_SLEEP (ms)
write_standin_config() {
  cat >"$E2E_C/standin.ini" <<EOF
[ImagingProbe]
marker=C:\\kelvara-e2e\\wic.installed
[wic_x86_chs]
marker=C:\\kelvara-e2e\\wic.installed
install=${WIC_INSTALL:-1}
sleep=${WIC_SLEEP:-0}
[InstallerProbe]
marker=C:\\kelvara-e2e\\msi.installed
[WindowsInstaller]
marker=C:\\kelvara-e2e\\msi.installed
install=${MSI_INSTALL:-1}
[NetFx40]
regkey=SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4.0\\Client
install=${NETFX_INSTALL:-1}
sleep=${NETFX_SLEEP:-0}
[SetupWizard]
exit=1
[ClientSetup]
exit=0
EOF
}

component_present() { : >"$E2E_C/$1.installed"; }

