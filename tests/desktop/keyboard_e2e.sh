#!/usr/bin/env bash
# A chat request never takes the keyboard: while the operator types into another program
# (xterm), a request's alert appears and every key still reaches that program, and nothing
# joins the call. A deliberate Enter on the alert, a second after it appeared, joins exactly
# once however often it is pressed. Three requests give three alerts at three places, the
# oldest in front. Closing the console with requests waiting asks first.
#
# usage: keyboard_e2e.sh OLVEX DEMO_SERVER SNI_HOST X_CLOSE_WINDOW
set -euo pipefail
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} SNI_HOST=${3:?sni-host}
X_CLOSE=${4:?x-close-window}
here=$(dirname "$0")
. "$here/desktop_stack.sh"
desktop_begin "$SNI_HOST"
command -v xterm >/dev/null || fail "xterm is needed (tools/apt-packages.txt)"

demo_server_start "$DEMO_SERVER" --visitors 6 --request-every 4 --seed 7
write_settings demo demo "$DEMO_PORT" "NotifyTimeout=40"
console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"
log="$XDG_STATE_HOME/Olvex/olvex.log"
joins() { grep -c 'olvex.engine: joining call ' "$log" || true; }

# The operator types into another program while the first request arrives.
typed="$SESSION_DIR/typed.txt"
xterm -title Editor -geometry 80x10+400+420 -e sh -c "stty -echo; cat > '$typed'" &
SESSION_PIDS+=($!)
editor=$(wait_window '^Editor$' 10) || fail "no xterm"
focus "$editor"
expected=""
alert=""
for i in $(seq 200); do
    xdotool type --delay 15 "line $i ok "
    xdotool key Return
    expected+="line $i ok "$'\n'
    alert=$(xdotool search --onlyvisible --name "$ALERT" 2>/dev/null | head -n 1) || true
    [ -n "$alert" ] && break
done
[ -n "$alert" ] || fail "no request came"
# The keys right after it appeared are the dangerous ones: Space and Enter among them.
for i in 1 2 3 4 5 6; do
    xdotool type --delay 15 "after $i "
    xdotool key space Return
    expected+="after $i  "$'\n'
done
sleep 0.5
[ "$(xdotool getactivewindow)" = "$editor" ] || fail "the alert took the keyboard from the other program"
[ "$(joins)" -eq 0 ] || fail "typing into another program joined a call"
xdotool search --onlyvisible --name "$ALERT" >/dev/null || fail "the alert went away while the operator typed elsewhere"
[ "$(cat "$typed")" = "$(printf '%s' "$expected")" ] || {
    diff <(printf '%s' "$expected") "$typed" >&2 || true
    fail "the other program did not receive every key"
}
echo "typing elsewhere: $(wc -c <"$typed") bytes all reached xterm, no join, the keyboard stayed"

# Alerts in the order they appeared.
seen=()
track_alerts() {
    local w
    # Found together, they came in the order of their ids.
    for w in $(xdotool search --onlyvisible --name "$ALERT" 2>/dev/null | sort -n); do
        [[ " ${seen[*]} " == *" $w "* ]] || seen+=("$w")
    done
}
open_alerts() {
    local w
    for w in "${seen[@]}"; do
        xdotool search --onlyvisible --name "$ALERT" 2>/dev/null | grep -qx "$w" && echo "$w"
    done
}
track_alerts

# As on a desktop that focuses new windows: a burst of keys on an alert in its first second
# does nothing; a deliberate Enter after it joins once, however many follow.
count=${#seen[@]}
for _ in $(seq 100); do
    track_alerts
    [ ${#seen[@]} -gt "$count" ] && break
    sleep 0.05
done
[ ${#seen[@]} -gt "$count" ] || fail "no further request"
fresh=${seen[-1]}
focus "$fresh"
xdotool key Return space Return
sleep 0.3
[ "$(joins)" -eq 0 ] || fail "keys within the alert's first second joined a call"
alert_key "$fresh" Return
xdotool key Return Return Return
sleep 2
[ "$(joins)" -eq 1 ] || fail "a deliberate Enter gave $(joins) joins"
! xdotool search --onlyvisible --name '^Olvex Call - Error$' >/dev/null 2>&1 ||
    fail "an error window after the accept"
call=$(wait_window '^Olvex Call - ' 10) || fail "no call window"
[ "$(xdotool getactivewindow)" = "$call" ] || fail "the accepted call window did not get the keyboard"
echo "accepted once: one join, the call window has the keyboard"

# Three requests waiting: three places, the oldest in front.
for _ in $(seq 300); do
    track_alerts
    [ "$(open_alerts | wc -l)" -ge 3 ] && break
    sleep 0.1
done
mapfile -t waiting < <(open_alerts)
[ ${#waiting[@]} -ge 3 ] || fail "no three alerts waiting (${#waiting[@]})"
sleep 0.5
places=""
for w in "${waiting[@]}"; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    places+="$X,$Y "
done
[ "$(tr ' ' '\n' <<<"$places" | sed '/^$/d' | sort -u | wc -l)" -eq ${#waiting[@]} ] ||
    fail "alerts share a place: $places"
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
top=""
for w in $stacking; do
    for a in "${waiting[@]}"; do
        [ "$((w))" = "$a" ] && top=$a
    done
done
[ "$top" = "${waiting[0]}" ] || fail "a newer alert covers the oldest (stacking $stacking, oldest ${waiting[0]})"
echo "${#waiting[@]} alerts at $places the oldest in front"
if [ -n "${OLVEX_DESKTOP_SHOTS:-}" ]; then
    import -window root "$OLVEX_DESKTOP_SHOTS/alerts-side-by-side.png"
fi

# Closing the console with requests waiting asks; No keeps everything.
"$X_CLOSE" "$console"
answer_question Escape || fail "closing with requests waiting asked nothing"
sleep 1
kill -0 "$CONSOLE_PID" 2>/dev/null || fail "No to the question ended the program"
xdotool search --onlyvisible --name "$ALERT" >/dev/null || fail "No to the question closed the alerts"
quit_cleanly "$console"
echo "PASS"
