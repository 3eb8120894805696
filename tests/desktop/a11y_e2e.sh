#!/usr/bin/env bash
# The console as a screen reader reads it through the accessibility bus: the visitors' list by
# its cells, a chat request's alert with who is calling while another window has the keyboard,
# and, for a call window in the background, a notification naming who wrote in which chat and
# the transcript's inserted text. Then every window is opened once by keyboard alone.
#
# usage: a11y_e2e.sh OLVEX DEMO_SERVER SNI_HOST
set -euo pipefail
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} SNI_HOST=${3:?sni-host}
here=$(dirname "$0")
. "$here/desktop_stack.sh"
desktop_begin "$SNI_HOST"
a11y_bus_start

demo_server_start "$DEMO_SERVER" --visitors 5 --request-every 5 --seed 11
write_settings demo demo "$DEMO_PORT" "NotifyTimeout=50"
console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"

"$PY" "$here/a11y_probe.py" lists || fail "the visitors' list does not read"

# The operator works in another program when the request comes.
xterm -title Editor -geometry 60x8+600+500 &
SESSION_PIDS+=($!)
editor=$(wait_window '^Editor$' 10) || fail "no xterm"
focus "$editor"
"$PY" "$here/a11y_probe.py" alert || fail "the alert does not read"
[ "$(xdotool getactivewindow)" = "$editor" ] || fail "reading the alert took the keyboard"

# Accepted, then left behind the console: the visitor's answer comes in the background.
"$PY" "$here/a11y_probe.py" events 14 >"$SESSION_DIR/events.txt" &
probe=$!
sleep 1
alert=$(wait_window "$ALERT" 5) || fail "the alert went"
sleep 1.2
focus "$alert"
xdotool key --window "$alert" Return
call=$(wait_window '^Olvex Call - ' 20) || fail "no call window"
sleep 0.5
focus "$console"
wait "$probe" || true
cat "$SESSION_DIR/events.txt"
grep -Eq '^notification: .+ in Olvex Call - .+: .+' "$SESSION_DIR/events.txt" ||
    fail "no notification of the line that came in the background"
grep -q 'is typing a message' "$SESSION_DIR/events.txt" || fail "no notification of the typing"
grep -q "^inserted in " "$SESSION_DIR/events.txt" || fail "the transcript raised no insertion"

# Every window by keyboard alone: the console's mnemonics, the call window's keys.
open_and_close() { # KEYS TITLE_REGEX WINDOW
    wait_no_window "$2" 10 || true
    focus "$3"
    sleep 0.5 # the window behind a closed dialog takes the keyboard back a moment later
    xdotool key --window "$3" "$1"
    local id
    id=$(wait_window "$2" 10) || fail "$1 did not open $2"
    sleep 0.5 # a dialog takes the keyboard once it is mapped
    xdotool key Escape
    wait_no_window "$2" 10 || fail "Escape did not close $2"
}
open_and_close alt+b '^About Olvex$' "$console"
open_and_close alt+p '^Olvex Options$' "$console"
open_and_close alt+a '^Canned Answers$' "$console"
open_and_close alt+l '^Enter URL$' "$call"
open_and_close alt+i '^Olvex$' "$call"
focus "$console"
sleep 0.5
xdotool key --window "$console" alt+t
history=$(wait_window '^Olvex History$' 10) || fail "alt+t did not open the History"
sleep 0.5
xdotool key ctrl+w
wait_no_window '^Olvex History$' 10 || fail "Ctrl+W did not close the History"
echo "read through the accessibility bus; every window opened and closed by keyboard"

