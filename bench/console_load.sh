#!/usr/bin/env bash
# The real console on a virtual X display, logged in to a busy demo site: prints its share of
# one core and its resident memory while the visitors churn, beside the memory of the same
# console logged in to an empty site, and the memory per page row that follows.
#
# usage: console_load.sh [BUILD_DIR]   (default: build)
# Environment (defaults in brackets): LOAD_VISITORS [100000], LOAD_CHURN page moves a second
# [1000], LOAD_WARMUP seconds after the log-in before measuring [20], LOAD_SECONDS measured
# [30], LOAD_EMPTY [1; 0 skips the empty-site run], LOAD_SHOT a PNG file for a screenshot of
# the console at the end of the measurement (needs imagemagick), LOAD_ABOUT_AT the point of
# the console window where the About button sits ["510 21"; empty skips the About timing].
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
fi
BUILD=$(cd "${1:-build}" && pwd)
OLVEX=$BUILD/src/console/olvex
DEMO_SERVER=$BUILD/tools/demo-server/olvex-demo-server
VISITORS=${LOAD_VISITORS:-100000}
CHURN=${LOAD_CHURN:-1000}
WARMUP=${LOAD_WARMUP:-20}
SECONDS_MEASURED=${LOAD_SECONDS:-30}
. "$(dirname "$0")/../tests/e2e/x_session.sh"
trap session_end EXIT
export QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none

rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
HZ=$(getconf CLK_TCK)

# run_console VISITORS CHURN: the console logged in to a fresh demo server; sets CONSOLE_PID
# and LOGIN_SECONDS (start to the online title).
run_console() {
    session_begin
    demo_server_start "$DEMO_SERVER" --visitors "$1" --churn "$2" --request-every 0 --seed 5
    write_settings demo demo "$DEMO_PORT" "ShowHints=0"
    local start
    start=$(date +%s.%N)
    console_start "$OLVEX"
    wait_window "$ONLINE" 120 >/dev/null || fail "no automatic log-in"
    LOGIN_SECONDS=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
}

EMPTY_KIB=""
if [ "${LOAD_EMPTY:-1}" != 0 ]; then
    run_console 0 0
    sleep 5
    EMPTY_KIB=$(rss_kib "$CONSOLE_PID")
    session_end
fi

run_console "$VISITORS" "$CHURN"
sleep "$WARMUP"
kill -0 "$CONSOLE_PID" 2>/dev/null || fail "the console ended during the warm-up"
ticks0=$(cpu_ticks "$CONSOLE_PID")
t0=$(date +%s.%N)
sleep "$SECONDS_MEASURED"
ticks1=$(cpu_ticks "$CONSOLE_PID")
t1=$(date +%s.%N)
rss=$(rss_kib "$CONSOLE_PID")
if [ -n "${LOAD_SHOT:-}" ]; then
    import -window root "$LOAD_SHOT"
fi
kill -0 "$CONSOLE_PID" 2>/dev/null || fail "the console ended while measured"

# From a click on About to its window, five times: how long the window keeps the operator
# waiting under this load.
about_ms=""
if [ -n "${LOAD_ABOUT_AT-510 21}" ]; then
    console=$(wait_window "$ONLINE" 5)
    read -r ax ay <<<"${LOAD_ABOUT_AT-510 21}"
    for _ in 1 2 3 4 5; do
        t=$(date +%s%N)
        xdotool mousemove --window "$console" "$ax" "$ay" click 1
        while ! xdotool search --onlyvisible --name '^About Olvex$' >/dev/null 2>&1; do
            [ $(($(date +%s%N) - t)) -gt 10000000000 ] && fail "no About window"
        done
        about_ms="$about_ms $((($(date +%s%N) - t) / 1000000))"
        for w in $(xdotool search --onlyvisible --name '^About Olvex$' 2>/dev/null); do
            focus "$w" 2>/dev/null && xdotool key Escape 2>/dev/null || true
        done
        wait_no_window '^About Olvex$' 5 || fail "the About window stayed"
        sleep 0.5
    done
fi

share=$(awk -v d=$((ticks1 - ticks0)) -v hz="$HZ" -v a="$t0" -v b="$t1" \
    'BEGIN { printf "%.1f", 100 * d / hz / (b - a) }')
echo "visitors $VISITORS, churn $CHURN/s, measured ${SECONDS_MEASURED}s after ${WARMUP}s"
echo "log-in to online title: ${LOGIN_SECONDS}s"
echo "console CPU: ${share} % of one core"
echo "console RSS: $((rss / 1024)) MiB ($rss KiB)"
[ -n "$about_ms" ] && echo "About click to window, ms (5 tries):$about_ms"
if [ -n "$EMPTY_KIB" ]; then
    echo "empty console RSS: $((EMPTY_KIB / 1024)) MiB ($EMPTY_KIB KiB)"
    if [ "$VISITORS" -gt 0 ]; then
        echo "per visitor row: $(((rss - EMPTY_KIB) * 1024 / VISITORS)) bytes"
    fi
fi
