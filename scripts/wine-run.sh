#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, the way ctest's emulator calls it:
#   wine-run.sh KIT PREFIX PROGRAM.exe [ARGUMENTS...]
# KIT is the unpacked Windows kit whose DLLs the program loads ("-" for an installed program that
# brings its own), PREFIX the Wine prefix (made when missing).
# The workstation is a Brazilian one: Wine takes its regional settings from the Unix locale, which
# is compiled into the prefix when the system lacks it. Qt Test writes nothing to Wine's standard
# output, so a test's results go to a file that is printed afterwards.
set -uo pipefail
kit=$1 prefix=$2
shift 2

# Wine starts its menu builder for every shortcut saved (a link a test makes is one), another
# process starting beside the program's own: it has no use here.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ "$kit" != - ]; then
    runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
    export WINEPATH="Z:$kit/qt6/bin;Z:$kit/sqlite/bin;Z:$kit/postgresql/bin;Z:$runtime;Z:/usr/x86_64-w64-mingw32/lib"
    export QT_PLUGIN_PATH="Z:$kit/qt6/plugins"
fi
if ! locale -a 2>/dev/null | grep -qi '^pt_BR\.utf-\?8$'; then
    [ -e "$prefix.locale/pt_BR.UTF-8" ] ||
        { mkdir -p "$prefix.locale" && localedef -i pt_BR -f UTF-8 "$prefix.locale/pt_BR.UTF-8"; }
    export LOCPATH=$prefix.locale
fi
locale=(LANG=pt_BR.UTF-8 LC_ALL=pt_BR.UTF-8)
# Windows has no TZ: the C runtime would read a zone name such as America/Sao_Paulo as UTC, while
# Windows itself takes the zone from Wine. Wine then uses the machine's zone for both.
unset TZ
# Qt's offscreen platform never activates a window under Wine; Wine's display on an X server does.
if [ "${QT_QPA_PLATFORM:-}" = offscreen ] && [ -n "${DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=windows
fi
wine=(env "${locale[@]}" "$(command -v wine64 || echo /usr/lib/wine/wine64)")
if ! grep -qs ShowCrashDialog "$prefix/user.reg"; then
    # Two tests starting at once must not both make the prefix.
    exec 9>"$prefix.lock"
    flock 9
    [ -e "$prefix/system.reg" ] || "${wine[@]}" wineboot -i >/dev/null 2>&1
    # A program that crashes on a display would wait for a click on Wine's crash dialog until
    # the test times out; without the dialog it ends, and its backtrace is on standard error.
    "${wine[@]}" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
    flock -u 9
fi

program=$1
shift
case "$(basename "$program")" in
test_*)
    results=$(mktemp --suffix=.txt)
    "${wine[@]}" "$program" "$@" -o "Z:${results//\//\\},txt" &
    pid=$!
    # A test program that wrote its last results line and has not ended some seconds later is
    # stuck at exit: say where its threads are and fail now, rather than at ctest's time limit.
    grace=${COLETOR_EXIT_GRACE:-15} finished=
    while kill -0 "$pid" 2>/dev/null; do
        if [ -z "$finished" ] && grep -qs '^\*\+ Finished testing of ' "$results"; then
            finished=$SECONDS
        elif [ -n "$finished" ] && ((SECONDS - finished >= grace)); then
            cat "$results"
            echo "$(basename "$program") wrote its results but did not end within $grace s;" \
                "where its threads are:"
            python3 "$(dirname "$0")/wine-stacks.py" "$pid" || true
            kill -9 "$pid" 2>/dev/null
            rm -f "$results"
            exit 1
        fi
        sleep 0.2
    done
    wait "$pid"
    status=$?
    cat "$results"
    rm -f "$results"
    exit "$status"
    ;;
*) exec "${wine[@]}" "$program" "$@" ;;
esac
