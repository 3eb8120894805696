# The start of every picture script, sourced first:
#   . "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" DEFAULT_OUT "$@"
# Runs the script again on a virtual X display of its own unless it is on one already, then
# sets ROOT, BUILD (the script's first argument, default build) and OUT (its second, default
# DEFAULT_OUT in the repository) and begins a scratch session (tests/e2e/x_session.sh) that
# ends with the script. SCREENSHOT_SCREEN, set before, sizes the screen (default 1280x1024).
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
default_out=$1
shift
if [ -z "${DISPLAY:-}" ] || [ -z "${OLVEX_SCREENSHOT_DISPLAY:-}" ]; then
    export OLVEX_SCREENSHOT_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 ${SCREENSHOT_SCREEN:-1280x1024}x24 -nolisten tcp -noreset" "$0" "$@"
fi
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
OUT=$(mkdir -p "${2:-$ROOT/$default_out}" && cd "${2:-$ROOT/$default_out}" && pwd)
. "$ROOT/tests/e2e/x_session.sh"
session_begin
trap session_end EXIT

# with_openbox: the console's windows framed and placed by a window manager, as on a desktop.
with_openbox() {
    export QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none
    openbox --sm-disable >/dev/null 2>&1 &
    SESSION_PIDS+=($!)
}
