# Shared by the end-to-end scripts and tools/screenshots: a throw-away home for the console,
# the demo server on a free port, and waits for X windows by title. Source it; it defines
# functions only. Everything started here is stopped by session_end (run it from a trap).

SESSION_PIDS=()
# Titles of the console once logged in to the local demo server, and of a call alert.
ONLINE='^Olvex - Online \[127\.0\.0\.1\]$'
ALERT='^Olvex Call$'
SESSION_DIR=""

fail() {
    echo "FAIL: $*" >&2
    # What the console said is the first clue to a failure nobody watched.
    if [ -n "$SESSION_DIR" ] && [ -s "$SESSION_DIR/console.err" ]; then
        echo "--- console error output (last 40 lines)" >&2
        tail -n 40 "$SESSION_DIR/console.err" >&2
    fi
    exit 1
}

# A scratch directory that holds the console's configuration and data directories.
session_begin() {
    SESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/olvex-e2e.XXXXXX")
    export XDG_CONFIG_HOME="$SESSION_DIR/config" XDG_DATA_HOME="$SESSION_DIR/data"
    export XDG_CACHE_HOME="$SESSION_DIR/cache" XDG_RUNTIME_DIR="$SESSION_DIR/runtime"
    export XDG_STATE_HOME="$SESSION_DIR/state"
    mkdir -p "$XDG_CONFIG_HOME/Olvex" "$XDG_DATA_HOME/Olvex" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}

session_end() {
    local pid
    for pid in "${SESSION_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${SESSION_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    SESSION_PIDS=()
    [ -n "$SESSION_DIR" ] && [ -z "${OLVEX_E2E_KEEP:-}" ] && rm -rf "$SESSION_DIR"
    return 0
}

# session_bus_start: a private session bus in SESSION_DIR, as DBUS_SESSION_BUS_ADDRESS.
session_bus_start() {
    cat >"$SESSION_DIR/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$SESSION_DIR</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
    dbus-daemon --config-file="$SESSION_DIR/bus.conf" --nofork --print-address=1 \
        >"$SESSION_DIR/bus.address" 2>"$SESSION_DIR/bus.err" &
    SESSION_PIDS+=($!)
    local _
    for _ in $(seq 100); do [ -s "$SESSION_DIR/bus.address" ] && break; sleep 0.1; done
    [ -s "$SESSION_DIR/bus.address" ] || fail "no session bus"
    export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$SESSION_DIR/bus.address")
}

# demo_server_start PROGRAM ARGS...: starts the demo server on a free loopback port and sets
# DEMO_PORT and DEMO_PID.
demo_server_start() {
    local program=$1
    shift
    local out="$SESSION_DIR/demo-server.out"
    "$program" --listen 127.0.0.1:0 "$@" >"$out" 2>&1 &
    DEMO_PID=$!
    SESSION_PIDS+=("$DEMO_PID")
    local _
    for _ in $(seq 100); do
        # The shell opens the server's output a moment after starting it: until then there is
        # no file, which under set -e must not end the test.
        DEMO_PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out" 2>/dev/null || true)
        [ -n "$DEMO_PORT" ] && return 0
        kill -0 "$DEMO_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$out" >&2
    fail "the demo server did not start"
}

# write_settings USER PASSWORD PORT [EXTRA LINES]: the console's stored settings for an
# automatic log-in to the demo server, without sound.
write_settings() {
    cat >"$XDG_CONFIG_HOME/Olvex/Agent.conf" <<CONF
[General]
ServerAddress=127.0.0.1
ServerPort=$3
Username=$1
Password=$2
SaveLogin=1
AutoLogin=1
NotifySound=0
${4:-}
CONF
}

# console_start PROGRAM ARGS...: starts the console with stderr in $SESSION_DIR/console.err;
# sets CONSOLE_PID.
console_start() {
    "$@" >"$SESSION_DIR/console.out" 2>"$SESSION_DIR/console.err" &
    CONSOLE_PID=$!
    SESSION_PIDS+=("$CONSOLE_PID")
}

