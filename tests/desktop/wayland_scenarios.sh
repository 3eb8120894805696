# The scenarios of wayland_e2e.sh, each a function of the mode (native or xwayland) that
# returns non-zero on failure and leaves what it found in WHY. Sourced by wayland_e2e.sh.

session_kill_console() {
    kill "$CONSOLE_PID" "$DEMO_PID" 2>/dev/null || true
    wait "$CONSOLE_PID" "$DEMO_PID" 2>/dev/null || true
}

# Typing into another program while a request arrives.
scenario_typing() {
    local mode=$1 typed="$SESSION_DIR/typed-$1.txt" expected="" sure="" i alert=""
    start_editor "$mode" "Editor-$mode" "$typed" || { WHY="the other program did not get the keyboard"; return 1; }
    local before
    before=$(joins)
    for i in $(seq 40); do
        sure=$expected
        wl_type "line $i ok"$'\n'
        expected+="line $i ok"$'\n'
        alert=$(wl_window "$ALERT") && break
    done
    [ -n "$alert" ] || { WHY="no request came while typing"; return 1; }
    # The keys right after it appeared are the dangerous ones: Space and Enter among them,
    # all within the second in which an alert that took the keyboard ignores them.
    for i in 1 2; do
        wl_type "after $i "$'\n'
        expected+="after $i "$'\n'
    done
    sleep 0.5
    # Its size as shown: a window just made may not have one yet (GNOME Shell).
    alert=$(wl_window "$ALERT") || true
    ALERT_SIZE[$mode]="$(wl_field "$alert" 7)x$(wl_field "$alert" 8)"
    local got
    got=$(cat "$typed" 2>/dev/null; echo x)
    got=${got%x}
    [ "$(joins)" -eq "$before" ] || { WHY="typing into another program joined a call"; return 1; }
    wl_window "$ALERT" >/dev/null || { WHY="the alert went away while the operator typed elsewhere"; return 1; }
    # Keys may go to the alert where the compositor focuses new windows, but none typed
    # before it appeared may be lost, and none doubled or reordered.
    if [ "${expected:0:${#got}}" != "$got" ] || [ "${#got}" -lt "${#sure}" ]; then
        diff <(printf '%s' "$expected") "$typed" | head -n 10 >&2 || true
        WHY="the other program got ${#got} of ${#expected} bytes, not as typed"
        return 1
    fi
    if [ "$got" = "$expected" ]; then
        WHY="all ${#got} bytes reached the other program; no join"
    else
        WHY="keys after the alert appeared went to it (the compositor focused it) and were ignored; no join"
    fi
    wl_focus "^Editor-$mode\$"
}

# Accept from the request's notification.
scenario_notify() {
    local mode=$1 note="" id _
    wl_focus "^Editor-$mode\$"
    dbus-monitor --session "type='signal',interface='org.freedesktop.Notifications'" \
        >"$SESSION_DIR/notify-signals-$mode.txt" 2>/dev/null &
    local monitor=$!
    SESSION_PIDS+=("$monitor")
    note=$(wait_new_request "$(wl_notifications | cut -d'|' -f1 | tr '\n' ' ')") || { WHY="no \"Chat request from\" notification within 15 s"; kill "$monitor"; return 1; }
    local calls_before
    calls_before=$(wl_windows | grep -c '^Olvex Call - ' || true)
    wl_notification_accept "$note" || { WHY="the notification had no Accept"; kill "$monitor"; return 1; }
    local call=""
    for _ in $(seq 100); do
        [ "$(wl_windows | grep -c '^Olvex Call - ' || true)" -gt "$calls_before" ] &&
            call=$(wl_windows | grep '^Olvex Call - ' | tail -n 1) && break
        sleep 0.1
    done
    kill "$monitor" 2>/dev/null || true
    [ -n "$call" ] || { WHY="Accept on the notification opened no call window"; return 1; }
    local title token=no
    title=$(wl_field "$call" 1)
    grep -q 'member=ActivationToken' "$SESSION_DIR/notify-signals-$mode.txt" && token=yes
    if ! wl_wait_for 3 focused_is "^${title//[/\\[}\$"; then
        call=$(wl_window "^Olvex Call - ") || true
        if [ "$token" = no ] && [ "$(wl_field "$call" 3)" = true ]; then
            WHY="no token from the notification server: the call window asks for attention"
            return 0
        fi
        WHY="the call window is not in front (token from the server: $token; focused: $(wl_focused))"
        return 1
    fi
    # The keyboard is in the input box: a line typed now is sent and kept in the history.
    local line="typed on $STACK $mode"
    wl_type "$line"$'\n'
    if ! wl_wait_for 10 grep -qaF "$line" "$XDG_DATA_HOME"/Olvex/history.sqlite*; then
        WHY="the call window is in front but what was typed did not reach its input box"
        return 1
    fi
    WHY="call window in front, the line typed at once was sent (token from the server: $token)"
}

