#!/usr/bin/env bash
# Starts the demo: the demo server and the console logged in to it.
set -euo pipefail
BUILD_DIR=${1:?build directory}
SERVER="$BUILD_DIR/tools/demo-server/olvex-demo-server"
CONSOLE="$BUILD_DIR/src/console/olvex"
if [ ! -x "$SERVER" ] || [ ! -x "$CONSOLE" ]; then
    echo "The Olvex demo is not built yet: the demo server and the console do not exist in this version." >&2
    echo "Only the transport library and its tests are built so far; try ./run test." >&2
    exit 1
fi
