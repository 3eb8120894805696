#!/usr/bin/env bash
# Takes docs/history-window.png: two chats from the demo, then the History window with a
# search typed into it. Same set-up as take.sh, whose helpers it shares.
#
# usage: tools/screenshots/history.sh [BUILD_DIR] [OUTPUT_DIR]   (defaults: build, docs)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" docs "$@"
export QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none

demo_server_start "$BUILD/tools/demo-server/olvex-demo-server" --visitors 20 --request-every 6 \
    --seed 4
write_settings demo demo "$DEMO_PORT" "ShowHints=0"
console_start "$BUILD/src/console/olvex"
console=$(wait_window "$ONLINE" 60) || fail "the console did not log in"
xdotool windowmove "$console" 0 0 windowsize "$console" 1120 580

chat() {
    local alert call="" _
    alert=$(wait_window "$ALERT" 40) || fail "no chat request came"
    alert_key "$alert" Return
    for _ in $(seq 100); do
        call=$(xdotool search --onlyvisible --name '^Olvex Call - ' 2>/dev/null | head -n 1) || true
        if [ -n "$call" ] && [ "$(window_title "$call")" != "Olvex Call - Connecting" ]; then
            break
        fi
        sleep 0.1
    done
    [ -n "$call" ] || fail "no call window"
    xdotool windowmove "$call" 40 40 windowsize "$call" 780 460
    sleep 0.5
    click_at "$call" 500 418 # the input box
    xdotool type --delay 20 "$1"
    xdotool key Return
    sleep 9 # the visitor types an answer
    focus "$call"
    xdotool key Escape
    answer_question Return || true
    wait_no_window '^Olvex Call - ' 10 || true
}
chat "Hello! Yes, that model ships in two days. Anything else I can help with?"
chat "Good morning! Shipping to Österreich takes 3–4 days; <b>free</b> from 50 €."

click_at "$console" "${OLVEX_HISTORY_X:-388}" "${OLVEX_HISTORY_Y:-28}"
history=$(wait_window '^Olvex History$' 10) || fail "the History window did not open"
xdotool windowmove "$history" 60 60 windowsize "$history" 980 520
sleep 0.5
focus "$history"
xdotool type --delay 60 "ship"
sleep 1
import -window "$history" "$OUT/history-window.png"
echo "wrote $OUT/history-window.png ($(identify -format '%wx%h' "$OUT/history-window.png"))"
"$BUILD/tests/e2e/x-close-window" "$history" || true
"$BUILD/tests/e2e/x-close-window" "$console"
wait_exit "$CONSOLE_PID" 20 || true
