#!/usr/bin/env bash
# Every window and dialog of the console, once at 200 % on a 1920x1080 screen and once with a
# 16-point font on a 1280x800 screen, from the demo on a virtual X display: the console, a
# chat request's alert, a call window with Enter URL and Invite, Options, Canned Answers and
# its edit dialog, History, About, the log-in dialog and a message box. Each picture is
# checked to lie wholly on the screen; look at them for clipped text.
#
# usage: tools/screenshots/every_window.sh [BUILD_DIR] [OUTPUT_DIR]
#        (defaults: build, $TMPDIR/olvex-every-window; pictures at full size)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
OUT=$(mkdir -p "${2:-${TMPDIR:-/tmp}/olvex-every-window}" &&
    cd "${2:-${TMPDIR:-/tmp}/olvex-every-window}" && pwd)

if [ -z "${OLVEX_TOUR:-}" ]; then
    status=0
    OLVEX_TOUR=200-percent SCREENSHOT_SCREEN=1920x1080 "$0" "$BUILD" "$OUT" || status=1
    OLVEX_TOUR=16pt SCREENSHOT_SCREEN=1280x800 "$0" "$BUILD" "$OUT" || status=1
    exit "$status"
fi

. "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" "" "$@"
with_openbox
SCREEN_SIZE=$(xdotool getdisplaygeometry | tr ' ' x)
OFF=0

# shot WINDOW NAME: the picture, and a complaint when the window (with its frame) leaves the
# screen.
shot() {
    local name="$OLVEX_TOUR-$2" x y w h
    sleep 0.8
    import -window "$1" "$OUT/$name.png"
    # xwininfo's corner is the window's own; xdotool's counts a reparenting frame twice.
    read -r x y w h < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF}
        /Absolute upper-left Y/ {y = $NF} /^ *Width/ {w = $NF} /^ *Height/ {h = $NF}
        END {print x, y, w, h}')
    if [ "$x" -lt 0 ] || [ "$y" -lt 0 ] || [ $((x + w)) -gt "${SCREEN_SIZE%x*}" ] ||
        [ $((y + h)) -gt "${SCREEN_SIZE#*x}" ]; then
        echo "OFF SCREEN: $name at ${x},${y} ${w}x${h} on $SCREEN_SIZE" >&2
        OFF=1
    fi
    echo "$name: ${w}x${h} at ${x},${y}"
}

# open KEYS TITLE_REGEX FROM NAME: a window opened by keyboard from another, pictured, closed
# with Escape.
open_shoot_close() {
    focus "$3"
    sleep 0.5
    xdotool key --window "$3" "$1"
    local id
    id=$(wait_window "$2" 10) || fail "$1 did not open $2"
    shot "$id" "$4"
    xdotool key Escape
    wait_no_window "$2" 10 || fail "Escape did not close $2"
}

case $OLVEX_TOUR in
200-percent) export QT_SCALE_FACTOR=2 QT_FONT_DPI=96; STYLE=() ;;
*) STYLE=(-stylesheet "$ROOT/tools/screenshots/large-font.qss") ;;
esac

demo_server_start "$BUILD/tools/demo-server/olvex-demo-server" --visitors 12 \
    --request-every 6 --seed 4
write_settings demo demo "$DEMO_PORT" "ShowHints=0"
console_start "$BUILD/src/console/olvex" --colour-scheme light "${STYLE[@]}"
console=$(wait_window "$ONLINE" 60) || fail "the console did not log in"
sleep 1
shot "$console" console
alert=$(wait_window "$ALERT" 30) || fail "no request came"
shot "$alert" alert
alert_key "$alert" Return
call=$(wait_window '^Olvex Call - ' 20) || fail "no call window"
sleep 4
shot "$call" call-window
open_shoot_close alt+l '^Enter URL$' "$call" enter-url
open_shoot_close alt+i '^Olvex$' "$call" invite
open_shoot_close alt+b '^About Olvex$' "$console" about
open_shoot_close alt+p '^Olvex Options$' "$console" options
focus "$console"
sleep 0.5
xdotool key --window "$console" alt+t
history=$(wait_window '^Olvex History$' 10) || fail "no History"
shot "$history" history
xdotool key ctrl+w
wait_no_window '^Olvex History$' 10 || fail "Ctrl+W did not close the History"

# Canned Answers and, from its Add button, the edit dialog.
focus "$console"
sleep 0.5
xdotool key --window "$console" alt+a
canned=$(wait_window '^Canned Answers$' 10) || fail "no Canned Answers"
shot "$canned" canned-answers
open_shoot_close alt+a '^Edit Canned Message$' "$canned" canned-edit
focus "$canned"
xdotool key Escape
wait_no_window '^Canned Answers$' 10 || fail "Escape did not close Canned Answers"

# Logged out, the log-in dialog; a wrong password brings a message box.
focus "$console"
sleep 0.5
xdotool key --window "$console" alt+o
box=$(wait_window '^Olvex$' 5 2>/dev/null) && { focus "$box"; xdotool key Return; } || true
wait_window '^Olvex - ' 10 >/dev/null
sleep 1
focus "$console"
xdotool key --window "$console" alt+l
login=$(wait_window '^Olvex Login$' 10) || fail "no log-in dialog"
shot "$login" login
focus "$login"
xdotool key ctrl+a
xdotool type wrong
xdotool key Return
box=$(wait_window '^Olvex$' 20) || fail "no message box for a wrong password"
shot "$box" message-box
xdotool key Return
exit "$OFF"
