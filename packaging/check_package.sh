#!/usr/bin/env bash
# Builds the .deb from a finished build directory, unpacks it into a scratch root and checks
# what a desktop and a user get from it: the programs run from there, the console's data files
# sit where it looks for them, and the desktop entry, the AppStream metainfo and the man page
# pass their validators.
#   packaging/check_package.sh BUILD_DIR
set -euo pipefail
BUILD_DIR=$(cd "${1:?build directory}" && pwd)
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

echo "--- validating the sources"
desktop-file-validate "$HERE/olvex.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$HERE"/*.metainfo.xml || fail "appstreamcli validate"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$HERE/olvex.1" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || fail "man page: $warnings"

echo "--- building the package"
(cd "$BUILD_DIR" && cpack -G DEB -B "$SCRATCH/out" >"$SCRATCH/cpack.log" 2>&1) ||
    { cat "$SCRATCH/cpack.log"; fail "cpack"; exit 1; }
mapfile -t debs < <(find "$SCRATCH/out" -maxdepth 1 -name '*.deb')
[ ${#debs[@]} -eq 1 ] || { fail "expected one .deb, found ${#debs[@]}"; exit 1; }
deb=${debs[0]}
echo "$(basename "$deb"): $(du -h "$deb" | cut -f1)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 qt6-qpa-plugins qt6-wayland libc6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib"
done

ROOT="$SCRATCH/root"
dpkg -x "$deb" "$ROOT"
PREFIX="$ROOT/usr"
for file in \
    bin/olvex bin/olvex-cli bin/olvex-demo-server \
    share/applications/olvex.desktop \
    share/metainfo/example.olvex.Olvex.metainfo.xml \
    share/icons/hicolor/scalable/apps/olvex.svg \
    share/icons/hicolor/16x16/apps/olvex.png \
    share/icons/hicolor/48x48/apps/olvex.png \
    share/icons/hicolor/256x256/apps/olvex.png \
    share/olvex/Help/help.htm \
    share/olvex/license.txt \
    share/man/man1/olvex.1; do
    [ -s "$PREFIX/$file" ] || fail "missing /usr/$file"
done
for program in olvex olvex-cli olvex-demo-server; do
    [ -x "$PREFIX/bin/$program" ] || fail "$program is not executable"
    # A run path into the build tree would load the wrong libraries, or none, elsewhere.
    if readelf -d "$PREFIX/bin/$program" | grep -Eq 'R(UN)?PATH'; then
        fail "$program keeps a run path: $(readelf -d "$PREFIX/bin/$program" | grep -E 'R(UN)?PATH')"
    fi
done

echo "--- validating what was installed"
desktop-file-validate "$PREFIX/share/applications/olvex.desktop" || fail "installed desktop entry"
appstreamcli validate --no-net "$PREFIX/share/metainfo/example.olvex.Olvex.metainfo.xml" ||
    fail "installed metainfo"
# The console looks for its read-only files in ../share/olvex beside its own directory.
for data in Help/help.htm license.txt; do
    [ -f "$PREFIX/bin/../share/olvex/$data" ] || fail "olvex would not find $data"
done

echo "--- running the installed programs"
help=$(timeout 20 "$PREFIX/bin/olvex" --help) || fail "olvex --help failed"
for option in --server --version --help; do
    grep -q -- "$option" <<<"$help" || fail "olvex --help does not mention $option"
done
version=$(timeout 20 "$PREFIX/bin/olvex" --version) || fail "olvex --version failed"
[ "$version" = "Olvex version 1.4" ] || fail "olvex --version printed '$version'"
timeout 20 "$PREFIX/bin/olvex-demo-server" --help | grep -q -- --quiet ||
    fail "olvex-demo-server --help"
status=0
timeout 20 "$PREFIX/bin/olvex-cli" >/dev/null 2>"$SCRATCH/cli.err" || status=$?
[ "$status" -eq 2 ] && grep -q usage "$SCRATCH/cli.err" || fail "olvex-cli without arguments"

if [ "$failures" -ne 0 ]; then
    echo "package check: $failures failed"
    exit 1
fi
echo "package check: all passed"
