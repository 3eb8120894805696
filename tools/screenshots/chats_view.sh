#!/usr/bin/env bash
# Takes the picture of the console's Chats view from the demo on a virtual X display: five
# chat requests waiting, the visitors' questions beside them, and one chat open.
#
# usage: tools/screenshots/chats_view.sh [BUILD_DIR] [OUTPUT_DIR]   (defaults: build, docs/screenshots)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" docs/screenshots "$@"
export QT_QPA_PLATFORM=xcb

# A request every second; the alerts stay up long enough for all of them to wait.
demo_server_start "$BUILD/tools/demo-server/olvex-demo-server" --visitors 20 --request-every 1 \
    --seed 7
write_settings demo demo "$DEMO_PORT" "ShowHints=0
NotifyTimeout=300"
console_start "$BUILD/src/console/olvex"
console=$(wait_window "$ONLINE" 60) || fail "the console did not log in"
xdotool windowmove "$console" 0 0 windowsize "$console" 900 480
# The first request is taken at its alert, so that an open chat shows below the requests.
alert=$(wait_window "$ALERT" 30) || fail "no chat request came"
alert_key "$alert" Return
sleep 2.4
# Out of the way of the console: the alerts stand in the bottom right corner.
for alert in $(xdotool search --onlyvisible --name "$ALERT" 2>/dev/null); do
    xdotool windowminimize "$alert" 2>/dev/null || true
done
for call in $(xdotool search --onlyvisible --name '^Olvex Call - ' 2>/dev/null); do
    xdotool windowminimize "$call" 2>/dev/null || true
done
focus "$console"
click_at "$console" 30 "${OLVEX_CHATS_Y:-280}" # the Chats button, last in the side bar
sleep 1.5
import -window "$console" "$OUT/chats-view.png"
echo "wrote $OUT/chats-view.png ($(identify -format '%wx%h' "$OUT/chats-view.png"))"
"$BUILD/tests/e2e/x-close-window" "$console" || true
