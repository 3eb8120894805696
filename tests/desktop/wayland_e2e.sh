#!/usr/bin/env bash
# The console on a headless Wayland desktop (sway, KWin or GNOME Shell), once natively and
# once through Xwayland, in one desktop session:
#   typing     keys typed into another program while a request arrives neither reach nor
#              accept the alert: the other program gets them, or the alert ignores them
#   notify     Accept on the request's notification opens the call window in front with the
#              keyboard in its input box (or, without a token from the server, asking for
#              attention)
#   away       no input for the idle time sets the operator away, input brings them back
#   tray       the tray icon's activation, with the panel's activation token, brings back
#              and raises the minimised console
#   placement  a native run leaves the position an X11 run stored; the alert keeps its size
# Prints a table of the results; fails when any scenario failed. GNOME Shell is skipped (exit
# 77) with its reason where it cannot start here.
#
# usage: wayland_e2e.sh sway|kwin|gnome OLVEX DEMO_SERVER SNI_HOST WL_CLIENT
# OLVEX_WL_PICTURES=1 OLVEX_SCREENSHOTS=DIR: instead of the scenarios, pictures of the
# console and a call window as DIR/wayland-STACK-{console,call}.png (tools/screenshots/wayland.sh).
# OLVEX_WAYLAND_STEP_LATER=1: skip (CI runs these in a step of their own).
set -euo pipefail
STACK=${1:?sway, kwin or gnome}
shift
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../e2e/x_session.sh"
. "$here/wayland_stack.sh"

if [ -z "${OLVEX_WL_INSIDE:-}" ]; then
    if [ -n "${OLVEX_WAYLAND_STEP_LATER:-}" ]; then
        echo "SKIP: a later step runs the Wayland desktops"
        exit 77
    fi
    case "$STACK" in
    sway) needed="sway swaymsg wtype mako makoctl grim jq Xwayland setpriv unshare" ;;
    kwin) needed="kwin_wayland mako makoctl jq Xwayland setpriv unshare" ;;
    gnome) needed="gnome-shell gjs gdbus jq Xwayland setpriv unshare" ;;
    *) fail "unknown stack $STACK" ;;
    esac
    for program in $needed xdpyinfo dbus-daemon; do
        command -v "$program" >/dev/null && continue
        [ "$STACK" = gnome ] && { echo "SKIP: GNOME Shell cannot run here: no $program"; exit 77; }
        fail "$program is needed (tools/apt-packages.txt)"
    done
    [ "$(id -u)" -eq 0 ] || { echo "SKIP: the namespaces of these tests need root"; exit 77; }
    status=0
    wl_enter "$STACK" "$0" "$STACK" "$@" || status=$?
    exit "$status"
fi
if [ -z "${OLVEX_WL_USER:-}" ]; then
    wl_prepare "$STACK" "$@"
    # The program's own tray pictures, which the tray must keep showing.
    cp "$here/../../resources/icons/olvex.svg" "$here/../../resources/icons/olvex_grey.svg" \
        "$OLVEX_WL_INSIDE/"
    wl_drop "$0" "$STACK" "${WL_PROGRAMS[@]}"
fi

OLVEX=$1 DEMO_SERVER=$2 SNI_HOST=$3 WL_CLIENT=$4
session_begin
trap session_end EXIT
wl_stack_begin "$STACK" "$SNI_HOST" "$WL_CLIENT"
if [ -n "${WL_STACK_SKIP:-}" ]; then
    echo "SKIP: $WL_STACK_SKIP"
    exit 77
fi
echo "$STACK: WAYLAND_DISPLAY=$WAYLAND_DISPLAY DISPLAY=$DISPLAY, tray: $WL_TRAY_HOST (up after ${SECONDS}s)"

CONSOLE='^Olvex - .*\[127\.0\.0\.1\]$'
LOG="$XDG_STATE_HOME/Olvex/olvex.log"
INI="$XDG_CONFIG_HOME/Olvex/olvex.INI"
RESULTS=()
EDITOR_PIDS=()
WHY=""

# result MODE SCENARIO pass|fail|skip TEXT
result() {
    RESULTS+=("$1|$2|$3|$4")
    echo "[$STACK $1 ${SECONDS}s] $2: $3 - $4"
}

joins() { grep -c 'olvex.engine: joining call ' "$LOG" 2>/dev/null || true; }

# start_console MODE EXTRA_SETTINGS DEMO_ARGS...: a fresh demo server and the console on it.
start_console() {
    local mode=$1 extra=$2
    shift 2
    demo_server_start "$DEMO_SERVER" "$@"
    write_settings demo demo "$DEMO_PORT" "$extra"
    console_start env QT_QPA_PLATFORM="$(qpa "$mode")" "$OLVEX"
    wl_wait_window "$CONSOLE" 60 >/dev/null
}