# wait_new_request SEEN: the id of a "Chat request from" notification not among SEEN
# (ids separated by spaces), within 15 s.
wait_new_request() {
    local seen=$1 note _ id
    for _ in $(seq 150); do
        note=$(wl_notifications | grep 'Chat request from ' | while IFS='|' read -r id _; do
            [[ " $seen " == *" $id "* ]] || echo "$id"
        done | tail -n 1)
        [ -n "$note" ] && { echo "$note"; return 0; }
        sleep 0.1
    done
    return 1
}

# What the panel draws for the console's icon, and whether it is one of the program's own.
tray_icon() {
    QT_QPA_PLATFORM=offscreen "$SNI_HOST" icon "$OLVEX_WL_INSIDE/olvex.svg" "$OLVEX_WL_INSIDE/olvex_grey.svg"
}

# tray_watch_begin MODE: from the log-in on, the messages the console posts are counted, and
# the icon the panel draws before them is kept in TRAY_BEFORE.
tray_watch_begin() {
    dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
        >"$SESSION_DIR/notify-calls-$1.txt" 2>/dev/null &
    SESSION_PIDS+=($!)
    TRAY_MONITOR=$!
    TRAY_BEFORE=""
    if wl_wait_for 10 "$SNI_HOST" items >/dev/null; then
        TRAY_BEFORE=$(tray_icon | tr '\n' ' ') || true
    fi
}

# The tray icon's activation, with the panel's token, brings back the console. First: the
# tray messages and requests since the log-in left the icon as it was, one of the program's
# own (some hosts draw a stock picture for good once an item asks for attention).
scenario_tray() {
    local mode=$1 console token
    console=$(wl_window "$CONSOLE") || { WHY="no console window"; return 1; }
    wl_wait_for 10 "$SNI_HOST" items >/dev/null || { WHY="no icon in the tray"; return 1; }
    local after visitors requests
    kill "$TRAY_MONITOR" 2>/dev/null || true
    visitors=$(grep -c 'string "A website visitor has now entered' "$SESSION_DIR/notify-calls-$mode.txt" || true)
    requests=$(grep -c 'string "Chat request from' "$SESSION_DIR/notify-calls-$mode.txt" || true)
    [[ "$TRAY_BEFORE" == *"drawn: olvex"* ]] || { WHY="after the log-in, before visitors and requests, the tray drew: ${TRAY_BEFORE:-no icon}"; return 1; }
    if ! after=$(tray_icon | tr '\n' ' '); then
        WHY="after $visitors visitor messages and $requests requests the tray drew: $after (before: $TRAY_BEFORE)"
        return 1
    fi
    [ "$visitors" -gt 0 ] && [ "$requests" -gt 0 ] ||
        { WHY="too few messages to tell: $visitors visitor messages, $requests requests"; return 1; }
    local icon="icon kept over $visitors visitor messages and $requests requests ($after)"
    local title
    title=$(wl_field "$console" 1)
    if wl_minimise "$CONSOLE"; then
        wl_wait_for 5 console_hidden || { WHY="minimising did not hide the console in the tray ($(wl_window "$CONSOLE"))"; return 1; }
    else
        # sway has no minimising: the operator works in another window instead.
        wl_focus "^Editor-$mode\$"
        wl_wait_for 5 focused_is "^Editor-$mode\$" || { WHY="the console kept the keyboard"; return 1; }
    fi
    token=$(WAYLAND_DISPLAY=$WAYLAND_DISPLAY "$WL_CLIENT" token 2>/dev/null) || token=""
    "$SNI_HOST" activate ${token:+"$token"} || { WHY="the icon took no activation"; return 1; }
    if ! wl_wait_for 5 focused_is "$CONSOLE"; then
        console=$(wl_window "$CONSOLE") || { WHY="the console stayed hidden"; return 1; }
        # KWin gives tokens only to trusted panels; ours is not one. The console must then
        # still come back from the minimised state and ask for attention.
        if [ "$token" = not-granted-666 ] && [ "$(wl_field "$console" 4)" = false ] &&
            [ "$(wl_field "$console" 3)" = true ]; then
            WHY="the compositor refused the test panel a token: the console came back and asks for attention; $icon"
            return 0
        fi
        WHY="the console came back but is not in front (minimised: $(wl_field "$console" 4), asks for attention: $(wl_field "$console" 3), token: ${token:-none})"
        return 1
    fi
    WHY="console back in front (token: ${token:-none}); $icon"
}

