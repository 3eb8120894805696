#!/usr/bin/env bash
# Chat requests on the desktop's notifications (dunst): a request while the operator works in
# another program is announced with the visitor's name and its Accept action opens the call;
# a request that arrives while the operator types in a call window leaves the keyboard there;
# an alert that runs out leaves "Missed chat request from NAME", which stays. Run with
# --no-tray as well: without a panel the console's tray messages go to the notifications.
#
# usage: notify_e2e.sh OLVEX DEMO_SERVER SNI_HOST [--no-tray]
set -euo pipefail
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} SNI_HOST=${3:?sni-host}
mode=${4:-}
here=$(dirname "$0")
. "$here/desktop_stack.sh"
desktop_begin "$SNI_HOST" "$mode"

# A request every 4 s, each alert open for 3 s.
demo_server_start "$DEMO_SERVER" --visitors 6 --request-every 4 --seed 5
write_settings demo demo "$DEMO_PORT" "NotifyTimeout=3"
console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"

if [ "$mode" = --no-tray ]; then
    wait_notification "You are now logged in to the Olvex server" 10 ||
        fail "without a tray the log-in message went nowhere"
    xdotool windowminimize "$console"
    sleep 1
    [ "$(window_state "$console")" = Iconic ] || fail "without a tray minimising gave $(window_state "$console")"
    xdotool windowactivate --sync "$console" 2>/dev/null || true
    echo "no tray: tray messages in the notifications, minimise only minimises"
fi

# The operator is in another program.
"$SNI_HOST" window Browser &
SESSION_PIDS+=($!)
browser=$(wait_window '^Browser$' 10) || fail "no other program's window"
focus "$browser"
wait_notification "Chat request from " 15 || fail "a request in the background reached no notification"
visitor=$(sed -n 's/.*summary: .Chat request from \(.*\).$/\1/p' "$SESSION_DIR/dunst.log" | head -n 1)
[ -n "$visitor" ] || visitor=$(grep -o 'Chat request from [^'"'"']*' "$SESSION_DIR/dunst.log" | head -n 1 | sed 's/Chat request from //')
echo "notified: request from $visitor"
if [ -n "${OLVEX_DESKTOP_SHOTS:-}" ]; then
    sleep 0.5
    import -window root -crop 400x200+870+20 "$OLVEX_DESKTOP_SHOTS/desktop-notification.png"
fi
dunstctl action 0
call=""
for _ in $(seq 100); do
    call=$(xdotool search --onlyvisible --name '^Olvex Call - ' 2>/dev/null | head -n 1) || true
    [ -n "$call" ] && break
    sleep 0.1
done
[ -n "$call" ] || fail "the notification's Accept opened no call window"
echo "accepted from the notification: window $call"

# Typing in the call window while the next request comes in.
focus "$call"
alerts_before=$(grep -c 'Chat request from \|Missed chat request' "$SESSION_DIR/dunst.log" || true)
alert=""
for _ in $(seq 100); do
    xdotool type --delay 20 "ab"
    alert=$(xdotool search --onlyvisible --name "$ALERT" 2>/dev/null | head -n 1) || true
    [ -n "$alert" ] && break
done
[ -n "$alert" ] || fail "no second request"
sleep 0.3
[ "$(xdotool getactivewindow)" = "$call" ] || fail "the alert took the keyboard from the call window"
echo "typing: the keyboard stayed in the call window"

# That alert runs out: the missed request stays on the desktop.
wait_gone "$alert" 10 || fail "the alert did not run out"
wait_notification "Missed chat request from " 10 || fail "a missed request left no notification"
sleep 2
[ "$(dunstctl count displayed)" -ge 1 ] || fail "the missed request's notification did not stay"
echo "missed: $(grep -o 'Missed chat request from [^'"'"']*' "$SESSION_DIR/dunst.log" | head -n 1)"

# dunst keeps what was closed in its history, by id.
withdrawn() {
    dunstctl history | tr -d ' \n\t' | grep -o '"id":{"type":"i","data":[0-9]*}' |
        grep -qx "\"id\":{\"type\":\"i\",\"data\":$1}"
}
# id_of REGEX: the id dunst gave the last notification whose summary starts with REGEX.
id_of() {
    awk -v re="summary: '$1" '$0 ~ re {f=1} f && /^[[:space:]]*id: /{id=$2; f=0} END{print id}' \
        "$SESSION_DIR/dunst.log"
}
# The next miss replaces that notification with one that counts and names both.
first_missed=$(id_of "Missed chat request from ")
wait_notification "2 missed chat requests: " 15 || fail "a second miss was not counted"
for _ in $(seq 20); do withdrawn "$first_missed" && break; sleep 0.1; done
withdrawn "$first_missed" || fail "the first missed request's notification stayed beside the count"
echo "missed twice: $(grep -o '2 missed chat requests: [^'"'"']*' "$SESSION_DIR/dunst.log" | head -n 1)"
# Once the operator looks at the console, the missed requests are no longer news.
counted=$(id_of "[0-9]* missed chat requests: ")
focus "$console"
for _ in $(seq 20); do withdrawn "$counted" && break; sleep 0.1; done
withdrawn "$counted" || fail "the missed requests' notification stayed after the console was looked at"
echo "withdrawn once the console was looked at: notification $counted"

# Back in the other program: the next request's notification goes as soon as its alert is
# cancelled, well before it would expire.
focus "$browser"
requests=$(grep -c 'Chat request from ' "$SESSION_DIR/dunst.log" || true)
for _ in $(seq 100); do
    [ "$(grep -c 'Chat request from ' "$SESSION_DIR/dunst.log" || true)" -gt "$requests" ] && break
    sleep 0.1
done
[ "$(grep -c 'Chat request from ' "$SESSION_DIR/dunst.log" || true)" -gt "$requests" ] ||
    fail "no notification for a request in the background"
alert=$(wait_window "$ALERT" 5) || fail "no alert for the request"
alert_key "$alert" Escape
last=$(awk '/summary: .Chat request from /{f=1} f && /^[[:space:]]*id: /{id=$2; f=0} END{print id}' \
    "$SESSION_DIR/dunst.log")
closed() { withdrawn "$last"; }
for _ in $(seq 10); do
    closed && break
    sleep 0.1
done
closed || fail "notification $last stayed after its alert was cancelled"
echo "withdrawn with its alert: notification $last"

reports=$(sanitizer_reports)
[ -z "$reports" ] || fail "the console reported: $reports"
echo "PASS"