qpa() { [ "$1" = native ] && echo wayland || echo xcb; }

# quit_via_tray: the tray menu's Quit; Yes when it asks about open chats or waiting requests.
quit_via_tray() {
    "$SNI_HOST" click Quit || { echo "no Quit in the tray menu" >&2; return 1; }
    local _
    for _ in $(seq 50); do
        kill -0 "$CONSOLE_PID" 2>/dev/null || break
        if wl_window '^Olvex$' >/dev/null; then
            wl_focus '^Olvex$'
            sleep 0.3
            wl_type $'\n'
        fi
        sleep 0.2
    done
    local status=0
    wait_exit "$CONSOLE_PID" 20 || status=$?
    CONSOLE_PID=""
    kill "$DEMO_PID" 2>/dev/null || true
    wait "$DEMO_PID" 2>/dev/null || true
    [ "$status" -eq 0 ] || { echo "the console ended with $status" >&2; return 1; }
}

start_editor() {
    local mode=$1 title=$2 file=$3
    QT_QPA_PLATFORM=$(qpa "$mode") "$SNI_HOST" editor "$title" "$file" &
    SESSION_PIDS+=($!)
    EDITOR_PIDS+=($!)
    wl_wait_window "^$title\$" 10 >/dev/null || return 1
    wl_focus "^$title\$"
    wl_wait_for 5 focused_is "^$title\$"
}

focused_is() { [[ "$(wl_focused)" =~ $1 ]]; }

. "$here/wayland_scenarios.sh"
. "$here/wayland_pictures.sh"
if [ -n "${OLVEX_WL_PICTURES:-}" ]; then
    take_pictures
    exit 0
fi
if [ "$STACK" = gnome ]; then
    # Every scenario types; without keys that arrive there is nothing to check.
    QT_QPA_PLATFORM=wayland "$SNI_HOST" editor Probe "$SESSION_DIR/probe.txt" &
    SESSION_PIDS+=($!)
    wl_wait_window '^Probe$' 15 >/dev/null || { echo "SKIP: GNOME Shell showed no window of a test program"; exit 77; }
    wl_focus '^Probe$'
    sleep 0.5
    wl_type "probe" || true
    if ! wl_wait_for 3 grep -q probe "$SESSION_DIR/probe.txt"; then
        echo "SKIP: GNOME Shell started, but keys sent through a remote desktop session of Mutter reached no window ($(tr '\n' ' ' <"$WL_GNOME_KEYS.log")), and every scenario needs input"
        exit 77
    fi
fi

# One console run for the requests and the tray, one for the idle time; the X11 run first so
# that the native one finds the position it stored.
for mode in xwayland native; do
    if start_console "$mode" "NotifyTimeout=20" --visitors 6 --request-every 5 --seed 11; then
        tray_watch_begin "$mode"
        for scenario in typing notify tray; do
            WHY=""
            if "scenario_$scenario" "$mode"; then
                result "$mode" "$scenario" pass "$WHY"
            else
                result "$mode" "$scenario" fail "$WHY"
            fi
        done
        quit_via_tray || result "$mode" quit fail "the tray's Quit did not end the console"
    else
        for scenario in typing notify tray; do
            result "$mode" "$scenario" fail "the console did not log in"
        done
        session_kill_console
    fi
    WHY=""
    if scenario_away "$mode"; then
        result "$mode" away pass "$WHY"
    else
        result "$mode" away fail "$WHY"
    fi
    WHY=""
    if scenario_placement "$mode"; then
        result "$mode" placement pass "$WHY"
    else
        result "$mode" placement fail "$WHY"
    fi
    # The other programs of this mode leave the screen to the next.
    kill "${EDITOR_PIDS[@]}" 2>/dev/null || true
    EDITOR_PIDS=()
done

echo
echo "$STACK            native / XWayland"
failed=0
for scenario in typing notify away tray placement; do
    row=$(printf '%-10s' "$scenario")
    for mode in native xwayland; do
        cell=$(printf '%s\n' "${RESULTS[@]}" | awk -F'|' -v m="$mode" -v s="$scenario" '$1 == m && $2 == s {print $3}' | tail -n 1)
        row+=" ${cell:-none}"
        [ "$cell" = fail ] && failed=1
    done
    echo "$row"
done
printf '%s\n' "${RESULTS[@]}" | grep -q '|quit|fail|' && failed=1
reports=$(sanitizer_reports)
[ -z "$reports" ] || fail "the console reported: $reports"
[ "$failed" -eq 0 ] || fail "scenarios failed on $STACK"
echo "PASS"
