#!/usr/bin/env bash
# The real console started over damaged files: a settings file full of junk around its
# values, a placement file with junk in it, and a canned.dat cut off inside a record. It must
# log in with the values it can read, end cleanly when its window is closed, and leave every
# value and file it wrote before as it was.
#
# usage: damaged_files_e2e.sh OLVEX DEMO_SERVER X_CLOSE_WINDOW
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" "$@"
fi
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} X_CLOSE=${3:?x-close-window}
. "$(dirname "$0")/x_session.sh"
session_begin
trap session_end EXIT
export QT_QPA_PLATFORM=xcb

demo_server_start "$DEMO_SERVER" --quiet --visitors 5
CONF="$XDG_CONFIG_HOME/Olvex/Agent.conf"
{
    printf '\x00\xff\xfe junk before any section\n[General\n=\n'
    head -c 3000 /dev/zero | tr '\0' '\351'
    printf '\n[General]\nServerAddress=127.0.0.1\n\x01\x02 no equals sign\nServerPort=%s\n' "$DEMO_PORT"
    printf 'Username=demo\nPassword=demo\nSaveLogin=1\nAutoLogin=1\nNotifySound=0\nShowHints=0\n'
    printf 'WelcomeMsg=Kept welcome\n[Other]\nkey=\x00\x00\n'
} >"$CONF"
INI="$XDG_CONFIG_HOME/Olvex/olvex.INI"
printf '[ChatWindow]\nflags=0\nshowCmd=1\n\xff\xff\xff\n[MainWindow\ngarbage\n' >"$INI"
CANNED="$XDG_DATA_HOME/Olvex/canned.dat"
# "Links" with the answer "Hi", then a second answer cut off inside its title.
printf '\x81\x38\x01\x00\x82\x38\x01\x00\x06\x00\x00\x00Links\x00' >"$CANNED"
printf '\x83\x38\x01\x00\x03\x00\x00\x00Hi\x00\x0c\x00\x00\x00Hello there\x00' >>"$CANNED"
printf '\x83\x38\x01\x00\x05\x00\x00\x00Hal' >>"$CANNED"
canned_before=$(sha256sum <"$CANNED")

console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) ||
    fail "no automatic log-in with the readable settings"
echo "logged in over the damaged settings: window $console"

quit_console "$console"
status=0
wait_exit "$CONSOLE_PID" 30 || status=$?
[ "$status" -ne 124 ] || fail "the console did not end after its window was closed"
reports=$(sanitizer_reports)
[ -z "$reports" ] || { cat "$SESSION_DIR/console.err" >&2; fail "the console reported: $reports"; }
[ "$status" -eq 0 ] || { cat "$SESSION_DIR/console.err" >&2; fail "the console ended with $status"; }

for line in "ServerAddress=127.0.0.1" "ServerPort=$DEMO_PORT" "Username=demo" "Password=demo" \
    "AutoLogin=1" "WelcomeMsg=Kept welcome"; do
    grep -qxF "$line" "$CONF" || fail "the settings file lost \"$line\""
done
grep -qx '\[MainWindow\]' "$INI" || fail "the window placement was not saved"
grep -qx 'showCmd=1' "$INI" || fail "the placement file lost the call window's placement"
[ "$(sha256sum <"$CANNED")" = "$canned_before" ] || fail "canned.dat was changed"
echo "PASS"
