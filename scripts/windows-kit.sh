#!/usr/bin/env bash
# Builds the Windows kit from Debian's own sources: sqlite/ (sqlite3.dll, its import library and
# header) and qt6/ (Qt 6.4.2, the version of Debian's Qt, whose moc, rcc and uic serve the cross
# build), with Qt's licence texts and its PostgreSQL and Firebird plugins, and postgresql/
# (libpq.dll, PostgreSQL's client, with its licence). About 50 minutes on two cores, most of it Qt.
# Usage: windows-kit.sh KIT [sqlite|qt|sqldrivers|libpq|all]     (the sources are kept in KIT.src)
#        windows-kit.sh KIT sqldrivers FOLDER    the two plugins alone, against KIT's Qt, into FOLDER
#        windows-kit.sh KIT libpq FOLDER         libpq.dll alone into FOLDER/bin
set -euo pipefail
source "$(dirname "$0")/common.sh"
[ $# -ge 1 ] || { echo "uso: windows-kit.sh PASTA [sqlite|qt|sqldrivers|libpq|all] [DESTINO]" >&2; exit 2; }
mkdir -p "$1"
KIT=$(cd "$1" && pwd)
PART=${2:-all}
DRIVERS=$KIT/qt6/plugins/sqldrivers
POSTGRESQL=$KIT/postgresql
if [ $# -ge 3 ]; then
    mkdir -p "$3"
    DRIVERS=$(cd "$3" && pwd)
    POSTGRESQL=$DRIVERS
fi
SOURCES=$KIT.src
TOOLCHAIN=$ROOT/packaging/windows/mingw-w64-x86_64.cmake
export COLETOR_WINDOWS_KIT=$KIT

install_packages "${WINDOWS_PACKAGES[@]}" qt6-base-dev cmake tcl dpkg-dev xz-utils libpq-dev firebird-dev
# apt-get source needs a deb-src entry; the release's main archive is enough.
if ! apt-cache showsrc sqlite3 2>/dev/null | grep -q '^Package:'; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
        "$codename" /usr/share/keyrings/debian-archive-keyring.gpg |
        as_root tee /etc/apt/sources.list.d/conversor-coletor-src.sources >/dev/null
    as_root apt-get update -qq
fi
mkdir -p "$SOURCES"
cd "$SOURCES"

# download <package>: the files of the Debian source package that builds it, into this folder.
# Run as root, apt downloads as its own user, _apt, who may not write here (a build folder under
# /root): the files come into a folder of _apt's, then here.
download() {
    if [ "$(id -u)" -ne 0 ] || ! id _apt >/dev/null 2>&1; then
        apt-get source --download-only "$1" >/dev/null
        return
    fi
    local inbox
    inbox=$(mktemp -d)
    chown _apt "$inbox"
    (cd "$inbox" && apt-get source --download-only "$1" >/dev/null)
    mv "$inbox"/* .
    rmdir "$inbox"
}

# unpacked <package>: the upstream tree of a Debian source package, downloaded once.
unpacked() {
    local tarball
    tarball=$(ls "$1"_*.orig.tar.* 2>/dev/null | grep -v -- '-www\|orig-' | head -n1 || true)
    if [ -z "$tarball" ]; then
        download "$1"
        tarball=$(ls "$1"_*.orig.tar.* | grep -v -- '-www\|orig-' | head -n1)
    fi
    local tree
    tree=$(tar -tf "$tarball" | head -n1 | cut -d/ -f1)
    [ -d "$tree" ] || tar -xf "$tarball"
    echo "$SOURCES/$tree"
}

build_sqlite() {
    local tree
    tree=$(unpacked sqlite3)
    mkdir -p "$tree/native" "$KIT/sqlite/bin" "$KIT/sqlite/lib" "$KIT/sqlite/include"
    (cd "$tree/native" && { [ -f Makefile ] || ../configure >/dev/null; } && make sqlite3.c >/dev/null)
    # One DLL that the program's fast path and Qt's SQLite plugin share.
    x86_64-w64-mingw32-gcc-posix -O2 -shared -DSQLITE_API='__declspec(dllexport)' \
        -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_THREADSAFE=1 "$tree/native/sqlite3.c" \
        -o "$KIT/sqlite/bin/sqlite3.dll" -Wl,--out-implib,"$KIT/sqlite/lib/libsqlite3.dll.a"
    x86_64-w64-mingw32-strip --strip-unneeded "$KIT/sqlite/bin/sqlite3.dll"
    cp "$tree/native/sqlite3.h" "$tree/src/sqlite3ext.h" "$KIT/sqlite/include/"
}

build_qt() {
    local tree
    tree=$(unpacked qt6-base)
    # With OpenGL off the Windows platform plugin still reaches for dynamic OpenGL.
    sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
        "$tree/src/plugins/platforms/windows/qwindowswindow.cpp"
    local bundled=()
    for library in zlib pcre2 harfbuzz freetype png jpeg doubleconversion; do
        bundled+=("-DFEATURE_system_$library=OFF")
    done
    # Debian's source drops the Windows tablet header, hence no tablet events.
    cmake -S "$tree" -B "$SOURCES/qt-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCOLETOR_WINDOWS_KIT="$KIT" -DCMAKE_INSTALL_PREFIX="$KIT/qt6" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF \
        -DQT_BUILD_TESTS=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
        -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_ibase=OFF \
        -DFEATURE_sql_mysql=OFF -DFEATURE_testlib=ON "${bundled[@]}" \
        -DSQLite3_INCLUDE_DIR="$KIT/sqlite/include" \
        -DSQLite3_LIBRARY="$KIT/sqlite/lib/libsqlite3.dll.a"
    cmake --build "$SOURCES/qt-build" --parallel "$(nproc)"
    cmake --install "$SOURCES/qt-build"
    find "$KIT/qt6" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
    mkdir -p "$KIT/licenses/qt"
    cp "$tree"/LICENSES/*.txt "$KIT/licenses/qt/"
}

# Qt's PostgreSQL and Firebird plugins, built on their own against the kit's Qt into DRIVERS. They link
# the servers' client DLLs (libpq.dll, which build_libpq makes, and fbclient.dll, which a shop using
# Firebird has): the build needs only their headers, Debian's, and import libraries made from a
# list of the functions Qt's plugins call.
build_sqldrivers() {
    local tree clients=$SOURCES/clients
    tree=$(unpacked qt6-base)
    rm -rf "$clients" && mkdir -p "$clients/include" "$clients/lib" "$DRIVERS"
    cp /usr/include/postgresql/libpq-fe.h /usr/include/postgresql/postgres_ext.h \
        /usr/include/ibase.h "$clients/include/"
    # Debian's configuration headers describe Linux; the plugin takes only the client's version
    # from them, and Windows' 64-bit integer is a long long.
    grep -E '^#define PG_(MAJORVERSION|VERSION|VERSION_NUM) ' /usr/include/postgresql/pg_config.h \
        >"$clients/include/pg_config.h"
    echo '#define PG_INT64_TYPE long long int' >"$clients/include/pg_config_ext.h"
    for client in libpq fbclient; do
        x86_64-w64-mingw32-dlltool -d "$ROOT/packaging/windows/$client.def" \
            -l "$clients/lib/lib$client.dll.a"
    done
    cmake -S "$tree/src/plugins/sqldrivers" -B "$SOURCES/sqldrivers-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCOLETOR_WINDOWS_KIT="$KIT" \
        -DCMAKE_PREFIX_PATH="$KIT/qt6" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_BUILD_TYPE=Release \
        -DFEATURE_sql_sqlite=OFF -DFEATURE_sql_odbc=OFF -DFEATURE_sql_mysql=OFF \
        -DFEATURE_sql_db2=OFF -DFEATURE_sql_oci=OFF \
        -DPostgreSQL_INCLUDE_DIR="$clients/include" \
        -DPostgreSQL_LIBRARY_RELEASE="$clients/lib/liblibpq.dll.a" \
        -DPostgreSQL_LIBRARY="$clients/lib/liblibpq.dll.a" \
        -DInterbase_INCLUDE_DIR="$clients/include" \
        -DInterbase_LIBRARY="$clients/lib/libfbclient.dll.a" >/dev/null
    cmake --build "$SOURCES/sqldrivers-build" --parallel "$(nproc)"
    local plugin
    for plugin in qsqlpsql qsqlibase; do
        x86_64-w64-mingw32-strip --strip-unneeded \
            "$(find "$SOURCES/sqldrivers-build" -name "$plugin.dll" | head -n1)" \
            -o "$DRIVERS/$plugin.dll"
    done
}

# PostgreSQL's client, libpq.dll, from Debian's source of the package that builds its libpq5
# (Debian's patches applied), cross-built with the same toolchain as the program into
# POSTGRESQL/bin, with PostgreSQL's licence. Without OpenSSL, GSSAPI or zlib, which the kit has
# not: it talks to a server without SSL and logs in with SCRAM or MD5 passwords. It needs only
# Windows' own DLLs. A few minutes, most of them configure's.
build_libpq() {
    local dsc tree=$SOURCES/postgresql build=$SOURCES/libpq-build
    dsc=$(ls postgresql-[0-9]*_*.dsc 2>/dev/null | head -n1 || true)
    if [ -z "$dsc" ]; then
        download libpq5
        dsc=$(ls postgresql-[0-9]*_*.dsc | head -n1)
    fi
    # apt has checked the files against the archive's signed index; the .dsc's own signature
    # needs Debian's keyring, which a build machine may lack.
    [ -d "$tree" ] || dpkg-source --no-check -x "$dsc" "$tree" >/dev/null
    mkdir -p "$build" "$POSTGRESQL/bin"
    (
        cd "$build"
        [ -f config.status ] || "$tree/configure" --host=x86_64-w64-mingw32 \
            CC=x86_64-w64-mingw32-gcc-posix --without-readline --without-zlib --without-icu \
            --without-openssl --without-gssapi --without-llvm --disable-nls >/dev/null
        make -C src/backend generated-headers >/dev/null
        # Of PostgreSQL's own libraries, only the builds the client's DLL links: not the server's.
        make -C src/port libpgport.a libpgport_shlib.a --jobs "$(nproc)" >/dev/null
        make -C src/common libpgcommon.a libpgcommon_shlib.a --jobs "$(nproc)" >/dev/null
        make -C src/interfaces/libpq SHLIB_PREREQS= --jobs "$(nproc)" >/dev/null
    )
    x86_64-w64-mingw32-strip --strip-unneeded "$build/src/interfaces/libpq/libpq.dll" \
        -o "$POSTGRESQL/bin/libpq.dll"
    cp "$tree/COPYRIGHT" "$POSTGRESQL/COPYRIGHT"
}

case $PART in
sqlite) build_sqlite ;;
qt) build_qt ;;
sqldrivers) build_sqldrivers ;;
libpq) build_libpq ;;
all) build_sqlite && build_qt && build_sqldrivers && build_libpq ;;
*) echo "parte desconhecida: $PART" >&2 && exit 2 ;;
esac
echo "Kit do Windows em $KIT"
