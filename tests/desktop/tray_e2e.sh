#!/usr/bin/env bash
# The tray on a desktop whose panel is a StatusNotifier host: a panel that starts after the
# console gets the icon; a click on it (a single activation) brings back the console that
# minimising hid; the menu carries the console's commands; About from the menu of a hidden
# console, once closed, does not end the program; a panel that goes away gives the console
# back and minimising then only minimises; the menu's Quit ends the program and the window's
# placement is saved.
#
# usage: tray_e2e.sh OLVEX DEMO_SERVER SNI_HOST
set -euo pipefail
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} SNI_HOST=${3:?sni-host}
here=$(dirname "$0")
. "$here/desktop_stack.sh"
desktop_begin "$SNI_HOST" --no-tray

demo_server_start "$DEMO_SERVER" --quiet --visitors 3
write_settings demo demo "$DEMO_PORT" "ShowHints=0"
console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"

# The panel starts after the console.
tray_start
tray_item 10 || fail "a panel started after the console got no icon"
echo "late panel: icon registered"

xdotool windowminimize "$console"
for _ in $(seq 50); do [ "$(window_state "$console")" = Withdrawn ] && break; sleep 0.1; done
[ "$(window_state "$console")" = Withdrawn ] || fail "minimising did not hide the console in the tray"
"$SNI_HOST" activate || fail "the icon took no activation"
for _ in $(seq 50); do [ "$(window_state "$console")" = Normal ] && break; sleep 0.1; done
[ "$(window_state "$console")" = Normal ] || fail "a click on the icon did not bring the console back"
echo "single activation: console back"

menu=$("$SNI_HOST" menu) || fail "the icon has no menu"
expected=$'Show Olvex\nOnline\nBusy\nAway\nLog out\nHistory\nAbout Olvex\nQuit'
[ "$menu" = "$expected" ] || fail "tray menu: $(echo $menu)"
if [ -n "${OLVEX_DESKTOP_SHOTS:-}" ]; then
    "$SNI_HOST" popup &
    popup=$!
    sleep 1.5
    import -window root -crop 420x260+860+0 "$OLVEX_DESKTOP_SHOTS/desktop-tray-menu.png"
    kill "$popup"; wait "$popup" 2>/dev/null || true
fi
"$SNI_HOST" click Busy || fail "no Busy in the menu"
wait_window '^Olvex - busy \[127\.0\.0\.1\]$' 10 >/dev/null || fail "the menu's Busy changed nothing"
echo "menu: $(echo $menu)"

# A hidden console's About, closed, leaves the program running.
xdotool windowminimize "$console"
for _ in $(seq 50); do [ "$(window_state "$console")" = Withdrawn ] && break; sleep 0.1; done
"$SNI_HOST" click "About Olvex" || fail "no About in the menu"
about=$(wait_window '^About Olvex$' 10) || fail "About did not open"
focus "$about"
xdotool key Escape
wait_gone "$about" 10 || fail "About stayed open"
sleep 1
kill -0 "$CONSOLE_PID" 2>/dev/null || fail "closing About of a hidden console ended the program"
echo "About closed: still running"

# The panel goes: the console comes back, and minimising no longer hides it.
tray_stop
for _ in $(seq 60); do [ "$(window_state "$console")" = Normal ] && break; sleep 0.1; done
[ "$(window_state "$console")" = Normal ] || fail "the console stayed hidden after the panel went"
xdotool windowminimize "$console"
sleep 1
[ "$(window_state "$console")" = Iconic ] || fail "without a panel minimising gave $(window_state "$console")"
echo "panel gone: console shown, minimise only minimises"

tray_start
tray_item 10 || fail "the panel's return brought no icon back"
"$SNI_HOST" click Quit || fail "no Quit in the menu"
status=0
wait_exit "$CONSOLE_PID" 30 || status=$?
[ "$status" -eq 0 ] || fail "Quit ended the console with $status"
grep -q '^\[MainWindow\]' "$XDG_CONFIG_HOME/Olvex/olvex.INI" 2>/dev/null ||
    fail "Quit saved no window placement"
reports=$(sanitizer_reports)
[ -z "$reports" ] || fail "the console reported: $reports"
echo "PASS"
