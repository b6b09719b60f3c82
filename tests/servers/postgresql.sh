#!/usr/bin/env bash
# Starts (or stops) a throw-away PostgreSQL server on 127.0.0.1 for the tests, and records how to
# reach it in the servers file.  Usage: postgresql.sh start|stop <state-dir> <servers-file>
set -euo pipefail
action=$1 state=$2 servers=$3
port=${COLETOR_PG_PORT:-55432}
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then su postgres -s /bin/bash -c "$*"; else bash -c "$*"; fi
}

case $action in
start)
    mkdir -p "$state"
    "$0" stop "$state" "$servers"
    # The server's own user must reach its folder, which a build folder under /root is not.
    data=$(mktemp -d /tmp/coletor-postgresql.XXXXXX)
    echo "$data" >"$state/data-folder"
    if [ "$(id -u)" -eq 0 ]; then chown postgres "$data"; fi
    as_owner "$bin/initdb -D '$data/db' --auth=trust -U postgres -E UTF8 --locale=C.UTF-8" >/dev/null
    # Members of coletor_senha log in with a password, as on a shop's server; the rest are trusted.
    as_owner "sed -i '1i host all +coletor_senha 127.0.0.1/32 scram-sha-256' '$data/db/pg_hba.conf'"
    as_owner "$bin/pg_ctl -D '$data/db' -l '$data/postgresql.log' -w -t 60 \
        -o \"-p $port -k '$data' -c listen_addresses=127.0.0.1 -c fsync=off\" start" >/dev/null ||
        { cat "$data/postgresql.log"; exit 1; }
    # The tool logs in as SYSBDA; trust lets any password in.
    echo 'CREATE ROLE "SYSBDA" LOGIN SUPERUSER; CREATE ROLE coletor_senha NOLOGIN;' |
        as_owner "psql -q -h '$data' -p $port -U postgres -d postgres" >/dev/null
    mkdir -p "$(dirname "$servers")"
    {
        echo "[postgresql]"
        echo "host=127.0.0.1"
        echo "port=$port"
        echo "user=SYSBDA"
        echo "password=plombiruk"
        echo "password_group=coletor_senha"
    } >"$servers.postgresql"
    echo "PostgreSQL on 127.0.0.1:$port"
    ;;
stop)
    if [ -f "$state/data-folder" ]; then
        data=$(cat "$state/data-folder")
        if [ -f "$data/db/postmaster.pid" ]; then as_owner "$bin/pg_ctl -D '$data/db' -m fast stop" >/dev/null; fi
        rm -rf "$data" "$state/data-folder"
    fi
    ;;
esac
