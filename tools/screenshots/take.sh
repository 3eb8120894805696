#!/usr/bin/env bash
# Takes the README's screenshots from the demo on a virtual X display: the console with the
# demo site's visitors, a call window in a chat with one of them, and the canned answers
# editor. Run it again after a visible change and commit the pictures in docs/.
#
# usage: tools/screenshots/take.sh [BUILD_DIR] [OUTPUT_DIR]   (defaults: build, docs)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" docs "$@"
export QT_QPA_PLATFORM=xcb

# Alerts of later requests stay on top of everything.
dismiss_alerts() {
    local alert
    for alert in $(xdotool search --onlyvisible --name "$ALERT" 2>/dev/null); do
        alert_key "$alert" Escape
    done
    sleep 0.5
}

shot() {
    import -window "$1" "$OUT/$2.png"
    echo "wrote $OUT/$2.png ($(identify -format '%wx%h' "$OUT/$2.png"))"
}

# A lively site: visitors browse, one asks for a chat now and then.
demo_server_start "$BUILD/tools/demo-server/olvex-demo-server" --visitors 30 --request-every 10 \
    --seed 4
write_settings demo demo "$DEMO_PORT" "ShowHints=0"
console_start "$BUILD/src/console/olvex"
console=$(wait_window "$ONLINE" 60) || fail "the console did not log in"
xdotool windowmove "$console" 0 0 windowsize "$console" 1120 580
sleep 4 # visitors move between pages for a moment
dismiss_alerts
shot "$console" console

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
xdotool windowmove "$call" 40 40 windowsize "$call" 780 460
sleep 0.5
click_at "$call" 500 418 # the input box
xdotool type --delay 20 "Hello! Yes, that model ships in two days. Anything else I can help with?"
xdotool key Return
sleep 8 # the visitor types an answer
click_at "$call" 37 25 # Answers: the canned answers beside the chat
click_at "$call" 12 100 # open "Greetings"
dismiss_alerts
shot "$call" call-window
focus "$call"
xdotool key Escape
wait_no_window '^Olvex Call - ' 10 || true

# The Answers button of the console's toolbar.
dismiss_alerts
click_at "$console" "${OLVEX_ANSWERS_X:-331}" "${OLVEX_ANSWERS_Y:-28}"
editor=$(wait_window '^Canned Answers$' 10) || fail "the canned answers editor did not open"
sleep 1
click_at "$editor" 115 141 # the answer "Welcome", whose text shows below
dismiss_alerts
shot "$editor" canned-answers
focus "$editor"
xdotool key Escape
"$BUILD/tests/e2e/x-close-window" "$console"
wait_exit "$CONSOLE_PID" 20 || true
