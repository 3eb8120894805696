# The start of every picture script, sourced first:
#   . "$(dirname "${BASH_SOURCE[0]}")/screenshot_session.sh" DEFAULT_OUT "$@"
# Runs the script again on a virtual X display of its own unless it is on one already, then
# sets ROOT, BUILD (the script's first argument, default build) and OUT (its second, default
# DEFAULT_OUT in the repository) and begins a scratch session (tests/e2e/x_session.sh) that
# ends with the script.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
default_out=$1
shift
if [ -z "${DISPLAY:-}" ] || [ -z "${OLVEX_SCREENSHOT_DISPLAY:-}" ]; then
    export OLVEX_SCREENSHOT_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" "$@"
fi
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
OUT=$(mkdir -p "${2:-$ROOT/$default_out}" && cd "${2:-$ROOT/$default_out}" && pwd)
. "$ROOT/tests/e2e/x_session.sh"
session_begin
trap session_end EXIT
