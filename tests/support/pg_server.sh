#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests.
#
#   pg_server.sh start STATE_DIR   starts a fresh server, writes STATE_DIR/connection.env
#   pg_server.sh stop STATE_DIR    stops it and removes its files
#
# The server listens on 127.0.0.1 (a free port) and on a Unix socket in its own
# folder, asks every client for a scram-sha-256 password and holds:
#   - the role "kolvadex_test" with a random password;
#   - the database "kolvadex_test" with the schema "rarazove", owned by that role;
#   - the database "kolvadex_noschema" without it.
# connection.env holds one "key=value" line each for host, port, socket_dir,
# database, database_without_schema, user, password, admin_user and
# admin_password.
#
# The cluster lives in STATE_DIR/server, or in a fresh folder under ${TMPDIR:-/tmp}
# when the server's user cannot reach STATE_DIR or its socket path would be too
# long; STATE_DIR/workdir names the folder. initdb and postgres refuse to run as
# root: as root they run as the user "postgres" (or "nobody" when there is none).
# Start first stops a server that an aborted run left behind. The binaries are
# those of PostgreSQL 15 (or PG_BINDIR when set).
set -euo pipefail

usage() {
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
action=$1
mkdir -p "$2"
state=$(cd "$2" && pwd)

bindir=${PG_BINDIR:-/usr/lib/postgresql/15/bin}
if [ ! -x "$bindir/postgres" ]; then
  newest=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
  [ -n "$newest" ] && bindir=$newest
fi

server_user=""
if [ "$(id -u)" -eq 0 ]; then
  if id postgres >/dev/null 2>&1; then server_user=postgres; else server_user=nobody; fi
fi

# Runs a command as the server's user.
as_server() {
  if [ -n "$server_user" ]; then
    setpriv --reuid="$server_user" --regid="$(id -g "$server_user")" --init-groups \
      env HOME=/ "$@"
  else
    "$@"
  fi
}

stop_server() {
  [ -f "$state/workdir" ] || return 0
  local work
  work=$(cat "$state/workdir")
  if [ -f "$work/data/postmaster.pid" ]; then
    if ! as_server "$bindir/pg_ctl" -D "$work/data" stop -m fast -w -t 30 >/dev/null 2>&1; then
      as_server "$bindir/pg_ctl" -D "$work/data" stop -m immediate -w -t 30 >/dev/null 2>&1 || true
      local pid
      pid=$(head -n 1 "$work/data/postmaster.pid" 2>/dev/null || true)
      if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" || true; fi
    fi
  fi
  # Keep the server's log for a look after a failed run.
  cp "$work/server.log" "$state/server.log" 2>/dev/null || true
  if [ "$work" = "$state/server" ] || [[ "$(basename "$work")" == kolvadex-pg.* ]]; then
    rm -rf "$work"
  fi
  rm -f "$state/workdir" "$state/connection.env"
}

random_hex() { od -An -N"$1" -tx1 /dev/urandom | tr -d ' \n'; }

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start_server() {
  stop_server
  # A start that fails half-way leaves no server behind.
  started=no
  trap '[ "$started" = yes ] || stop_server' EXIT

  # The cluster's folder: in the state folder when the server's user can reach
  # it and the socket path fits (Unix socket paths have at most 107 bytes).
  local work="$state/server"
  mkdir -p "$work"
  [ -n "$server_user" ] && chown "$server_user" "$work"
  if ! as_server test -w "$work" || [ ${#work} -gt 80 ]; then
    rm -rf "$work"
    work=$(mktemp -d "${TMPDIR:-/tmp}/kolvadex-pg.XXXXXX")
    chmod 755 "$work"
    [ -n "$server_user" ] && chown "$server_user" "$work"
  fi
  echo "$work" >"$state/workdir"

  local admin_password user_password
  admin_password=$(random_hex 16)
  user_password=$(random_hex 16)
  as_server mkdir -p "$work/run"
  as_server sh -c 'umask 077; cat >"$1"' sh "$work/admin.pw" <<<"$admin_password"

  as_server "$bindir/initdb" -D "$work/data" -U kolvadex_admin --pwfile="$work/admin.pw" \
    --auth=scram-sha-256 --encoding=UTF8 --locale=C --no-sync >"$work/initdb.log" 2>&1 || {
    cat "$work/initdb.log" >&2
    exit 1
  }
  as_server sh -c 'cat >"$1"' sh "$work/data/pg_hba.conf" <<'HBA'
local all all scram-sha-256
host  all all 127.0.0.1/32 scram-sha-256
HBA
  as_server sh -c 'cat >>"$1"' sh "$work/data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$work/run'
max_connections = 100
shared_buffers = 16MB
fsync = off
synchronous_commit = off
full_page_writes = off
lc_messages = 'C'
CONF

  # A free port; another process may take it between the check and the
  # start, so a failed start tries another one.
  local port="" attempt
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 40000))
    port_in_use "$port" && continue
    if as_server "$bindir/pg_ctl" -D "$work/data" -l "$work/server.log" -w -t 60 \
      -o "-p $port" start >/dev/null 2>&1; then
      break
    fi
    port=""
  done
  if [ -z "$port" ]; then
    echo "PostgreSQL server did not start; its log:" >&2
    cat "$work/server.log" >&2 || true
    exit 1
  fi

  PGPASSWORD=$admin_password "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h "$work/run" -p "$port" \
    -U kolvadex_admin -d postgres >/dev/null <<SQL
CREATE ROLE kolvadex_test LOGIN PASSWORD '$user_password';
CREATE DATABASE kolvadex_test OWNER kolvadex_test;
CREATE DATABASE kolvadex_noschema OWNER kolvadex_test;
\\connect kolvadex_test
CREATE SCHEMA rarazove AUTHORIZATION kolvadex_test;
SQL

  umask 077
  cat >"$state/connection.env" <<ENV
host=127.0.0.1
port=$port
socket_dir=$work/run
database=kolvadex_test
database_without_schema=kolvadex_noschema
user=kolvadex_test
password=$user_password
admin_user=kolvadex_admin
admin_password=$admin_password
ENV
  started=yes
  echo "PostgreSQL server on 127.0.0.1:$port and $work/run"
}

case "$action" in
  start) start_server ;;
  stop) stop_server ;;
  *) usage ;;
esac
