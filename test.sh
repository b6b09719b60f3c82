#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs the whole test suite.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_packages "${BUILD_PACKAGES[@]}"
build -DCOLETOR_WERROR=ON
cd "$BUILD_DIR"
ctest --output-on-failure --timeout 600
