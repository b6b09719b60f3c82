#!/usr/bin/env bash
# Makes the Windows installer, installs it silently into a fresh Wine prefix, checks that exactly
# the program's files land in Program Files with a Start menu entry and an "Apps & features" entry,
# converts the demo file with the installed program as a script would from cmd.exe, opens the
# window on it when a display is there, and uninstalls; with a display, tries to uninstall while
# the window is open too.
# With the servers file of the test run's PostgreSQL server, the installed program checks its
# installation against it too.
# Usage: test_install_windows.sh <cpack> <build dir> <wine-run.sh> [servers file]
set -euo pipefail
CPACK=$1 BUILD_DIR=$2 RUN=$3 SERVERS=${4:-}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

(cd "$BUILD_DIR" && "$CPACK" -G NSIS -B "$WORK/package" >/dev/null)
installer=$(echo "$WORK"/package/conversor-coletor-*-win64.exe)
prefix=$WORK/prefix
installed() { "$RUN" - "$prefix" "$@"; }

installed "$installer" /S
folder="$prefix/drive_c/Program Files/Conversor de Coletor de Dados"
expected() {
    printf '%s\n' conversor-coletor.exe conversor-coletor.com desinstalar.exe licenca.txt \
        Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Sql.dll sqlite3.dll libpq.dll \
        libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll \
        platforms/qwindows.dll styles/qwindowsvistastyle.dll qt.conf translations/qtbase_pt_BR.qm \
        licencas/qt/LGPL-3.0-only.txt licencas/qt/GPL-3.0-only.txt licencas/postgresql/COPYRIGHT \
        schema/firebird.sql schema/postgresql.sql schema/sqlite.sql \
        sqldrivers/qsqlite.dll sqldrivers/qsqlpsql.dll sqldrivers/qsqlibase.dll
}
if ! diff <(expected | sort) <(cd "$folder" && find . ! -type d | sed 's|^\./||' | sort); then
    fail "installed files differ from the expected list (< missing, > unexpected)"
fi
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Conversor de Coletor de Dados"
[ -f "$menu/Conversor de Coletor de Dados.lnk" ] || fail "no Start menu entry in $menu"
uninstall_link="Desinstalar o Conversor de Coletor de Dados.lnk"
entries=$(cd "$menu" && ls)
[ "$entries" = "Conversor de Coletor de Dados.lnk"$'\n'"$uninstall_link" ] ||
    fail "the Start menu holds: $entries"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\conversor-coletor'
installed reg query "$key" /v DisplayName 2>/dev/null | grep -q "Conversor de Coletor de Dados" ||
    fail "no \"Apps & features\" entry under $key"

# The installed program makes the demo folder and converts it from cmd.exe: one reading of the
# demo is processed already and three are not found, so the status is 1, the rest posted.
program='C:\Program Files\Conversor de Coletor de Dados\conversor-coletor'
installed cmd /c "$program" --demo "Z:${WORK//\//\\}\\demo" >/dev/null
set +e
(cd "$WORK/demo" && installed cmd /c "$program" --inventario coletor.txt --empresa 01 --causa 001 \
    --json >"$WORK/out.txt" 2>"$WORK/err.txt")
status=$?
set -e
summary=$(tr -d '\r' <"$WORK/out.txt")
echo "batch: status $status, $summary"
[ "$status" -eq 1 ] || fail "batch status $status, expected 1: $(cat "$WORK/err.txt")"
[[ $summary == *'"gravadas":9,'* && $summary == *'"Referência não encontrada.":3'* ]] ||
    fail "batch summary differs: $summary"

# PostgreSQL's client comes with the installation, Firebird's does not: an alias on Firebird is
# refused (status 3, no connection) with the DLL to install, and --verificar says which client it
# found where.
alias="Z:${WORK//\//\\}\\aliases.ini"
printf '[Telvaro]\nDriver=Firebird\nServerName=127.0.0.1/estoque\n' >"$WORK/aliases.ini"
set +e
(cd "$WORK/demo" && CONVERSOR_ALIASES=$alias installed cmd /c "$program" --inventario coletor.txt \
    --empresa 01 --causa 001 >/dev/null 2>"$WORK/err.txt")
status=$?
(cd "$WORK/demo" && CONVERSOR_ALIASES=$alias installed cmd /c "$program" --verificar \
    >"$WORK/out.txt" 2>&1)
