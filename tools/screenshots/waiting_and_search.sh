#!/usr/bin/env bash
# Takes two pictures from the demo on a virtual X display with a system tray: the tray
# icon's badge (chat requests waiting and a call window with unread lines), and the canned
# answers searched from the keyboard in a call window.
#
# usage: tools/screenshots/waiting_and_search.sh [BUILD_DIR] [OUTPUT_DIR]   (build, docs)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" docs "$@"
export QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none
# No session bus: the console docks in the X tray below.
unset DBUS_SESSION_BUS_ADDRESS

trayer --edge top --align right --widthtype request --height 64 --heighttype pixel \
    --SetDockType true --transparent false --tint 0x404040 >/dev/null 2>&1 &
SESSION_PIDS+=($!)
sleep 1

demo_server_start "$BUILD/tools/demo-server/olvex-demo-server" --visitors 10 --request-every 6 \
    --seed 4
write_settings demo demo "$DEMO_PORT" "ShowHints=0"
console_start "$BUILD/src/console/olvex"
console=$(wait_window "$ONLINE" 60) || fail "the console did not log in"
xdotool windowmove "$console" 0 60 windowsize "$console" 900 500

alert=$(wait_window "$ALERT" 30) || fail "no chat request came"
alert_key "$alert" Return
call=""
for _ in $(seq 100); do
    call=$(xdotool search --onlyvisible --name '^Olvex Call - ' 2>/dev/null | head -n 1) || true
    if [ -n "$call" ] && [ "$(window_title "$call")" != "Olvex Call - Connecting" ]; then
        break
    fi
    sleep 0.1
done
[ -n "$call" ] || fail "no call window"
xdotool windowmove "$call" 120 140 windowsize "$call" 700 440
click_at "$call" 420 398 # the input box
xdotool type --delay 20 "Hello! Let me find that for you."
xdotool key Return
# The console in front: the visitor's answer stays unread in the call window.
focus "$console"
wait_window "$ALERT" 30 >/dev/null || fail "no second chat request"
sleep 6

# The tray's corner of the screen, enlarged so that the badge can be read: two requests
# waiting and one call window with an unread line.
import -window root -crop 120x64+1160+0 +repage -filter point -resize 400% "$OUT/tray-badge.png"
echo "wrote $OUT/tray-badge.png"

for alert in $(xdotool search --onlyvisible --name "$ALERT" 2>/dev/null); do
    alert_key "$alert" Escape
done
focus "$call"
xdotool key ctrl+shift+f
sleep 0.5
xdotool type --delay 60 "PLÉAS"
sleep 1
import -window "$call" "$OUT/canned-search.png"
echo "wrote $OUT/canned-search.png"
