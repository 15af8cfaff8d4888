#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests, in a folder of its own:
#
#   scripts/pg-test-server.sh start DIR [OWNER_PID]   # DIR: an empty folder the caller made
#   scripts/pg-test-server.sh start-durable DIR [OWNER_PID]
#                                  # as start, but writing as a real server does (fsync on), and
#                                  # keeping each commit's time (for the benchmark)
#   scripts/pg-test-server.sh stop DIR                # stops the server and removes DIR
#   scripts/pg-test-server.sh halt DIR                # stops the server, keeping its data
#   scripts/pg-test-server.sh resume DIR              # starts a halted server again
#
# It listens only on a Unix socket in DIR (no TCP port), port 5432, with trust authentication for
# the superuser "postgres". Run as root, the server runs as the unprivileged postgres user, since
# initdb refuses root. With OWNER_PID, a watcher stops the server and removes DIR once that process
# has ended, also when it was killed and could not stop the server itself.
#
# Exit status of start: 0 running, 3 the server binaries are not installed, 1 any other failure
# (the server's log is printed).
set -euo pipefail

readonly port=5432
readonly superuser=postgres

usage() {
  echo "usage: $0 start|start-durable DIR [OWNER_PID] | stop|halt|resume DIR" >&2
  exit 1
}

# /usr/lib/postgresql/<version>/bin is not on PATH; the newest installed version is taken.
server_bin_dir() {
  local dir
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ] && { echo "$dir"; return 0; }
  done
  return 1
}

# Runs a server program as the folder's owner: the postgres user when we are root.
as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# A value inside single quotes in postgresql.conf.
conf_quoted() {
  printf "'%s'" "${1//\'/\'\'}"
}

start() {
  local dir=$1 owner=${2:-} durable=${3:-false}
  local bin
  if ! bin=$(server_bin_dir); then
    echo "PostgreSQL's server is not installed (no /usr/lib/postgresql/*/bin/initdb):" \
         "install the postgresql package" >&2
    exit 3
  fi
  [ -d "$dir" ] || { echo "$dir is not a folder" >&2; exit 1; }
  [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"

  if ! as_server_user "$bin/initdb" -D "$dir/data" -U "$superuser" -A trust -E UTF8 --locale=C \
         --no-sync --no-instructions >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    exit 1
  fi
  cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = $(conf_quoted "$dir")
port = $port
EOF
  if $durable; then
    echo "track_commit_timestamp = on" >>"$dir/data/postgresql.conf"
  else
    # A throwaway server: nothing to keep across a crash, so no waiting for the disk.
    printf 'fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n' >>"$dir/data/postgresql.conf"
  fi
  if ! as_server_user "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null; then
    cat "$dir/server.log" >&2 2>/dev/null || true
    stop "$dir"
    exit 1
  fi
  [ -z "$owner" ] || watch_owner "$dir" "$owner"
}

# In its own session with no terminal or pipe of the caller's: CTest waits for every process that
# holds the test's output open.
watch_owner() {
  local dir=$1 owner=$2
  setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 1; done; "$2" stop "$3"' \
    watch "$owner" "$(realpath "$0")" "$dir" </dev/null >/dev/null 2>&1 &
}

stop() {
  local dir=$1
  local bin pid
  [ -d "$dir" ] || return 0
  if [ -f "$dir/data/postmaster.pid" ] && bin=$(server_bin_dir); then
    # The data are thrown away: no checkpoint to wait for.
    if ! as_server_user "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 20 stop >/dev/null 2>&1; then
      pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null || true)
      [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -rf "$dir"
}

# A server gone away while its clients go on, as when the network drops: its sessions are ended.
halt() {
  local dir=$1 bin
  bin=$(server_bin_dir) || exit 3
  as_server_user "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 20 stop >/dev/null
}

resume() {
  local dir=$1 bin
  bin=$(server_bin_dir) || exit 3
  as_server_user "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null
}

[ $# -ge 2 ] || usage
case $1 in
  start) [ $# -le 3 ] || usage; start "$2" "${3:-}" ;;
  start-durable) [ $# -le 3 ] || usage; start "$2" "${3:-}" true ;;
  stop) [ $# -eq 2 ] || usage; stop "$2" ;;
  halt) [ $# -eq 2 ] || usage; halt "$2" ;;
  resume) [ $# -eq 2 ] || usage; resume "$2" ;;
  *) usage ;;
esac