checked=$?
set -e
grep -q fbclient.dll "$WORK/err.txt" && [ "$status" -eq 3 ] ||
    fail "Firebird without its client: status $status, $(cat "$WORK/err.txt")"
verified=$(tr -d '\r' <"$WORK/out.txt")
[[ $checked -eq 3 && $verified == *"ok    cliente libpq.dll: ${program%\\*}\\libpq.dll"* &&
    $verified == *"falha cliente fbclient.dll: não encontrado"* ]] ||
    fail "--verificar on Firebird without its client: status $checked, $verified"

# On the test run's PostgreSQL server, the installed program logs in with its own client and finds
# every table of the schema it installed.
if [ -n "$SERVERS" ] && [ -f "$SERVERS.postgresql" ]; then
    port=$(sed -n 's/^port=//p' "$SERVERS.postgresql")
    database=coletor_instalado_$$
    pg() { psql -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U SYSBDA "$@" >/dev/null; }
    pg -d postgres -c "CREATE DATABASE $database"
    pg -d "$database" -f "$folder/schema/postgresql.sql"
    printf '[Telvaro]\nDriver=PostgreSQL\nServerName=127.0.0.1:%s/%s\n' "$port" "$database" \
        >"$WORK/aliases.ini"
    # Away from the demo folder, whose Caminho.Dir names its SQLite file.
    set +e
    (cd "$WORK" && CONVERSOR_ALIASES=$alias installed cmd /c "$program" --verificar \
        >"$WORK/out.txt" 2>&1)
    checked=$?
    set -e
    pg -d postgres -c "DROP DATABASE $database"
    [ "$checked" -eq 0 ] || fail "--verificar on PostgreSQL: status $checked, $(cat "$WORK/out.txt")"
fi

# The window on the demo database: it must still be up after its start-up has connected.
if [ -n "${DISPLAY:-}" ]; then
    (cd "$WORK/demo" && installed "${program}.exe" >/dev/null 2>&1) &
    window=$!
    for _ in $(seq 30); do
        xwininfo -root -tree 2>/dev/null | grep -q '"Conversor de Coletor de Dados' && break
        sleep 1
    done
    xwininfo -root -tree | grep -q '"Conversor de Coletor de Dados' || fail "the window did not open"
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
    wait "$window" 2>/dev/null || true
fi

# The uninstaller goes on from a copy of itself in the temporary folder: wait for the prefix to end.
installed 'C:\Program Files\Conversor de Coletor de Dados\desinstalar.exe' /S
WINEPREFIX=$prefix "$wineserver" -w
[ ! -e "$folder/conversor-coletor.exe" ] || fail "the uninstaller left the program"
[ ! -e "$menu" ] || fail "the uninstaller left the Start menu entry"
WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true

# Uninstalled while the window is open, it removes nothing (silently it can't ask to close the
# program), and once the window is closed it removes everything. Installed into a folder without
# blanks: the uninstaller then runs in place (_?=, which takes no quotes) and gives its status.
if [ -n "${DISPLAY:-}" ]; then
    installed "$installer" /S '/D=C:\Coletor'
    (cd "$WORK/demo" && installed 'C:\Coletor\conversor-coletor.exe' >/dev/null 2>&1) &
    window=$!
    for _ in $(seq 30); do
        xwininfo -root -tree 2>/dev/null | grep -q '"Conversor de Coletor de Dados' && break
        sleep 1
    done
    set +e
    installed 'C:\Coletor\desinstalar.exe' /S '_?=C:\Coletor'
    status=$?
    set -e
    kept=$(cd "$prefix/drive_c/Coletor" && find . ! -type d | wc -l)
    [ "$status" -eq 2 ] && [ "$kept" -eq "$(expected | wc -l)" ] && [ -f "$menu/$uninstall_link" ] ||
        fail "uninstalled while open: status $status, $kept files kept, menu: $(ls "$menu" 2>&1)"
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
    wait "$window" 2>/dev/null || true
    installed 'C:\Coletor\desinstalar.exe' /S '_?=C:\Coletor'
    left=$(cd "$prefix/drive_c/Coletor" && find . ! -type d)
    [ "$left" = ./desinstalar.exe ] && [ ! -e "$menu" ] ||
        fail "uninstalled once closed, it left: $left $(ls "$menu" 2>&1)"
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
fi

[ "$failures" -eq 0 ] && echo "Windows installer: all checks passed"
exit $((failures > 0))
