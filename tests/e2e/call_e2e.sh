#!/usr/bin/env bash
# End to end, on a virtual X display: the console logs in by itself to the demo server, a
# visitor's chat request is accepted from the alert with the keyboard, one message goes each
# way, the transcript is saved as Rich Text, the call window and then the console are closed,
# and the program ends cleanly with nothing in its error output that a crash or a sanitizer
# would leave.
#
# usage: call_e2e.sh OLVEX DEMO_SERVER X_CLOSE_WINDOW
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" "$@"
fi
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} X_CLOSE=${3:?x-close-window}
. "$(dirname "$0")/x_session.sh"
session_begin
trap session_end EXIT
export QT_QPA_PLATFORM=xcb

# One visitor on the site, who asks for a chat at once and, in the call, answers each line.
demo_server_start "$DEMO_SERVER" --visitors 1 --request-every 1 --seed 3
write_settings demo demo "$DEMO_PORT" "ShowHints=0"
console_start "$OLVEX"

console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"
echo "logged in: window $console"

alert=$(wait_window "$ALERT" 30) || fail "no call alert"
alert_key "$alert" Return
wait_gone "$alert" 10 || fail "Return did not accept the alert"

# The title names the visitor once the call is joined.
call=""
for _ in $(seq 200); do
    call=$(xdotool search --onlyvisible --name '^Olvex Call - ' 2>/dev/null | head -n 1) || true
    title=$( [ -n "$call" ] && window_title "$call" || true)
    case "$title" in
    "" | "Olvex Call - Connecting") ;;
    "Olvex Call - Error") fail "the call did not connect" ;;
    *) break ;;
    esac
    sleep 0.1
done
[ -n "$title" ] && [ "$title" != "Olvex Call - Connecting" ] || fail "the call window never joined"
visitor=${title#Olvex Call - }
echo "call with $visitor: window $call"

line="Hello from the operator, end to end"
# Into the input box, left of Send at the bottom of the window.
read -r width height < <(xdotool getwindowgeometry --shell "$call" |
    awk -F= '/^WIDTH/ {w = $2} /^HEIGHT/ {h = $2} END {print w, h}')
click_at "$call" $((width / 2)) $((height - 42))
xdotool type --delay 15 "$line"
xdotool key Return

# Save until the visitor's answer is in the transcript: each save goes to a new file, so no
# replace question comes up. Save is the sixth button of the toolbar, after the Answers
# button and the four in the middle.
saved=""
for attempt in $(seq 20); do
    file="$SESSION_DIR/transcript$attempt.rtf"
    geometry=$(xdotool getwindowgeometry "$call")
    click_at "$call" "${OLVEX_E2E_SAVE_X:-299}" "${OLVEX_E2E_SAVE_Y:-25}"
    dialog=$(wait_window '^Save' 10) || fail "Save opened no file dialog ($geometry)"
    focus "$dialog"
    xdotool key ctrl+a
    xdotool type --delay 5 "$file"
    xdotool key Return
    wait_no_window '^Save' 10 || fail "the file dialog stayed open"
    for _ in $(seq 50); do
        [ -s "$file" ] && break
        sleep 0.1
    done
    [ -s "$file" ] || fail "no transcript written to $file"
    text=$(unrtf --text "$file" 2>/dev/null || cat "$file")
    grep -qF "$line" <<<"$text" || fail "the transcript lacks the operator's line"
    # Each chat line is headed by its time and sender's name; notices are not. The first of
    # the visitor's is the question they asked with the request.
    names=$(sed -E 's/^[0-9]{2}:[0-9]{2} //' <<<"$text" | grep -cxF "$visitor:" || true)
    if [ "$names" -ge 2 ]; then
        saved=$file
        break
    fi
    sleep 1
done
[ -n "$saved" ] || fail "no answer from the visitor reached the transcript"
head -c 5 "$saved" | grep -q '{\\rtf' || fail "the saved transcript is not Rich Text"
echo "transcript saved as Rich Text: $saved"

# Escape on a running chat asks first; Return says yes.
focus "$call"
xdotool key Escape
if [ "$(window_title "$call")" != "Olvex Call - Closed" ]; then
    answer_question Return || fail "Escape on a running chat asked nothing"
fi
wait_gone "$call" 10 || fail "Escape did not close the call window"

quit_console "$console"
status=0
wait_exit "$CONSOLE_PID" 30 || status=$?
[ "$status" -ne 124 ] || fail "the console did not end after its window was closed"
reports=$(sanitizer_reports)
if [ -n "$reports" ]; then
    cat "$SESSION_DIR/console.err" >&2
    fail "the console reported: $reports"
fi
[ "$status" -eq 0 ] || { cat "$SESSION_DIR/console.err" >&2; fail "the console ended with $status"; }

# The real program's log: private, with the log-in and the call, without the chat line.
log="$XDG_STATE_HOME/Olvex/olvex.log"
[ "$(stat -c %a "$log" 2>/dev/null)" = 600 ] || fail "no log at $log with mode 600"
grep -q 'info olvex.engine: logged in to 127.0.0.1:' "$log" || fail "the log lacks the log-in"
grep -q 'info olvex.engine: joined call ' "$log" || fail "the log lacks the call"
! grep -qF "$line" "$log" || fail "the log holds a chat line"
echo "PASS"
