#!/usr/bin/env bash
# On a virtual X display: the console, logged in to the demo server, is set away once the X
# session has had no input for the idle time of the run, and is back online at the first
# mouse move. The idle time is in seconds here (OLVEX_AUTO_AWAY_SECONDS) instead of the
# stored minutes; AWAY_SECONDS changes it (60 with AutoAwayMinutes=1 is the real thing).
#
# usage: auto_away_e2e.sh OLVEX DEMO_SERVER X_CLOSE_WINDOW
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" "$@"
fi
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} X_CLOSE=${3:?x-close-window}
. "$(dirname "$0")/x_session.sh"
session_begin
trap session_end EXIT
export QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none
AWAY_SECONDS=${AWAY_SECONDS:-3}

demo_server_start "$DEMO_SERVER" --quiet
write_settings demo demo "$DEMO_PORT" "ShowHints=0
AutoAwayMinutes=1"
if [ "$AWAY_SECONDS" -ne 60 ]; then
    export OLVEX_AUTO_AWAY_SECONDS=$AWAY_SECONDS
fi
console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"

xdotool mousemove 20 20
moved=$(date +%s.%N)
wait_window '^Olvex - away \[127\.0\.0\.1\]$' $((AWAY_SECONDS + 20)) >/dev/null ||
    fail "not set away after $AWAY_SECONDS s without input"
away=$(date +%s.%N)
echo "away after $(awk "BEGIN {print $away - $moved}") s without input (idle time $AWAY_SECONDS s)"
# Away stays while nothing happens.
sleep 2
[ "$(window_title "$console")" = "Olvex - away [127.0.0.1]" ] || fail "the away status did not hold"

xdotool mousemove 400 300
moved=$(date +%s.%N)
wait_window '^Olvex - online \[127\.0\.0\.1\]$' 10 >/dev/null || fail "not back online at the mouse move"
back=$(date +%s.%N)
echo "online again $(awk "BEGIN {print $back - $moved}") s after the mouse move"

quit_console "$console"
status=0
wait_exit "$CONSOLE_PID" 30 || status=$?
[ "$status" -ne 124 ] || fail "the console did not end after its window was closed"
reports=$(sanitizer_reports)
[ -z "$reports" ] || fail "the console reported: $reports"
[ "$status" -eq 0 ] || fail "the console ended with $status"
echo "PASS"
