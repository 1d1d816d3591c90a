# Helpers shared by the benchmark scripts; source it, do not run it.

# ensure_package NAME...: installs the Debian packages that are missing.
ensure_package() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local as_root=()
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# seconds_of COMMAND...: runs a command and prints its wall time in seconds.
seconds_of() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# result KEY VALUE
result() { printf 'RESULT %s %s\n' "$1" "$2"; }

# ratio A B: A / B with three decimals
ratio() { echo "scale=3; $1 / $2" | bc -l; }

# free_port: prints a TCP port on 127.0.0.1 that nothing listens on.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
  done
  echo "$port"
}

# start_nginx WORKDIR PORT [DIRECTIVES]: serves WORKDIR/www on
# 127.0.0.1:PORT with a configuration of its own (nothing of the system's
# nginx set-up is used), DIRECTIVES added to its server block, and sets
# NGINX_PID; stop it with stop_nginx. Waits until it answers.
start_nginx() {
  local work=$1 port=$2 directives=${3:-}
  mkdir -p "$work/www" "$work/temp"
  cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  client_body_temp_path $work/temp/body;
  proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi;
  uwsgi_temp_path $work/temp/uwsgi;
  scgi_temp_path $work/temp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    $directives
  }
}
CONF
  nginx -p "$work" -c "$work/nginx.conf" &
  NGINX_PID=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nginx did not start on port $port" >&2
  return 1
}

stop_nginx() {
  if [ -n "${NGINX_PID:-}" ]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=""
  fi
}

# best_seconds_emptying FOLDER ROUNDS COMMAND...: the shortest wall time of
# ROUNDS runs, with FOLDER emptied before each run and outside its time:
# deleting the last run's 1 GiB file takes the system 0.2-0.3 s, which is
# no run's own time.
best_seconds_emptying() {
  local folder=$1 rounds=$2 best="" t
  shift 2
  for _ in $(seq "$rounds"); do
    rm -rf "${folder:?}"/*
    t=$(seconds_of "$@")
    best=$(smaller "$best" "$t")
  done
  echo "$best"
}

# larger CURRENT NEW / smaller CURRENT NEW: the larger (smaller) of two
# figures; an empty CURRENT gives NEW. For keeping the best or worst of rounds.
larger() { if [ -z "$1" ] || [ "$(echo "$2 > $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
smaller() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

# mb_per_s BYTES SECONDS
mb_per_s() { echo "scale=1; $1 / 1048576 / $2" | bc -l; }

# engine_pids WORK: the engines started with WORK/runtime as their runtime
# folder, that is, by the benchmark that owns WORK; others are left alone.
engine_pids() {
  local work=$1 pid
  for pid in $(pgrep -x pullwright || true); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "XDG_RUNTIME_DIR=$work/runtime" && echo "$pid"
  done
  return 0
}

# stop_engines WORK: ends the engines of engine_pids WORK and waits until
# they are gone (an engine's parent is init, which may reap it a second or
# two later: a zombie counts as gone), so that the next client starts an
# engine of its own; one still running after 5 s is killed.
stop_engines() {
  local pids state
  pids=$(engine_pids "$1")
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  for pid in $pids; do
    for _ in $(seq 100); do
      state=$(ps -o stat= -p "$pid" 2>/dev/null || true)
      [ -z "$state" ] || [ "${state:0:1}" = Z ] && continue 2
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null || true
  done
}

# A second client of the engine, for the benchmarks that measure the engine
# with two: it runs with its standard input on a pipe of the benchmark's
# and stays connected until the pipe closes.
#   start_second_client COMMAND...   waits until it prints "ready"
#   stop_second_client
# Both use $work, and set SECOND_CLIENT_PID while it runs.
SECOND_CLIENT_PID=""
start_second_client() {
  rm -f "$work/second.in"
  mkfifo "$work/second.in"
  "$@" <"$work/second.in" >"$work/second.out" &
  SECOND_CLIENT_PID=$!
  exec 7>"$work/second.in"
  for _ in $(seq 200); do
    grep -qx ready "$work/second.out" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "the second client did not connect" >&2
  return 1
}
stop_second_client() {
  [ -n "$SECOND_CLIENT_PID" ] || return 0
  exec 7>&- || true
  wait "$SECOND_CLIENT_PID" 2>/dev/null || true
  SECOND_CLIENT_PID=""
}

# bench_cleanup: what an engine benchmark leaves behind goes: the second
# client, its nginx, the engines it started, and $work.
bench_cleanup() {
  stop_second_client
  stop_nginx
  stop_engines "$work"
  rm -rf "$work"
}
