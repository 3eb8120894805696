# A desktop session on a virtual display for the desktop tests: Xvfb (display picked with
# -displayfd), the openbox window manager, a private session bus with no services to start
# on demand, the dunst notification daemon, and our own StatusNotifier watcher and host in
# place of a panel. Source it; it brings tests/e2e/x_session.sh along.
#
#   desktop_begin SNI_HOST [--no-tray] a scratch session with the stack, ended at exit;
#                                       without a tray no watcher runs
#   tray_start / tray_stop              the panel coming and going
#   notifications                       what dunst was asked to show (its -print output)

. "$(dirname "${BASH_SOURCE[0]}")/../e2e/x_session.sh"

desktop_begin() {
    session_begin
    trap session_end EXIT
    stack_begin "$@"
}

stack_begin() {
    SNI_HOST=$1
    local no_tray=${2:-}
    local display_file="$SESSION_DIR/display" _
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$display_file" 2>"$SESSION_DIR/xvfb.err" &
    SESSION_PIDS+=($!)
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    [ -s "$display_file" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$display_file")"

    session_bus_start

    openbox --sm-disable >"$SESSION_DIR/openbox.log" 2>&1 &
    SESSION_PIDS+=($!)

    mkdir -p "$XDG_CONFIG_HOME/dunst"
    cat >"$XDG_CONFIG_HOME/dunst/dunstrc" <<CONF
[global]
    width = 360
    height = 120
    origin = top-right
    offset = 10x40
    font = DejaVu Sans 10
    frame_width = 1
    frame_color = "#4c566a"
    format = "<b>%s</b>\n%b"
    show_indicators = no
[urgency_normal]
    background = "#2e3440"
    foreground = "#eceff4"
    timeout = 10
[urgency_critical]
    background = "#3b4252"
    foreground = "#eceff4"
    frame_color = "#bf616a"
    timeout = 0
CONF
    dunst -print -config "$XDG_CONFIG_HOME/dunst/dunstrc" >"$SESSION_DIR/dunst.log" 2>"$SESSION_DIR/dunst.err" &
    SESSION_PIDS+=($!)
    for _ in $(seq 100); do
        bus_has org.freedesktop.Notifications && break
        sleep 0.1
    done
    bus_has org.freedesktop.Notifications || fail "dunst did not take the notification service"
    [ "$no_tray" = --no-tray ] || tray_start
    export QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none
}

bus_has() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# a11y_bus_start: the session's accessibility bus, with Qt speaking on it though no screen reader
# runs, and PY, a Python that reads it (tests/desktop/a11y_probe.py).
a11y_bus_start() {
    PY=/usr/bin/python3
    "$PY" -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi is needed (tools/apt-packages.txt)"
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$SESSION_DIR/a11y-bus.log" 2>&1 &
    SESSION_PIDS+=($!)
    local _
    for _ in $(seq 100); do
        bus_has org.a11y.Bus && break
        sleep 0.1
    done
    bus_has org.a11y.Bus || fail "no accessibility bus"
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

tray_start() {
    "$SNI_HOST" watch >"$SESSION_DIR/sni-host.log" 2>&1 &
    TRAY_PID=$!
    SESSION_PIDS+=("$TRAY_PID")
    local _
    for _ in $(seq 100); do
        bus_has org.kde.StatusNotifierWatcher && return 0
        sleep 0.1
    done
    fail "the StatusNotifier watcher did not start"
}

tray_stop() {
    kill "$TRAY_PID" 2>/dev/null || true
    wait "$TRAY_PID" 2>/dev/null || true
}

# tray_item [SECONDS]: waits until an item is registered with the watcher.
tray_item() {
    local seconds=${1:-10} _
    for _ in $(seq $((seconds * 10))); do
        [ -n "$("$SNI_HOST" items 2>/dev/null)" ] && return 0
        sleep 0.1
    done
    return 1
}

notifications() {
    cat "$SESSION_DIR/dunst.log"
}

# wait_notification TEXT [SECONDS]: dunst was asked to show a notification holding TEXT.
wait_notification() {
    local text=$1 seconds=${2:-10} _
    for _ in $(seq $((seconds * 10))); do
        grep -qF -- "$text" "$SESSION_DIR/dunst.log" && return 0
        sleep 0.1
    done
    echo "no notification \"$text\" within $seconds s; dunst saw:" >&2
    grep -E 'summary|body' "$SESSION_DIR/dunst.log" >&2 || true
    return 1
}

# window_state WINDOW: Normal, Iconic or Withdrawn (hidden), as the window manager sees it.
window_state() {
    local state
    state=$(xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/^[[:space:]]*window state: //p')
    echo "${state:-Withdrawn}"
}
