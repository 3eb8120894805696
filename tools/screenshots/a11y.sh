#!/usr/bin/env bash
# Pictures of the console, a call window and Options in the dark scheme, and of the same at
# 200 % with a 16-point font, from the demo on a virtual X display. Run it by hand after a
# visible change; the pictures go to OUTPUT_DIR (small PNGs, scaled down by half at 200 %).
#
# usage: tools/screenshots/a11y.sh [BUILD_DIR] [OUTPUT_DIR]   (defaults: build, docs/screenshots)
set -euo pipefail
SCREENSHOT_SCREEN=1920x1080
. "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" docs/screenshots "$@"
with_openbox

shot() { # WINDOW NAME [SCALE]
    import -window "$1" "$OUT/$2.png"
    [ -z "${3:-}" ] || mogrify -resize "$3" "$OUT/$2.png"
    echo "wrote $OUT/$2.png ($(identify -format '%wx%h' "$OUT/$2.png"))"
}

# One run of the console: its window, a call window and Options, named with SUFFIX.
run() { # SUFFIX SCALE ARGS...
    local suffix=$1 scale=$2
    shift 2
    demo_server_start "$BUILD/tools/demo-server/olvex-demo-server" --visitors 12 \
        --request-every 6 --seed 4
    write_settings demo demo "$DEMO_PORT" "ShowHints=0"
    console_start "$BUILD/src/console/olvex" "$@"
    local console alert call options
    console=$(wait_window "$ONLINE" 60) || fail "the console did not log in"
    sleep 2
    shot "$console" "console-$suffix" "$scale"
    alert=$(wait_window "$ALERT" 30) || fail "no request came"
    alert_key "$alert" Return
    call=$(wait_window '^Olvex Call - ' 20) || fail "no call window"
    sleep 6
    # A request that came meanwhile would stand over it and come out black: turned down.
    local next
    while next=$(xdotool search --onlyvisible --name "$ALERT" 2>/dev/null | head -n 1) &&
        [ -n "$next" ]; do
        alert_key "$next" Escape
        wait_gone "$next" 5 || break
    done
    focus "$call"
    sleep 0.5
    shot "$call" "call-window-$suffix" "$scale"
    focus "$console"
    sleep 0.5
    xdotool key alt+p
    options=$(wait_window '^Olvex Options$' 10) || fail "no Options"
    sleep 1
    shot "$options" "options-$suffix" "$scale"
    kill "$CONSOLE_PID" "$DEMO_PID" 2>/dev/null || true
    wait "$CONSOLE_PID" "$DEMO_PID" 2>/dev/null || true
}

run dark "" --colour-scheme dark
QT_SCALE_FACTOR=2 QT_FONT_DPI=96 run 200-percent 50% --colour-scheme light \
    -stylesheet "$ROOT/tools/screenshots/large-font.qss"
