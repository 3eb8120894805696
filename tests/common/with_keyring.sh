#!/bin/sh
# Runs a command on a private session bus that has a gnome-keyring of its own (its login
# keyring made and unlocked with a known password) in a throw-away home: the user's own
# keyrings are never touched.
home=$(mktemp -d)
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
    XDG_RUNTIME_DIR="$home/run" XDG_CACHE_HOME="$home/cache"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-run-session -- sh -c '
    printf "olvex-test" | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
    keyring=$!
    tries=0
    until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q "boolean true"; do
        tries=$((tries + 1))
        [ $tries -gt 100 ] && { echo "the keyring did not come up" >&2; kill $keyring; exit 1; }
        sleep 0.05
    done
    "$@"
    rc=$?
    kill $keyring 2>/dev/null
    wait $keyring 2>/dev/null
    exit $rc' sh "$@"
rc=$?
rm -rf "$home"
exit $rc
