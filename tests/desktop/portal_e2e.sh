#!/usr/bin/env bash
# The console and the desktop's settings portal, judged by the pixels of its window: started
# with the default scheme it comes up dark when the portal says dark, and turns light while it
# runs when the setting changes. Without a portal, or with one that answers every read with an
# error, it stays light and says nothing about it.
#
# usage: portal_e2e.sh OLVEX DEMO_SERVER SNI_HOST
set -euo pipefail
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} SNI_HOST=${3:?sni-host}
here=$(dirname "$0")
. "$here/../e2e/x_session.sh"
. "$here/desktop_stack.sh"
session_begin
trap session_end EXIT
stack_begin "$SNI_HOST"
PY=/usr/bin/python3
"$PY" -c 'import gi; gi.require_version("Gio", "2.0")' 2>/dev/null ||
    fail "python3-gi is needed (python3-pyatspi in tools/apt-packages.txt brings it)"

demo_server_start "$DEMO_SERVER" --visitors 5 --seed 3
write_settings demo demo "$DEMO_PORT" "ShowHints=0"

# How light the console's window is, from 0 (black) to 1 (white).
lightness() {
    import -window "$1" png:- | convert - -colorspace Gray -format '%[fx:mean]' info:
}
is_dark() { awk -v l="$1" 'BEGIN { exit !(l < 0.4) }'; }
is_light() { awk -v l="$1" 'BEGIN { exit !(l > 0.6) }'; }

portal_start() { # MODE
    "$PY" "$here/fake_portal.py" "$1" >"$SESSION_DIR/portal.log" 2>&1 &
    PORTAL_PID=$!
    SESSION_PIDS+=("$PORTAL_PID")
    local _
    for _ in $(seq 100); do
        grep -q '^ready$' "$SESSION_DIR/portal.log" && return 0
        sleep 0.1
    done
    fail "the fake portal did not start"
}

portal_stop() {
    kill "$PORTAL_PID" 2>/dev/null || true
    wait "$PORTAL_PID" 2>/dev/null || true
}

# console_run: starts the console with the default scheme and waits for it to be online.
console_run() {
    : >"$SESSION_DIR/console.err"
    rm -f "$XDG_STATE_HOME/Olvex/olvex.log"
    console_start "$OLVEX"
    console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"
    sleep 1.5 # the first paint
}

console_stop() {
    kill "$CONSOLE_PID" 2>/dev/null || true
    wait "$CONSOLE_PID" 2>/dev/null || true
}

# Neither the error output nor the log mention the portal or the bus.
expect_quiet() { # WHAT
    if grep -iE 'portal|dbus|color-scheme|appearance' "$SESSION_DIR/console.err" \
        "$XDG_STATE_HOME/Olvex/olvex.log" 2>/dev/null; then
        fail "$1: the console complained about the portal"
    fi
}

# No portal on the bus.
console_run
l=$(lightness "$console")
is_light "$l" || fail "without a portal the console is not light (lightness $l)"
expect_quiet "without a portal"
console_stop
echo "without a portal: light ($l)"

# A portal that fails every read.
portal_start error
console_run
grep -q 'org.freedesktop.appearance color-scheme' "$SESSION_DIR/portal.log" ||
    fail "the console did not ask the portal"
l=$(lightness "$console")
is_light "$l" || fail "with a failing portal the console is not light (lightness $l)"
expect_quiet "with a failing portal"
console_stop
portal_stop
echo "with a failing portal: light ($l)"

# A dark desktop that turns light while the console runs.
portal_start dark
console_run
l=$(lightness "$console")
is_dark "$l" || fail "the portal says dark, the console is not (lightness $l)"
echo "portal dark: dark ($l)"
kill -USR1 "$PORTAL_PID"
for _ in $(seq 50); do
    l=$(lightness "$console")
    is_light "$l" && break
    sleep 0.2
done
is_light "$l" || fail "the portal turned light, the console did not (lightness $l)"
grep -q 'changed to light' "$SESSION_DIR/portal.log" || fail "the portal sent no change"
expect_quiet "with a working portal"
echo "portal turned light: light ($l)"
console_stop