console_hidden() {
    local console
    console=$(wl_window "$CONSOLE") || return 0
    [ "$(wl_field "$console" 4)" = true ]
}

# Auto-away: no input for the idle time sets away, input brings the operator back. The
# input goes to a native window, which an X server's idle time never sees.
scenario_away() {
    local mode=$1
    export OLVEX_AUTO_AWAY_SECONDS=3
    start_editor native "Input-$mode" "$SESSION_DIR/input-$mode.txt" || { WHY="no window to type into"; return 1; }
    start_console "$mode" "ShowHints=0
AutoAwayMinutes=1" --quiet || { unset OLVEX_AUTO_AWAY_SECONDS; WHY="the console did not log in"; return 1; }
    unset OLVEX_AUTO_AWAY_SECONDS
    wl_focus "^Input-$mode\$"
    local ok=0 started
    started=$(date +%s.%N)
    if ! wl_wait_window '^Olvex - away \[127\.0\.0\.1\]$' 12 >/dev/null 2>&1; then
        WHY="not set away after 3 s without input ($(idle_lines))"
    else
        local away
        away=$(date +%s.%N)
        wl_focus "^Input-$mode\$"
        wl_type "back"
        local typed
        typed=$(date +%s.%N)
        if wl_wait_window '^Olvex - online \[127\.0\.0\.1\]$' 10 >/dev/null 2>&1; then
            ok=1
            WHY="away after $(awk "BEGIN {printf \"%.1f\", $away - $started}") s, online $(awk "BEGIN {printf \"%.1f\", $(date +%s.%N) - $typed}") s after a key ($(idle_lines))"
        else
            WHY="away, but a key in another window did not bring the operator back ($(idle_lines))"
        fi
    fi
    quit_via_tray || { WHY+="; the tray's Quit did not end the console"; ok=0; }
    [ "$ok" -eq 1 ]
}

# What the console logged about its idle source, for the report.
idle_lines() {
    grep -iE 'idle|away' "$LOG" 2>/dev/null | sed 's/^[^ ]* //' | tail -n 2 | tr '\n' ';' | cut -c1-200
}

# Placement: the X11 run's stored position survives a native run; the alert keeps its size.
scenario_placement() {
    local mode=$1
    if [ "$mode" = xwayland ]; then
        # As if the operator had moved the console there on X11. A tiling desktop stores no
        # placement of its own, so the section may have to be made.
        if [ -f "$INI" ] && grep -q '^\[MainWindow\]' "$INI"; then
            sed -i '/^\[MainWindow\]/,/^\[/{s/^Left=.*/Left=137/;s/^Top=.*/Top=91/}' "$INI"
        else
            printf '[MainWindow]\nShow=1\nLeft=137\nRight=937\nTop=91\nBottom=691\n' >>"$INI"
        fi
        grep -q '^Left=137' "$INI" || { WHY="no MainWindow position in the placement file"; return 1; }
        WHY="X11 position stored; alert ${ALERT_SIZE[xwayland]:-unseen}"
        return 0
    fi
    local left top
    left=$(sed -n '/^\[MainWindow\]/,/^\[/s/^Left=//p' "$INI")
    top=$(sed -n '/^\[MainWindow\]/,/^\[/s/^Top=//p' "$INI")
    [ "$left,$top" = "137,91" ] || { WHY="the native run overwrote the X11 position 137,91 with $left,$top"; return 1; }
    local x=${ALERT_SIZE[xwayland]:-} n=${ALERT_SIZE[native]:-}
    [ -n "$x" ] && [ -n "$n" ] || { WHY="X11 position kept; no alert seen to compare"; return 1; }
    if ! awk -v a="$x" -v b="$n" 'BEGIN { split(a, p, "x"); split(b, q, "x");
            exit !(q[1] <= p[1] * 1.3 + 20 && q[2] <= p[2] * 1.3 + 40 && q[1] >= p[1] * 0.7 && q[2] >= p[2] * 0.7) }'; then
        WHY="X11 position kept, but the alert is ${n} natively against ${x} under Xwayland"
        return 1
    fi
    WHY="X11 position kept; alert ${n} natively, ${x} under Xwayland"
}

declare -A ALERT_SIZE
