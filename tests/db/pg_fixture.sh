#!/bin/sh
# Starts or stops a throwaway PostgreSQL server for the database tests.
#   pg_fixture.sh start STATE_DIR   writes STATE_DIR/conninfo (a libpq URI) and STATE_DIR/pgwork
#   pg_fixture.sh stop STATE_DIR    stops the server and removes its files and the conninfo
# With VELA_NO_POSTGRES=1 nothing is started (the tests then skip PostgreSQL and say so).
# As root, the server runs as the user postgres (initdb refuses root).
set -eu
action=$1
state=$2

if [ "${VELA_NO_POSTGRES:-0}" = "1" ]; then
  echo "VELA_NO_POSTGRES=1: no PostgreSQL server started"
  exit 0
fi

PGBIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$PGBIN" ]; then
  echo "PostgreSQL server binaries not found (install the package postgresql," \
    "or set VELA_NO_POSTGRES=1 to skip the PostgreSQL tests)" >&2
  exit 1
fi

as_pg() {
  if [ "$(id -u)" = "0" ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$action" in
start)
  mkdir -p "$state"
  if [ -f "$state/pgwork" ]; then "$0" stop "$state" || true; fi
  PGWORK=$(mktemp -d -t velapg.XXXXXX)
  if [ "$(id -u)" = "0" ]; then chown postgres:postgres "$PGWORK"; fi
  PGPORT=$(python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])')
  echo "$PGWORK" > "$state/pgwork"
  as_pg "$PGBIN/initdb" -D "$PGWORK/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$PGWORK/initdb.log" 2>&1 ||
    { cat "$PGWORK/initdb.log" >&2; exit 1; }
  as_pg "$PGBIN/pg_ctl" -D "$PGWORK/data" -l "$PGWORK/server.log" -w -t 30 \
    -o "-c listen_addresses=127.0.0.1 -p $PGPORT -k $PGWORK -c fsync=off -c max_connections=200" start >/dev/null ||
    { cat "$PGWORK/server.log" >&2; exit 1; }
  echo "postgresql://postgres@127.0.0.1:$PGPORT/postgres" > "$state/conninfo.tmp"
  mv "$state/conninfo.tmp" "$state/conninfo"
  echo "PostgreSQL started: $(cat "$state/conninfo")"
  ;;
stop)
  rm -f "$state/conninfo"
  [ -f "$state/pgwork" ] || exit 0
  PGWORK=$(cat "$state/pgwork")
  if [ -d "$PGWORK/data" ]; then
    as_pg "$PGBIN/pg_ctl" -D "$PGWORK/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$PGWORK"
  rm -f "$state/pgwork"
  echo "PostgreSQL stopped"
  ;;
*)
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
  ;;
esac
