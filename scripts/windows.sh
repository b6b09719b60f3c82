#!/usr/bin/env bash
# Cross-builds the program for 64-bit Windows into build-windows/, runs its tests under Wine (the
# widget tests on an Xvfb display, the database tests on SQLite and on a PostgreSQL server they
# start), checks the installer in a fresh Wine prefix, and leaves the installer and the portable
# zip in build-windows/. The tests' summary is the last thing it prints.
#
# The Windows kit comes from COLETOR_WINDOWS_KIT (an unpacked kit, its windows-kit.tar.xz, or the
# folder holding it), else ../shared/windows-kit beside the repository; without one it is built
# from Debian's sources by scripts/windows-kit.sh into ~/.cache (about 50 minutes). Qt's PostgreSQL
# and Firebird plugins come with the kit, or are built against it into build-windows/plugins;
# PostgreSQL's libpq.dll comes with the kit, or is built into ~/.cache.
set -euo pipefail
source "$(dirname "$0")/common.sh"

install_packages "${WINDOWS_PACKAGES[@]}" qt6-base-dev cmake postgresql
source=$(windows_kit_source)
if [ -z "$source" ]; then
    source=${XDG_CACHE_HOME:-$HOME/.cache}/conversor-coletor/windows-kit
    [ -d "$source/qt6" ] || "$ROOT/scripts/windows-kit.sh" "$source"
fi
[ -d "$source" ] && [ -f "$source/windows-kit.tar.xz" ] && source=$source/windows-kit.tar.xz
if [ -d "$source/qt6" ]; then
    kit=$source
else
    # A packed kit is unpacked into the build folder, again whenever it changes.
    kit=$WINDOWS_BUILD_DIR/kit
    if [ ! -f "$kit/.unpacked" ] || [ "$source" -nt "$kit/.unpacked" ]; then
        rm -rf "$kit" && mkdir -p "$kit"
        tar -C "$kit" -xJf "$source"
        touch "$kit/.unpacked"
    fi
fi

# What a kit lacks is added to the kit the build uses: a packed kit's unpacked copy, or for an
# unpacked one a copy made of links to its files.
own_kit() {
    if [ "$kit" != "$WINDOWS_BUILD_DIR/kit" ]; then
        rm -rf "$WINDOWS_BUILD_DIR/kit" && mkdir -p "$WINDOWS_BUILD_DIR/kit"
        cp -rs "$kit/." "$WINDOWS_BUILD_DIR/kit/"
        kit=$WINDOWS_BUILD_DIR/kit
    fi
}

# Qt's PostgreSQL and Firebird plugins. A kit without them, as the shared one, gets them built
# against it once into build-windows/plugins (about a minute, most of it fetching and unpacking
# Qt's source).
drivers=$WINDOWS_BUILD_DIR/plugins/sqldrivers
has_drivers() { [ -f "$1/qsqlpsql.dll" ] && [ -f "$1/qsqlibase.dll" ]; }
if ! has_drivers "$kit/qt6/plugins/sqldrivers"; then
    own_kit
    has_drivers "$drivers" || "$ROOT/scripts/windows-kit.sh" "$kit" sqldrivers "$drivers"
    cp "$drivers/qsqlpsql.dll" "$drivers/qsqlibase.dll" "$kit/qt6/plugins/sqldrivers/"
fi

# PostgreSQL's client, libpq.dll, which the installation brings. A kit without it, as the shared
# one, gets it built from Debian's source once into the cache (some minutes).
libpq=${XDG_CACHE_HOME:-$HOME/.cache}/conversor-coletor/windows-libpq
if [ ! -f "$kit/postgresql/bin/libpq.dll" ]; then
    own_kit
    [ -f "$libpq/bin/libpq.dll" ] || "$ROOT/scripts/windows-kit.sh" "$kit" libpq "$libpq"
    rm -rf "$kit/postgresql" && cp -r "$libpq" "$kit/postgresql"
fi

# -O2 as the Linux build: at -O3 GCC 12 takes a QString inside std::optional for uninitialised.
# The server tests run on PostgreSQL, whose client the kit has, on a server the tests start.
cmake -S "$ROOT" -B "$WINDOWS_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCOLETOR_WERROR=ON \
    -DCOLETOR_SERVER_TESTS=ON -DCOLETOR_SERVER_ENGINES=postgresql \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/packaging/windows/mingw-w64-x86_64.cmake" \
    -DCOLETOR_WINDOWS_KIT="$kit" -DQT_HOST_PATH=/usr -DCMAKE_PREFIX_PATH="$kit/qt6" >/dev/null
cmake --build "$WINDOWS_BUILD_DIR" --parallel "$(nproc)"
cd "$WINDOWS_BUILD_DIR"
cpack -G "NSIS;ZIP" >/dev/null
ls -l "$WINDOWS_BUILD_DIR"/conversor-coletor-*-win64.{exe,zip}
xvfb-run -a -s '-screen 0 1280x1024x24' ctest --output-on-failure --timeout 600
