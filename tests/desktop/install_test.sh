#!/bin/sh
# Installs the built program into a temporary staging folder (DESTDIR), as
# `make install` does, and checks that a desktop finds everything in its standard place: the
# program, the desktop entry, the icon in the hicolor theme, the AppStream
# metainfo and the machine-wide settings hive. The desktop entry and the
# metainfo must pass the freedesktop validators.
# The machine-wide hive must land where the program reads it.
#   install_test.sh BINARY_DIR SOURCE_DIR INSTALL_PREFIX MACHINE_HIVE
set -eu
build=$1
src=$2
stage=$(mktemp -d "${TMPDIR:-/tmp}/vantoria-install-XXXXXX")
trap 'rm -rf "$stage"' EXIT INT TERM
prefix="$stage$3"
hive="$stage$4"

fail() { echo "install_test: $*" >&2; exit 1; }

DESTDIR="$stage" cmake --install "$build" >"$stage.log" 2>&1 || { cat "$stage.log" >&2; rm -f "$stage.log"; fail "cmake --install failed"; }
rm -f "$stage.log"

app=io.github.vantoria.Vantoria
desktop="$prefix/share/applications/$app.desktop"
metainfo="$prefix/share/metainfo/$app.metainfo.xml"
icon="$prefix/share/icons/hicolor/scalable/apps/vantoria.svg"

[ -x "$prefix/bin/vantoria" ] || fail "no program in bin/"
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no metainfo"
[ -f "$icon" ] || fail "no icon in the hicolor theme"
man="$prefix/share/man/man1/vantoria.1"
[ -f "$man" ] || fail "no manual page in share/man/man1"
warnings=$(groff -man -ww -z "$man" 2>&1) && [ -z "$warnings" ] || fail "manual page: $warnings"
if [ -f "$src/resources/machine.reg" ]; then
    [ -f "$hive" ] || fail "no machine-wide settings hive where the program reads it ($4)"
    cmp -s "$src/resources/machine.reg" "$hive" || fail "machine hive differs"
    strings "$prefix/bin/vantoria" | grep -qF "$4" || fail "the program does not read $4"
fi

# The entry starts the installed program by the name of its icon.
grep -qx 'Exec=vantoria' "$desktop" || fail "desktop entry does not run vantoria"
grep -qx 'Icon=vantoria' "$desktop" || fail "desktop entry does not name the icon"
for option in next previous toggle quit; do
    grep -qx "Exec=vantoria --$option" "$desktop" || fail "desktop entry has no action for --$option"
done
grep -q '<launchable type="desktop-id">'"$app"'.desktop</launchable>' "$metainfo" ||
    fail "metainfo does not name the desktop entry"
grep -q '<svg' "$icon" || fail "the icon is not an SVG picture"

command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (scripts/install-deps)"
command -v appstreamcli >/dev/null || fail "appstreamcli is missing (scripts/install-deps)"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
appstreamcli validate --no-net "$metainfo" || fail "metainfo does not validate"
echo "install_test: ok"
