#!/usr/bin/env bash
# ctest fixture: nginx on 127.0.0.1-3:18080 (or KELVARA_NGINX_PORT) playing the intranet, public file
# and download servers over BUILD/e2e/www/current, and the files it serves. "up" fails, with nginx's
# error log, unless each host serves a file whole.   nginx-fixture.sh up|down BUILD_DIR
set -eu
work=$2/e2e n=$2/e2e/nginx port=${KELVARA_NGINX_PORT:-18080}
[ "$1" = down ] && { kill "$(cat "$n/nginx.pid" 2>/dev/null)" 2>/dev/null || true; exit 0; }
mkdir -p "$n/temp" "$work/files" "$work/logs" "$work/www" && cd "$work/files"
printf ok >alive && [ ! -d "$2/tests/e2e/signed" ] || cp "$2"/tests/e2e/signed/* .
# What "up" fetches to show that the workers can read the tree; never logged.
check="location = /fixture-check { alias $work/files/alive; access_log off; }"
cat >"$n/nginx.conf" <<CONF
# Workers run as root, as the master does: a clone may lie in a folder only root may enter.
daemon off; user root; worker_processes 1; pid $n/nginx.pid; error_log $n/error.log;
events { worker_connections 64; }
http {
  client_body_temp_path $n/temp; proxy_temp_path $n/temp; fastcgi_temp_path $n/temp;
  uwsgi_temp_path $n/temp; scgi_temp_path $n/temp;
  default_type application/octet-stream;
  # The request as sent ("//" kept), its status, the bytes sent and "OK" when whole; never a 304.
  log_format e2e '\$request \$status \$body_bytes_sent done=\$request_completion';
  merge_slashes off; etag off; if_modified_since off; add_header Cache-Control no-store;
  server { listen 127.0.0.1:$port; root $work/www/current/intranet; access_log $work/logs/intranet.log e2e; $check }
  server { listen 127.0.0.2:$port; root $work/www/current/public; access_log $work/logs/public.log e2e; $check
    # A server that holds its answer: one byte a second.
    location = /qorv/alive { if (-f \$document_root/stall) { limit_rate 1; } }
    location = /qorv/ClientSetup.exe { if (-f \$document_root/slowclient) { limit_rate 100k; } } }
  server { listen 127.0.0.3:$port; root $work/www/current/download; access_log $work/logs/download.log e2e; $check
    location /slow/ { limit_rate 6m; }  # the package in about 8 s
    # Server-side includes drop the length: the body comes chunked.
    location /nolength/ { ssi on; ssi_types *; limit_rate 10m; }
    location /norange/ { max_ranges 0; } }
}
CONF
# Ends by itself after an hour should the cleanup never run.
setsid timeout 3600 /usr/sbin/nginx -c "$n/nginx.conf" -p "$n" </dev/null >/dev/null 2>&1 &
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.3/$port) 2>/dev/null && break || sleep 0.05; done
for host in 1 2 3; do
  [ "$(curl -s --noproxy '*' -m 5 -w ' %{http_code}' "http://127.0.0.$host:$port/fixture-check")" = "ok 200" ] ||
    { echo "127.0.0.$host:$port cannot serve its files; nginx's error log:" >&2 && cat "$n/error.log" >&2 &&
      kill "$(cat "$n/nginx.pid")" && exit 1; }
done
