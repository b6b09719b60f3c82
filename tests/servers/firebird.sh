#!/usr/bin/env bash
# Starts (or stops) the Firebird server on 127.0.0.1 for the tests, and records how to reach it in
# the servers file.  Usage: firebird.sh start|stop <state-dir> <servers-file>
set -euo pipefail
action=$1 state=$2 servers=$3
port=3050

as_firebird() {
    if [ "$(id -u)" -eq 0 ]; then su firebird -s /bin/bash -c "$*"; else sudo -u firebird bash -c "$*"; fi
}
listening() { (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; }

case $action in
start)
    mkdir -p "$state"
    # The server's own user must reach the database folder, which a build folder under /root is not.
    data=$(mktemp -d /tmp/coletor-firebird.XXXXXX)
    echo "$data" >"$state/data-folder"
    if [ "$(id -u)" -eq 0 ]; then chown firebird "$data"; fi
    if ! listening; then
        nohup bash -c "$(declare -f as_firebird); as_firebird /usr/sbin/firebird" >"$state/firebird.log" 2>&1 &
        for _ in $(seq 1 60); do listening && break; sleep 0.5; done
        listening || { echo "Firebird did not start"; cat "$state/firebird.log"; exit 1; }
        # Only the server this script started is stopped again.
        pgrep -n -x firebird >"$state/firebird.pid"
    fi
    # The package sets a random SYSDBA password at install time.
    password=$(sed -n 's/^ISC_PASSWORD="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' /etc/firebird/3.0/SYSDBA.password)
    # The tool logs in as SYSBDA; the test databases are its own.
    isql-fb -q <<SQL >/dev/null
CREATE DATABASE '127.0.0.1/$port:$data/users.fdb' USER 'SYSDBA' PASSWORD '$password';
CREATE OR ALTER USER SYSBDA PASSWORD 'plombiruk';
GRANT CREATE DATABASE TO USER SYSBDA;
COMMIT;
DROP DATABASE;
SQL
    mkdir -p "$(dirname "$servers")"
    {
        echo "[firebird]"
        echo "host=127.0.0.1"
        echo "port=$port"
        echo "user=SYSBDA"
        echo "password=plombiruk"
        echo "folder=$data"
        # The server's administrator, who alone adds users.
        echo "admin_user=SYSDBA"
        echo "admin_password=$password"
    } >"$servers.firebird"
    echo "Firebird on 127.0.0.1:$port"
    ;;
stop)
    if [ -f "$state/data-folder" ]; then
        rm -rf "$(cat "$state/data-folder")" "$state/data-folder"
    fi
    if [ -f "$state/firebird.pid" ]; then
        kill "$(cat "$state/firebird.pid")" 2>/dev/null || true
        rm -f "$state/firebird.pid"
    fi
    ;;
esac
