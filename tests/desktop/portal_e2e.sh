#!/usr/bin/env bash
# The console and the desktop's settings portal, judged by the pixels of its window: with the
# default scheme it comes up dark when the portal says dark and turns light while it runs when
# the setting changes. Without a portal, or with one that fails every read, it stays light and
# says nothing about it.
#
# usage: portal_e2e.sh OLVEX DEMO_SERVER SNI_HOST
set -euo pipefail
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} SNI_HOST=${3:?sni-host}
here=$(dirname "$0")
. "$here/desktop_stack.sh"
desktop_begin "$SNI_HOST"
PY=/usr/bin/python3
"$PY" -c 'import gi' 2>/dev/null || fail "python3-gi is needed (python3-pyatspi brings it)"
demo_server_start "$DEMO_SERVER" --visitors 5 --seed 3
write_settings demo demo "$DEMO_PORT" "ShowHints=0"

# How light the console's window is: dark below 0.4, light above 0.6.
lightness() { import -window "$console" png:- | convert - -colorspace Gray -format '%[fx:mean]' info:; }
is() { awk -v l="$(lightness)" -v want="$1" \
    'BEGIN { print "lightness " l > "/dev/stderr"; exit !(want == "dark" ? l < 0.4 : l > 0.6) }'; }

portal_start() { # MODE
    "$PY" "$here/fake_portal.py" "$1" >"$SESSION_DIR/portal.log" 2>&1 &
    PORTAL_PID=$!
    SESSION_PIDS+=("$PORTAL_PID")
    for _ in $(seq 100); do
        grep -q '^ready$' "$SESSION_DIR/portal.log" && return 0
        sleep 0.1
    done
    fail "the fake portal did not start"
}

# run_console WHAT: the console with the default scheme, online and painted.
run_console() {
    rm -f "$XDG_STATE_HOME/Olvex/olvex.log"
    console_start "$OLVEX"
    console=$(wait_window "$ONLINE" 60) || fail "$1: no automatic log-in"
    sleep 1.5
}

# stop_console WHAT: neither its error output nor its log mention the portal or the bus.
stop_console() {
    kill "$CONSOLE_PID" "${PORTAL_PID:-}" 2>/dev/null || true
    wait "$CONSOLE_PID" "${PORTAL_PID:-}" 2>/dev/null || true
    ! grep -iE 'portal|dbus|color-scheme|appearance' "$SESSION_DIR/console.err" \
        "$XDG_STATE_HOME/Olvex/olvex.log" || fail "$1: the console complained about the portal"
}

run_console "without a portal"
is light || fail "without a portal the console is not light"
stop_console "without a portal"

portal_start error
run_console "with a failing portal"
grep -q 'org.freedesktop.appearance color-scheme' "$SESSION_DIR/portal.log" ||
    fail "the console did not ask the portal"
is light || fail "with a failing portal the console is not light"
stop_console "with a failing portal"

portal_start dark
run_console "with a dark portal"
is dark || fail "the portal says dark, the console is not"
kill -USR1 "$PORTAL_PID"
for _ in $(seq 50); do
    is light 2>/dev/null && break
    sleep 0.2
done
is light || fail "the portal turned light, the console did not"
stop_console "with a dark portal"
echo "light without a portal or with a failing one; dark from the portal, then light live"
