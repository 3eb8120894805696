#!/usr/bin/env bash
# Takes the picture of a call window with the visitor's context: the page they are on, where
# they came from, how long they have been on the site, and an earlier chat with them, unfolded.
# One visitor on the demo site, so the second request is from the one chatted with before.
#
# usage: tools/screenshots/call_context.sh [BUILD_DIR] [OUTPUT_DIR]   (defaults: build, docs/screenshots)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" docs/screenshots "$@"
export QT_QPA_PLATFORM=xcb

demo_server_start "$BUILD/tools/demo-server/olvex-demo-server" --visitors 1 --request-every 8 \
    --seed 5
write_settings demo demo "$DEMO_PORT" "ShowHints=0
VisitorHints=0
NotifyTimeout=60"
console_start "$BUILD/src/console/olvex"
wait_window "$ONLINE" 60 >/dev/null || fail "the console did not log in"

# accept: takes the next request and prints its call window once the chat is joined.
accept() {
    local alert call title
    alert=$(wait_window "$ALERT" 30) || fail "no chat request came"
    alert_key "$alert" Return
    for _ in $(seq 100); do
        call=$(xdotool search --onlyvisible --name '^Olvex Call - ' 2>/dev/null | head -n 1) || true
        title=$([ -n "$call" ] && window_title "$call" || true)
        case "$title" in "" | "Olvex Call - Connecting") sleep 0.1 ;; *) break ;; esac
    done
    echo "$call"
}

# say CALL TEXT: types a line into the input box, left of Send at the bottom of the window.
say() {
    local width height
    read -r width height < <(xdotool getwindowgeometry --shell "$1" |
        awk -F= '/^WIDTH/ {w = $2} /^HEIGHT/ {h = $2} END {print w, h}')
    click_at "$1" $((width / 2)) $((height - 42))
    xdotool type --delay 15 "$2"
    xdotool key Return
}

first=$(accept)
say "$first" "Hello, how can I help you?"
sleep 4 # the visitor answers
focus "$first"
xdotool key ctrl+w
answer_question Return 5 || true
wait_gone "$first" 10 || true

second=$(accept)
xdotool windowmove "$second" 0 0 windowsize "$second" 760 640
sleep 2
focus "$second"
sleep 0.5
say "$second" "Welcome back! Gas canisters are sold in every store."
sleep 3
click_at "$second" 690 110 # "Show the last one", right of the earlier chats
sleep 1
import -window "$second" "$OUT/call-window-context.png"
echo "wrote $OUT/call-window-context.png ($(identify -format '%wx%h' "$OUT/call-window-context.png"))"
