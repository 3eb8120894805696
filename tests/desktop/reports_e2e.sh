#!/usr/bin/env bash
# Website Reports on a display without OpenGL (the stack has none, as virtual machines and
# remote desktops often do): the web view draws in software, and a killed render process
# leaves the program running with the address as a link in the page's place.
#
# usage: reports_e2e.sh OLVEX DEMO_SERVER SNI_HOST X_CLOSE_WINDOW
set -euo pipefail
OLVEX=${1:?olvex} DEMO_SERVER=${2:?olvex-demo-server} SNI_HOST=${3:?sni-host}
X_CLOSE=${4:?x-close-window}
here=$(dirname "$0")
. "$here/desktop_stack.sh"
desktop_begin "$SNI_HOST"
# The web engine's own library frees with a mismatched delete under AddressSanitizer; that
# is not ours to find here.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}new_delete_type_mismatch=0"

demo_server_start "$DEMO_SERVER" --quiet --visitors 3
write_settings demo demo "$DEMO_PORT"
console_start "$OLVEX"
console=$(wait_window "$ONLINE" 60) || fail "no automatic log-in"
log="$XDG_STATE_HOME/Olvex/olvex.log"

# The report browser on a display without OpenGL: it draws, and a killed renderer leaves
# the program running.
xdotool windowmove --sync "$console" 0 0 windowsize --sync "$console" 860 500
click_at "$console" 30 190
sleep 4
kill -0 "$CONSOLE_PID" 2>/dev/null || fail "Website Reports ended the program"
# The renderers are forked by the web engine's zygote processes, children of the console.
killed=0
for zygote in $(pgrep -P "$CONSOLE_PID" -f QtWebEngineProcess || true); do
    for pid in $(pgrep -P "$zygote" || true); do
        kill -KILL "$pid" && killed=$((killed + 1))
    done
done
[ "$killed" -gt 0 ] || fail "the report browser started no render process"
for _ in $(seq 50); do grep -q 'render process ended' "$log" && break; sleep 0.1; done
kill -0 "$CONSOLE_PID" 2>/dev/null || fail "the report browser's renderer took the program along"
grep -q 'render process ended' "$log" || fail "the report browser did not notice its renderer end"
echo "reports: shown without OpenGL; the program outlived its killed renderer"

[ -n "${OLVEX_DESKTOP_SHOTS:-}" ] && import -window "$console" "$OLVEX_DESKTOP_SHOTS/reports-fallback.png"
quit_cleanly "$console"
echo "PASS"
