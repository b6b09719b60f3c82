#!/usr/bin/env bash
# run.sh builds the program and the demo maker, not the tests, makes the demo folder only when it
# is missing, and starts the program in it with its arguments. cmake, dpkg-query and the two
# programs are stand-ins that write down how they were called.
# Usage: test_run_script.sh <source dir>
set -euo pipefail
SOURCE_DIR=$1

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export WORK
mkdir -p "$WORK/bin" "$WORK/build/app"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

stand_in() {
    printf '#!/bin/sh\n%s\n' "$2" >"$1"
    chmod +x "$1"
}
stand_in "$WORK/bin/cmake" 'echo "cmake $*" >>"$WORK/calls"'
stand_in "$WORK/bin/dpkg-query" 'echo "install ok installed"'
stand_in "$WORK/build/app/conversor-demo" \
    'echo "demo $*" >>"$WORK/calls"; mkdir -p "$1" && : >"$1/telvaro.db"'
stand_in "$WORK/build/app/conversor-coletor" 'echo "program $PWD $*" >>"$WORK/calls"'

start() {
    PATH="$WORK/bin:$PATH" BUILD_DIR="$WORK/build" DEMO_DIR="$WORK/demo" \
        bash "$SOURCE_DIR/run.sh" "$@" >/dev/null
}

start --version
built=$(grep -- '--build' "$WORK/calls" || true)
case "$built" in
*"--target conversor-coletor conversor-demo") ;;
*) fail "run.sh builds more than the program and the demo maker: ${built:-nothing}" ;;
esac
grep -qx "demo $WORK/demo" "$WORK/calls" || fail "the demo folder was not made"
grep -qx "program $WORK/demo --version" "$WORK/calls" ||
    fail "the program was not started in the demo folder: $(cat "$WORK/calls")"

# A second start keeps the demo folder the clerk has been working in.
: >"$WORK/calls"
start
! grep -q '^demo ' "$WORK/calls" || fail "the demo folder was made again"
grep -qx "program $WORK/demo *" "$WORK/calls" || fail "the program was not started again: $(cat "$WORK/calls")"

[ "$failures" -eq 0 ] || exit 1
echo "run.sh: builds two programs, makes the demo folder once, starts the program there"
