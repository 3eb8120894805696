#!/usr/bin/env bash
# Starts the demo: the demo server and the console logged in to it as demo.
# The console gets a throw-away configuration directory; closing it stops the server.
set -euo pipefail
BUILD_DIR=${1:?build directory}
SERVER="$BUILD_DIR/tools/demo-server/olvex-demo-server"
CONSOLE="$BUILD_DIR/src/console/olvex"
if [ ! -x "$SERVER" ] || [ ! -x "$CONSOLE" ]; then
    echo "The demo server or the console is not built yet; try ./run build." >&2
    exit 1
fi
PORT=${OLVEX_DEMO_PORT:-2020}
CONFIG=$(mktemp -d)
TLS_OPTIONS=()
USE_TLS=0
if [ "${OLVEX_DEMO_TLS:-0}" = 1 ]; then
    # A throw-away certificate for 127.0.0.1, which the console trusts as its own authority.
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
        -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
        -keyout "$CONFIG/demo-key.pem" -out "$CONFIG/demo-cert.pem" 2>/dev/null
    TLS_OPTIONS=(--tls-cert "$CONFIG/demo-cert.pem" --tls-key "$CONFIG/demo-key.pem")
    USE_TLS=1
fi
# A live site: visitors browse pages, and one of them asks for a chat every 45 s or so.
"$SERVER" --listen "127.0.0.1:$PORT" --visitors "${OLVEX_DEMO_VISITORS:-25}" \
    --request-every "${OLVEX_DEMO_REQUEST_EVERY:-45}" "${TLS_OPTIONS[@]}" &
SERVER_PID=$!
cleanup() {
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
    rm -rf "$CONFIG"
}
trap cleanup EXIT
mkdir -p "$CONFIG/Olvex"
cat > "$CONFIG/Olvex/Agent.conf" <<CONF
[General]
ServerAddress=127.0.0.1
ServerPort=$PORT
Username=demo
Password=demo
SaveLogin=1
AutoLogin=1
UseTls=$USE_TLS
CaFile=$CONFIG/demo-cert.pem
CONF
# Give the server a moment to listen, so that the automatic log-in finds it.
for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
    sleep 0.1
done
XDG_CONFIG_HOME="$CONFIG" "$CONSOLE"
