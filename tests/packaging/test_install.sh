#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks that exactly the desktop program's files land
# there, that the menu entry and the software centre metadata validate and that the manual page
# is the program's --help, then builds the Debian package and checks its contents, its
# dependencies, its changelog and, when lintian is installed, that lintian finds no error.
# Usage: test_install.sh <cmake> <cpack> <build dir> <application id>
set -euo pipefail
CMAKE=$1 CPACK=$2 BUILD_DIR=$3 APP_ID=$4
MANPAGE_SH=$(cd "$(dirname "$0")/../../packaging" && pwd)/manpage.sh

for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream \
    dpkg-shlibdeps:dpkg-dev dpkg-deb:dpkg file:file; do
    if ! command -v "${tool%%:*}" >/dev/null; then
        echo "SKIP: ${tool%%:*} is missing (package ${tool#*:}; ./test.sh installs it)"
        exit 77
    fi
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
PREFIX=$WORK/usr
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

"$CMAKE" --install "$BUILD_DIR" --prefix "$PREFIX" >/dev/null

ICON_SIZES=(16 22 24 32 48 64 128 256)
expected() {
    echo bin/conversor-coletor
    echo share/applications/conversor-coletor.desktop
    for size in "${ICON_SIZES[@]}"; do
        echo "share/icons/hicolor/${size}x${size}/apps/conversor-coletor.png"
    done
    echo share/icons/hicolor/scalable/apps/conversor-coletor.svg
    echo "share/metainfo/$APP_ID.metainfo.xml"
    for engine in firebird postgresql sqlite; do
        echo "share/conversor-coletor/$engine.sql"
    done
    echo share/doc/conversor-coletor/copyright
    echo share/doc/conversor-coletor/changelog.Debian.gz
    echo share/man/man1/conversor-coletor.1.gz
    echo share/lintian/overrides/conversor-coletor
}
# Nothing from the tests, the benchmarks or the demo tool, and nothing missing.
if ! diff <(expected | sort) <(cd "$PREFIX" && find . ! -type d | sed 's|^\./||' | sort); then
    fail "installed files differ from the expected list (< missing, > unexpected)"
fi

[ -x "$PREFIX/bin/conversor-coletor" ] || fail "bin/conversor-coletor is not executable"
for size in "${ICON_SIZES[@]}"; do
    png=$PREFIX/share/icons/hicolor/${size}x${size}/apps/conversor-coletor.png
    [ -f "$png" ] && { file "$png" | grep -q "PNG image data, $size x $size," ||
        fail "$png is not a $size x $size PNG: $(file -b "$png")"; }
done

desktop=$PREFIX/share/applications/conversor-coletor.desktop
metainfo=$PREFIX/share/metainfo/$APP_ID.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate refused the menu entry"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refused the metadata"

# The menu entry, the icon theme and the metadata must name each other's files.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$PREFIX/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
[ -f "$PREFIX/share/icons/hicolor/48x48/apps/$icon_name.png" ] ||
    fail "Icon=$icon_name has no installed icon"
grep -q "<id>$APP_ID</id>" "$metainfo" || fail "the metadata's id is not $APP_ID"
grep -q '<launchable type="desktop-id">conversor-coletor.desktop</launchable>' "$metainfo" ||
    fail "the metadata does not launch the installed menu entry"
grep -Eq '<image>https?://[^<]+\.png</image>' "$metainfo" || fail "no screenshot reference"

# The manual page is the installed program's --help, and names every option the help names.
manual=$PREFIX/share/man/man1/conversor-coletor.1.gz
"$MANPAGE_SH" "$PREFIX/bin/conversor-coletor" "$WORK/expected.1"
cmp -s <(gzip -dc "$manual") "$WORK/expected.1" ||
    fail "the manual page is not the one --help makes: $(diff <(gzip -dc "$manual") \
        "$WORK/expected.1" | head -5)"
# Read whole first: grep -q leaving a pipe early would end its writer by SIGPIPE, which pipefail
# counts as a failure once the page outgrows one write.
manual_text=$(gzip -dc "$manual" | sed 's/\\-/-/g')
for option in $("$PREFIX/bin/conversor-coletor" --help | grep -oE '^  (-[a-z], )?--[a-z-]+' |
    grep -oE -- '--[a-z-]+'); do
    grep -qF -- "$option" <<<"$manual_text" || fail "the manual page lacks $option"
done
copyright=$PREFIX/share/doc/conversor-coletor/copyright
head -1 "$copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"

# The package holds what the install holds, and asks for what Qt loads at run time.
"$CPACK" -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$WORK/package" >/dev/null
deb=$(find "$WORK/package" -maxdepth 1 -name 'conversor-coletor_*.deb')
if [ -z "$deb" ]; then
    fail "cpack made no conversor-coletor package"
else
    if ! diff <(expected | sed 's|^|usr/|' | sort) \
        <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort); then
        fail "the package's files differ from the expected list"
    fi
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in libqt6widgets6 libqt6sql6 qt6-qpa-plugins libqt6sql6-sqlite; do
        grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
    done
    recommends=$(dpkg-deb -f "$deb" Recommends)
    for package in libqt6sql6-psql libqt6sql6-ibase qt6-translations-l10n; do
        grep -Eq "(^|, )$package( |,|$)" <<<"$recommends" ||
            fail "Recommends lacks $package: $recommends"
    done
    # A release without its changelog entry shows here.
    version=$(dpkg-deb -f "$deb" Version)
    entry=$(gzip -dc "$PREFIX/share/doc/conversor-coletor/changelog.Debian.gz" | sed -n 1p)
    [[ $entry == "conversor-coletor ($version) "* ]] ||
        fail "the changelog's last entry is not version $version: $entry"
    if command -v lintian >/dev/null; then
        # Status 1 is lintian's for errors found; anything above, lintian itself failed.
        status=0
        tags=$(lintian --no-cfg "$deb" 2>&1) || status=$?
        if [ "$status" -gt 1 ] || grep -Eq '^E: |extended-description-line-too-long' <<<"$tags"
        then
            fail "lintian finds errors (status $status): $tags"
        fi
    else
        echo "lintian is missing (package lintian; ./test.sh installs it): the package is not linted"
    fi
fi

[ "$failures" -eq 0 ]
