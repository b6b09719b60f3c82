# Shared by run.sh and test.sh: installs what is missing and builds.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

BUILD_PACKAGES=(build-essential cmake qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql
                libqt6sql6-ibase libsqlite3-dev fonts-dejavu-core)

# Servers the engine tests also run on, started by the tests themselves on 127.0.0.1.
SERVER_PACKAGES=(postgresql firebird3.0-server firebird3.0-utils)

# What the install test validates, packages and checks the package with, and Qt's own
# Portuguese texts, which the window's tests read back.
INSTALL_TEST_PACKAGES=(desktop-file-utils appstream dpkg-dev file lintian qt6-translations-l10n)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages given that are not installed yet.
install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}"
    fi
}

# Configures; extra arguments go to cmake's configure step.
configure() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

# Builds the targets given, or every target (the tests too) when none is given.
build_targets() {
    local targets=()
    [ "$#" -eq 0 ] || targets=(--target "$@")
    cmake --build "$BUILD_DIR" --parallel "$(nproc)" "${targets[@]}"
}

# Configures and builds every target; extra arguments go to cmake's configure step.
build() {
    configure "$@"
    build_targets
}

# The Windows leg: the cross compiler, Wine with its fonts to run the tests and the installed
# program (on an X server for the window), NSIS for the installer, localedef's data for a
# Brazilian Wine, and Qt's Portuguese texts, which the installer takes from Debian.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix ninja-build wine64 fonts-wine xvfb xauth x11-utils nsis
                  locales qt6-translations-l10n)
WINDOWS_BUILD_DIR=${WINDOWS_BUILD_DIR:-$ROOT/build-windows}

# The Windows kit (Qt and SQLite built for Windows) to use: COLETOR_WINDOWS_KIT, else the shared
# one beside the repository; prints nothing when there is none.
windows_kit_source() {
    local kit=${COLETOR_WINDOWS_KIT:-$ROOT/../shared/windows-kit}
    if [ -e "$kit" ]; then
        (cd "$(dirname "$kit")" && echo "$PWD/$(basename "$kit")")
    fi
}
