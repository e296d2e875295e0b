#!/bin/sh
# Installs the built program into a temporary prefix, as `make install` does,
# and checks that a desktop finds everything in its standard place: the
# program, the desktop entry, the icon in the hicolor theme, the AppStream
# metainfo and the machine-wide settings hive. The desktop entry and the
# metainfo must pass the freedesktop validators.
#   install_test.sh BINARY_DIR SOURCE_DIR
set -eu
build=$1
src=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vantoria-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT INT TERM

fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log" >&2; rm -f "$prefix.log"; fail "cmake --install failed"; }
rm -f "$prefix.log"

app=io.github.vantoria.Vantoria
desktop="$prefix/share/applications/$app.desktop"
metainfo="$prefix/share/metainfo/$app.metainfo.xml"
icon="$prefix/share/icons/hicolor/scalable/apps/vantoria.svg"

[ -x "$prefix/bin/vantoria" ] || fail "no program in bin/"
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no metainfo"
[ -f "$icon" ] || fail "no icon in the hicolor theme"
if [ -f "$src/resources/machine.reg" ]; then
    [ -f "$prefix/etc/vantoria/machine.reg" ] || fail "no machine-wide settings hive"
    cmp -s "$src/resources/machine.reg" "$prefix/etc/vantoria/machine.reg" || fail "machine hive differs"
fi

# The entry starts the installed program by the name of its icon.
grep -qx 'Exec=vantoria' "$desktop" || fail "desktop entry does not run vantoria"
grep -qx 'Icon=vantoria' "$desktop" || fail "desktop entry does not name the icon"
grep -q '<launchable type="desktop-id">'"$app"'.desktop</launchable>' "$metainfo" ||
    fail "metainfo does not name the desktop entry"
grep -q '<svg' "$icon" || fail "the icon is not an SVG picture"

command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (scripts/install-deps)"
command -v appstreamcli >/dev/null || fail "appstreamcli is missing (scripts/install-deps)"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
appstreamcli validate --no-net "$metainfo" || fail "metainfo does not validate"
echo "install_test: ok"