# wait_window TITLE_REGEX [SECONDS]: prints the id of the first visible window whose title
# matches, waiting for it to appear.
wait_window() {
    local pattern=$1 seconds=${2:-20} id _
    for _ in $(seq $((seconds * 10))); do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        if [ -n "${CONSOLE_PID:-}" ] && ! kill -0 "$CONSOLE_PID" 2>/dev/null; then
            echo "the console ended while waiting for \"$pattern\"" >&2
            return 1
        fi
        sleep 0.1
    done
    echo "no window \"$pattern\" within $seconds s" >&2
    return 1
}

# wait_no_window TITLE_REGEX [SECONDS]
wait_no_window() {
    local pattern=$1 seconds=${2:-20} _
    for _ in $(seq $((seconds * 10))); do
        xdotool search --onlyvisible --name "$pattern" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    echo "window \"$pattern\" still there after $seconds s" >&2
    return 1
}

# wait_gone WINDOW [SECONDS]: the window is closed or hidden.
wait_gone() {
    local window=$1 seconds=${2:-20} _
    for _ in $(seq $((seconds * 10))); do
        xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$window" || return 0
        sleep 0.1
    done
    echo "window $window still there after $seconds s" >&2
    return 1
}

window_title() {
    xdotool getwindowname "$1" 2>/dev/null
}

# focus WINDOW: gives the window the keyboard, as a window manager would on a click.
focus() {
    xdotool windowraise "$1" >/dev/null 2>&1 || true
    xdotool windowfocus --sync "$1"
}

# alert_key ALERT [KEY]: the operator turns to a call alert and presses KEY (Return). An
# alert's keys count only from a second after it appeared, so the key waits that long.
alert_key() {
    focus "$1" || return 1
    sleep 1.1
    xdotool key "${2:-Return}"
}

# answer_question [KEY] [SECONDS]: presses KEY (Return: Yes) in the question box that the last
# step opened (the program's boxes are titled "Olvex").
answer_question() {
    local box
    box=$(wait_window '^Olvex$' "${2:-10}") || return 1
    focus "$box"
    xdotool key "${1:-Return}"
}

# quit_console WINDOW: closes the console's window (X_CLOSE) and says yes when it asks about
# open chats or waiting requests.
quit_console() {
    "$X_CLOSE" "$1"
    local box _
    for _ in $(seq 30); do
        kill -0 "$CONSOLE_PID" 2>/dev/null || return 0
        box=$(xdotool search --onlyvisible --name '^Olvex$' 2>/dev/null | head -n 1) || true
        if [ -n "$box" ]; then
            focus "$box"
            xdotool key Return
            return 0
        fi
        sleep 0.1
    done
}

# quit_cleanly WINDOW: quit_console, then the console must end with 0 and no sanitizer report.
quit_cleanly() {
    quit_console "$1"
    local status=0 reports
    wait_exit "$CONSOLE_PID" 30 || status=$?
    [ "$status" -eq 0 ] || fail "the console ended with $status"
    reports=$(sanitizer_reports)
    [ -z "$reports" ] || fail "the console reported: $reports"
}

# click_at WINDOW X Y: a left click at a point of the window.
click_at() {
    focus "$1"
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# wait_exit PID [SECONDS]: the exit status of a child of this shell, or 124 when it did not
# end in time.
wait_exit() {
    local pid=$1 seconds=${2:-20} _
    for _ in $(seq $((seconds * 10))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            local status=0
            wait "$pid" || status=$?
            return "$status"
        fi
        sleep 0.1
    done
    return 124
}

# Lines of a sanitizer or crash report in the console's stderr.
sanitizer_reports() {
    grep -E 'ERROR: (Address|Leak|Thread|Memory)Sanitizer|runtime error:|SUMMARY: (Address|Undefined)|Segmentation fault|terminate called' \
        "$SESSION_DIR/console.err" || true
}
