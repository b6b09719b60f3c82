#!/usr/bin/env bash
# Starts (or stops) a throw-away PostgreSQL server on 127.0.0.1 for the tests, and records how to
# reach it in the servers file.  Usage: postgresql.sh start|stop <state-dir> <servers-file>
set -euo pipefail
action=$1 state=$2 servers=$3
port=${COLETOR_PG_PORT:-55432}
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
data=$state/pgdata

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then su postgres -s /bin/bash -c "$*"; else bash -c "$*"; fi
}

case $action in
start)
    mkdir -p "$state"
    if [ "$(id -u)" -eq 0 ]; then chown postgres "$state"; fi
    if [ -f "$data/postmaster.pid" ]; then as_owner "$bin/pg_ctl -D '$data' -m fast stop" || true; fi
    rm -rf "$data"
    as_owner "$bin/initdb -D '$data' --auth=trust -U postgres -E UTF8 --locale=C.UTF-8" >/dev/null
    as_owner "$bin/pg_ctl -D '$data' -l '$state/postgresql.log' -w -t 60 \
        -o \"-p $port -k '$state' -c listen_addresses=127.0.0.1 -c fsync=off\" start" >/dev/null
    mkdir -p "$(dirname "$servers")"
    {
        echo "[postgresql]"
        echo "host=127.0.0.1"
        echo "port=$port"
        echo "user=postgres"
    } >"$servers.postgresql"
    echo "PostgreSQL on 127.0.0.1:$port"
    ;;
stop)
    if [ -f "$data/postmaster.pid" ]; then as_owner "$bin/pg_ctl -D '$data' -m fast stop" >/dev/null; fi
    ;;
esac
