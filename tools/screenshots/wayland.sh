#!/usr/bin/env bash
# Pictures of the console and a call window on each Wayland desktop (headless sway, KWin and
# GNOME Shell, as the Wayland desktop tests run them), natively, with the demo server. Run it
# by hand as root after a visible change; the pictures go to OUTPUT_DIR as
# wayland-STACK-console.png and wayland-STACK-call.png.
#
# usage: tools/screenshots/wayland.sh [BUILD_DIR] [OUTPUT_DIR] [STACK...]
#        (defaults: build, docs/screenshots, sway kwin gnome)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
OUT=$(mkdir -p "${2:-$ROOT/docs/screenshots}" && cd "${2:-$ROOT/docs/screenshots}" && pwd)
shift $(($# > 2 ? 2 : $#))
[ $# -gt 0 ] || set -- sway kwin gnome
programs=("$BUILD/src/console/olvex" "$BUILD/tools/demo-server/olvex-demo-server"
    "$BUILD/tests/support/olvex-test-sni-host" "$BUILD/tests/support/olvex-test-wl-client")
for program in "${programs[@]}"; do
    [ -x "$program" ] || { echo "$program is missing: build first" >&2; exit 1; }
done
status=0
for stack in "$@"; do
    echo "== $stack"
    OLVEX_WL_PICTURES=1 OLVEX_WL_KWIN_NESTED=1 OLVEX_SCREENSHOTS=$OUT \
        "$ROOT/tests/desktop/wayland_e2e.sh" "$stack" "${programs[@]}" || status=1
done
for picture in "$OUT"/wayland-*-{console,call}.png; do
    [ -f "$picture" ] && echo "$picture: $(identify -format '%wx%h' "$picture"), $(du -k "$picture" | cut -f1) KiB"
done
exit "$status"
