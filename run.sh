#!/usr/bin/env bash
# Installs what is missing, builds the program and the demo maker (not the tests), makes the
# demo folder if it is missing and starts the tool there, on the embedded demo database.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_packages "${BUILD_PACKAGES[@]}"
configure
build_targets conversor-coletor conversor-demo
DEMO_DIR=${DEMO_DIR:-$ROOT/demo}
if [ ! -f "$DEMO_DIR/telvaro.db" ]; then
    "$BUILD_DIR/app/conversor-demo" "$DEMO_DIR"
fi
cd "$DEMO_DIR"
# The demo is a Brazilian workstation's: decimal comma and 24-hour time. Passed through env so
# that this shell does not try to switch to a locale the machine may not have installed.
exec env LC_NUMERIC="${LC_NUMERIC:-pt_BR.UTF-8}" LC_TIME="${LC_TIME:-pt_BR.UTF-8}" \
    "$BUILD_DIR/app/conversor-coletor" "$@"
