#!/usr/bin/env bash
# Soak run of the real console on a virtual X display: a fast console timer, 1,000 visitors
# churning on the demo server, calls accepted from their alerts, answered and closed one after
# another, for a simulated hour of console ticks. Prints resident memory and open descriptors
# after warm-up and at the end, and fails when memory grew by more than 10 % or descriptors
# leaked. Then, with --idle, measures the processor time of the logged-in console left alone.
#
# usage: soak.sh OLVEX DEMO_SERVER X_CLOSE_WINDOW
# Environment (defaults in brackets): SOAK_CALLS [100], SOAK_MINUTES simulated [60],
# SOAK_TICK_MS console timer period standing for one minute [1000], SOAK_VISITORS [1000],
# SOAK_CHURN page moves a second [100], SOAK_IDLE_SECONDS [60, 0 skips], SOAK_WARMUP_CALLS [10].
# SOAK_MAX_GROWTH percent [10; empty: only report, as for short or sanitized runs].
# A visitor asks for a chat every second; the alerts not taken close after 30 s.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" "$@"
fi
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} X_CLOSE=${3:?x-close-window}
CALLS=${SOAK_CALLS:-100}
MINUTES=${SOAK_MINUTES:-60}
TICK_MS=${SOAK_TICK_MS:-1000}
VISITORS=${SOAK_VISITORS:-1000}
CHURN=${SOAK_CHURN:-100}
IDLE_SECONDS=${SOAK_IDLE_SECONDS:-60}
WARMUP_CALLS=${SOAK_WARMUP_CALLS:-10}
MAX_GROWTH=${SOAK_MAX_GROWTH-10}
. "$(dirname "$0")/x_session.sh"
session_begin
trap session_end EXIT
export QT_QPA_PLATFORM=xcb

rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
fd_count() { find "/proc/$1/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }
# A call being closed or declined holds descriptors for a moment, longer on a loaded machine:
# count once the number has held for a second (or after 10 s).
settled_fd_count() {
    local last count same=0 _
    last=$(fd_count "$1")
    for _ in $(seq 100); do
        sleep 0.1
        count=$(fd_count "$1")
        if [ "$count" -eq "$last" ]; then
            same=$((same + 1))
            [ $same -lt 10 ] || break
        else
            same=0
            last=$count
        fi
    done
    echo "$last"
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The console's own descriptors, with one open call window or none.
call_windows() { xdotool search --onlyvisible --name '^Olvex Call' 2>/dev/null | wc -l; }

demo_server_start "$DEMO_SERVER" --visitors "$VISITORS" --churn "$CHURN" --request-every 1 \
    --seed 11
write_settings demo demo "$DEMO_PORT" "ShowHints=0
NotifyTimeout=30"
START=$(date +%s)
OLVEX_CONSOLE_TIMER_MS=$TICK_MS console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"

# One call: accept the next alert with the keyboard, say something once joined, close it.
one_call() {
    local alert call title _
    alert=$(wait_window "$ALERT" 30) || fail "no call alert"
    alert_key "$alert" Return
    call=""
    for _ in $(seq 100); do
        call=$(xdotool search --onlyvisible --name '^Olvex Call - ' 2>/dev/null | head -n 1) || true
        title=$( [ -n "$call" ] && window_title "$call" || true)
        case "$title" in
        "" | "Olvex Call - Connecting") ;;
        *) break ;;
        esac
        sleep 0.1
    done
    [ -n "$call" ] || fail "the accepted call opened no window"
    focus "$call"
    xdotool type --delay 2 "soak line $1"
    xdotool key Return Escape
    answer_question Return || fail "Escape on a running chat asked nothing"
    wait_gone "$call" 10 || fail "the call window did not close"
}

# Requests keep coming: measure with none of their alerts open.
dismiss_alerts() {
    local alert
    for alert in $(xdotool search --onlyvisible --name "$ALERT" 2>/dev/null); do
        focus "$alert" && sleep 1.1 && xdotool key Escape
    done
    sleep 0.2
}

declare -i calls=0
for _ in $(seq "$WARMUP_CALLS"); do
    calls+=1
    one_call $calls
done
dismiss_alerts
WARM_RSS=$(rss_kib "$CONSOLE_PID")
WARM_FDS=$(settled_fd_count "$CONSOLE_PID")
echo "after warm-up ($calls calls, $(($(date +%s) - START)) s): RSS ${WARM_RSS} KiB, ${WARM_FDS} descriptors"

# Calls until the count is reached, and at least the simulated hour of ticks.
END=$((START + (MINUTES * TICK_MS + 999) / 1000))
while [ $calls -lt "$CALLS" ] || [ "$(date +%s)" -lt $END ]; do
    if [ $calls -lt "$CALLS" ]; then
        calls+=1
        one_call $calls
    else
        sleep 1
    fi
    kill -0 "$CONSOLE_PID" 2>/dev/null || fail "the console ended during the soak"
done
dismiss_alerts
END_RSS=$(rss_kib "$CONSOLE_PID")
END_FDS=$(settled_fd_count "$CONSOLE_PID")
ELAPSED=$(($(date +%s) - START))
echo "after $calls calls and $((ELAPSED * 1000 / TICK_MS)) simulated minutes ($ELAPSED s): RSS ${END_RSS} KiB, ${END_FDS} descriptors"
GROWTH=$(awk -v a="$WARM_RSS" -v b="$END_RSS" 'BEGIN {printf "%.1f", (b - a) * 100 / a}')
echo "resident memory growth after warm-up: $GROWTH %"
if [ -n "$MAX_GROWTH" ]; then
    awk -v g="$GROWTH" -v m="$MAX_GROWTH" 'BEGIN {exit !(g < m)}' ||
        fail "resident memory grew by $GROWTH %"
fi
[ "$END_FDS" -le "$WARM_FDS" ] || fail "descriptors grew from $WARM_FDS to $END_FDS"
[ -z "$(sanitizer_reports)" ] || fail "the console reported: $(sanitizer_reports)"

if [ "$IDLE_SECONDS" -gt 0 ]; then
    # Idle: a quiet site, the console logged in with its normal timer.
    quit_console "$console"
    wait_exit "$CONSOLE_PID" 30 || fail "the console did not end"
    kill "$DEMO_PID" 2>/dev/null || true
    demo_server_start "$DEMO_SERVER" --visitors 25 --quiet
    write_settings demo demo "$DEMO_PORT" "ShowHints=0"
    console_start "$OLVEX"
    wait_window "$ONLINE" 60 >/dev/null || fail "no automatic log-in"
    sleep 5
    HZ=$(getconf CLK_TCK)
    before=$(cpu_ticks "$CONSOLE_PID")
    t0=$(date +%s.%N)
    sleep "$IDLE_SECONDS"
    after=$(cpu_ticks "$CONSOLE_PID")
    t1=$(date +%s.%N)
    IDLE=$(awk -v c=$((after - before)) -v hz="$HZ" -v a="$t0" -v b="$t1" \
        'BEGIN {printf "%.2f", c / hz * 100 / (b - a)}')
    echo "idle, logged in, over ${IDLE_SECONDS} s: $IDLE % of one core"
    awk -v i="$IDLE" 'BEGIN {exit !(i < 1)}' || fail "idle load $IDLE % is 1 % or more"
fi
echo "PASS"
