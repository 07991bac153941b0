#!/usr/bin/env bash
# The embedded HTTP server against Debian's nginx on this machine, in the
# same run, serving the same bytes: small keep-alive replies per second under
# wrk (the connectivity test "/varnelBook/test"; nginx answers it from its
# configuration), and the download rate of a 100 MB file with curl. Both
# servers get one event loop (nginx one worker), log one line per request to
# a file, and listen on free ports of 127.0.0.1. Prints each round and the
# median ratios (ours over nginx's: goals at least 0.5 and 0.8).
#
#   bench/http_bench.sh [--build DIR] [--duration SECONDS] [--connections N] [--rounds N]
set -euo pipefail

build=build
duration=10
connections=32
rounds=3
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --duration) duration=$2; shift 2 ;;
    --connections) connections=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--duration SECONDS] [--connections N] [--rounds N]" >&2; exit 2 ;;
  esac
done

varnel=$build/bin/varnel
for tool in "$varnel" wrk nginx curl python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "http_bench: $tool is missing (build first; scripts/install-deps --bench installs wrk and nginx-light)" >&2
    exit 2
  fi
done

work=$(mktemp -d /tmp/http_bench.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mkdir -p "$work/www" "$work/home" "$work/nginx"
head -c 104857600 /dev/urandom > "$work/www/big.bin"
# nginx's workers drop root's rights and must still read the files.
chmod -R a+rX "$work"

nginx_port=$(free_port)
cat > "$work/nginx.conf" <<EOF
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log $work/nginx/access.log;
  # Debian's defaults for files.
  sendfile on;
  tcp_nopush on;
  # wrk keeps its connections for the whole run, as our server lets it.
  keepalive_requests 100000000;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    location = /varnelBook/test {
      default_type "text/plain; charset=UTF-8";
      return 200 "한글테스트";
    }
  }
}
EOF
nginx -e "$work/nginx/error.log" -p "$work/nginx" -c "$work/nginx.conf" -g 'daemon off;' &
pids+=($!)

"$varnel" --home "$work/home" serve --bind 127.0.0.1 --port 0 --root "$work/www" > "$work/serve.out" &
pids+=($!)

wait_for() {
  for _ in $(seq 100); do
    if curl -sf -o /dev/null "$1"; then return 0; fi
    sleep 0.1
  done
  echo "http_bench: nothing answers at $1" >&2
  exit 1
}
for _ in $(seq 100); do
  varnel_port=$(sed -n 's/.* on port \([0-9]*\) .*/\1/p' "$work/serve.out")
  [ -n "$varnel_port" ] && break
  sleep 0.1
done
wait_for "http://127.0.0.1:$varnel_port/varnelBook/test"
wait_for "http://127.0.0.1:$nginx_port/varnelBook/test"

ours="http://127.0.0.1:$varnel_port"
theirs="http://127.0.0.1:$nginx_port"
if ! cmp -s <(curl -s "$ours/varnelBook/test") <(curl -s "$theirs/varnelBook/test") ||
   ! cmp -s <(curl -s "$ours/big.bin") "$work/www/big.bin" ||
   ! cmp -s <(curl -s "$theirs/big.bin") "$work/www/big.bin"; then
  echo "http_bench: the two servers do not send the same bytes" >&2
  exit 1
fi
echo "reply heads: ours $(curl -s -o /dev/null -w '%{size_header}' "$ours/varnelBook/test") bytes," \
     "nginx $(curl -s -o /dev/null -w '%{size_header}' "$theirs/varnelBook/test") bytes; body 15 bytes"

requests_per_second() {
  wrk -t1 -c"$connections" -d"${duration}s" "$1/varnelBook/test" | awk '/^Requests\/sec:/ { print $2 }'
}
download_rate() {
  curl -s -o /dev/null -w '%{speed_download}' "$1/big.bin"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

small_ratios=()
download_ratios=()
for round in $(seq "$rounds"); do
  ours_rps=$(requests_per_second "$ours")
  nginx_rps=$(requests_per_second "$theirs")
  ratio=$(awk -v a="$ours_rps" -v b="$nginx_rps" 'BEGIN { printf "%.2f", a / b }')
  small_ratios+=("$ratio")
  printf 'round %d small replies (wrk -t1 -c%d -d%ss): ours %.0f/s, nginx %.0f/s, ratio %s\n' \
    "$round" "$connections" "$duration" "$ours_rps" "$nginx_rps" "$ratio"

  ours_rate=$(download_rate "$ours")
  nginx_rate=$(download_rate "$theirs")
  ratio=$(awk -v a="$ours_rate" -v b="$nginx_rate" 'BEGIN { printf "%.2f", a / b }')
  download_ratios+=("$ratio")
  printf 'round %d 100 MB download (curl): ours %.0f MB/s, nginx %.0f MB/s, ratio %s\n' \
    "$round" "$(awk -v r="$ours_rate" 'BEGIN { print r / 1e6 }')" \
    "$(awk -v r="$nginx_rate" 'BEGIN { print r / 1e6 }')" "$ratio"
done

echo "median ratio, small replies: $(printf '%s\n' "${small_ratios[@]}" | median) (goal at least 0.5)"
echo "median ratio, 100 MB download: $(printf '%s\n' "${download_ratios[@]}" | median) (goal at least 0.8)"
