#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs the whole test suite; the
# database tests run on SQLite and again on PostgreSQL and Firebird servers started for the run.
# With a Windows kit the Windows build follows (scripts/windows.sh).
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_packages "${BUILD_PACKAGES[@]}" "${SERVER_PACKAGES[@]}" "${INSTALL_TEST_PACKAGES[@]}"
build -DCOLETOR_WERROR=ON -DCOLETOR_SERVER_TESTS=ON
(cd "$BUILD_DIR" && ctest --output-on-failure --timeout 600)
# Windows too, built here and tested under Wine, whenever a Windows kit is at hand.
if [ -n "$(windows_kit_source)" ]; then
    "$ROOT/scripts/windows.sh"
fi
