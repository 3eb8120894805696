#!/usr/bin/env bash
# The operator's inbox in the real console, read through the accessibility bus: requests wait in
# the Chats view oldest first with the visitors' words, Enter there takes one, and its call
# window shows the visitor's page; the visitors' list finds a visitor as the operator types.
#
# usage: inbox_e2e.sh OLVEX DEMO_SERVER SNI_HOST
set -euo pipefail
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} SNI_HOST=${3:?sni-host}
here=$(dirname "$0")
. "$here/desktop_stack.sh"
desktop_begin "$SNI_HOST"
a11y_bus_start

demo_server_start "$DEMO_SERVER" --visitors 6 --request-every 1 --seed 3
write_settings demo demo "$DEMO_PORT" "NotifyTimeout=300
VisitorHints=0"
console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"

# Alt+C, the side bar's Chats: three requests waiting, oldest first.
focus "$console"
xdotool key --window "$console" alt+c
"$PY" "$here/a11y_probe.py" chats 3 >"$SESSION_DIR/chats.txt" ||
    fail "the Chats view does not list the waiting requests: $(cat "$SESSION_DIR/chats.txt")"
cat "$SESSION_DIR/chats.txt"
oldest=$(sed -n 's/^oldest: //p' "$SESSION_DIR/chats.txt")

# Enter on the oldest takes it: one call window, with where the visitor is on the site.
focus "$console"
xdotool key --window "$console" Home Down Return
wait_window "^Olvex Call - $oldest\$" 20 >/dev/null || fail "Enter in the Chats view opened no chat with $oldest"
"$PY" "$here/a11y_probe.py" context || fail "the call window does not show the visitor's page"
[ "$(xdotool search --onlyvisible --name '^Olvex Call - ' | wc -l)" -eq 1 ] ||
    fail "more than one call window for one request"

# Website Visitors, Ctrl+F and a visitor's number: that visitor's row alone.
focus "$console"
xdotool key --window "$console" alt+v
sleep 0.5
xdotool key --window "$console" ctrl+f
xdotool type --delay 20 5003
"$PY" "$here/a11y_probe.py" found 5003 || fail "finding a visitor by number did not narrow the list"
echo "the inbox read through the accessibility bus"
