# Headless Wayland desktops for the Wayland desktop tests: sway, KWin or GNOME Shell, each
# with Xwayland, a private session bus, a notification server and our StatusNotifier host,
# inside private mount, network and PID namespaces that die with their first process. The
# compositors refuse root or want their own users, so everything in the namespace runs as
# nobody. Source it after tests/e2e/x_session.sh; it defines functions only.
#
#   wl_enter STACK SCRIPT ARGS...   (as root) run SCRIPT again inside the namespaces as nobody
#   wl_stack_begin STACK SNI_HOST WL_CLIENT   start the desktop (inside)
#   wl_windows                      the compositor's windows: TITLE|FOCUSED|URGENT|MINIMISED|X|Y|W|H
#   wl_type TEXT                    type into the focused window (\n: Enter)
#   wl_minimise TITLE_REGEX, wl_focus TITLE_REGEX, wl_shot FILE
#   wl_notifications, wl_notification_accept ID
# OLVEX_WL_KWIN_NESTED=1: KWin in a window of a headless sway, so that grim can take its screen.

WL_USER=65534

# wl_enter STACK SCRIPT ARGS...: prints why and returns 77 where the namespaces cannot be made.
wl_enter() {
    local stack=$1 script=$2
    shift 2
    if ! unshare --mount --net --pid --fork --mount-proc true 2>/dev/null; then
        echo "SKIP: no private namespaces here (unshare refused)"
        return 77
    fi
    WL_ROOT=$(mktemp -d /tmp/olvex-wl-"$stack".XXXXXX)
    chmod 755 "$WL_ROOT"
    local status=0
    # --kill-child: a killed test takes the whole namespace with it.
    unshare --mount --net --pid --fork --mount-proc --kill-child \
        env OLVEX_WL_INSIDE="$WL_ROOT" "$BASH" ${OLVEX_WL_TRACE:+-x} "$script" "$@" || status=$?
    if [ -n "${OLVEX_SCREENSHOTS:-}" ] && [ -d "$WL_ROOT/shots" ]; then
        mkdir -p "$OLVEX_SCREENSHOTS"
        cp "$WL_ROOT"/shots/*.png "$OLVEX_SCREENSHOTS"/ 2>/dev/null || true
    fi
    [ -n "${OLVEX_E2E_KEEP:-}" ] || rm -rf "$WL_ROOT"
    return "$status"
}

# wl_prepare STACK PROGRAM...: (as root, inside) loopback up, the programs where nobody can
# run them (WL_PROGRAMS), GNOME's system pieces; then the caller drops to nobody.
wl_prepare() {
    local stack=$1 program i=0
    shift
    ip link set lo up 2>/dev/null || fail "cannot bring up the loopback device"
    WL_PROGRAMS=()
    mkdir -p "$OLVEX_WL_INSIDE/bin" "$OLVEX_WL_INSIDE/tests"
    # The scripts too, by the same way: the source tree may lie in /tmp, covered below.
    mount --bind -o ro "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)" "$OLVEX_WL_INSIDE/tests"
    for program in "$@"; do
        # The build tree may lie in a folder nobody cannot enter.
        mkdir -p "$OLVEX_WL_INSIDE/bin/$i"
        mount --bind -o ro "$(dirname "$program")" "$OLVEX_WL_INSIDE/bin/$i"
        WL_PROGRAMS+=("$OLVEX_WL_INSIDE/bin/$i/$(basename "$program")")
        i=$((i + 1))
    done
    # A /tmp of our own: Xwayland's sockets and lock files, killed with the namespace, must
    # not be left in the machine's.
    exec 9<"$OLVEX_WL_INSIDE"
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    mkdir -p "$OLVEX_WL_INSIDE"
    mount --no-canonicalize --rbind /proc/self/fd/9 "$OLVEX_WL_INSIDE"
    exec 9<&-
    mkdir -m 1777 /tmp/.X11-unix
    mkdir -p "$OLVEX_WL_INSIDE/tmp" "$OLVEX_WL_INSIDE/shots"
    chown "$WL_USER:$WL_USER" "$OLVEX_WL_INSIDE/tmp" "$OLVEX_WL_INSIDE/shots"
    if [ "$stack" = kwin ]; then
        # Without cap_sys_resource in the bounding set the packaged binary, which carries that
        # file capability, cannot be run; a plain copy can.
        cp /usr/bin/kwin_wayland "$OLVEX_WL_INSIDE/bin/kwin_wayland"
    fi
    if [ "$stack" = gnome ]; then
        # Without logind GNOME Shell runs as a plain session: hide systemd and answer at the
        # system bus's address with a bus of our own.
        [ -d /run/systemd ] && mount -t tmpfs tmpfs /run/systemd
        mkdir -p /run/dbus && mount -t tmpfs tmpfs /run/dbus
        cat >"$OLVEX_WL_INSIDE/system-bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <policy context="default">
    <allow user="*"/>
    <allow receive_sender="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
        dbus-daemon --config-file="$OLVEX_WL_INSIDE/system-bus.conf" --nofork --nopidfile \
            >"$OLVEX_WL_INSIDE/system-bus.log" 2>&1 &
        local _
        for _ in $(seq 50); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.1; done
        chmod 666 /run/dbus/system_bus_socket 2>/dev/null || fail "no system bus of our own"
    fi
}

# wl_drop SCRIPT ARGS...: runs the rest as nobody, with what wl_prepare made; SCRIPT is one
# of tests/desktop.
wl_drop() {
    local script=$1
    shift
    set -- "$OLVEX_WL_INSIDE/tests/desktop/$(basename "$script")" "$@"
    exec setpriv --reuid "$WL_USER" --regid "$WL_USER" --clear-groups \
        env OLVEX_WL_USER=1 OLVEX_WL_INSIDE="$OLVEX_WL_INSIDE" TMPDIR="$OLVEX_WL_INSIDE/tmp" \
        "$BASH" ${OLVEX_WL_TRACE:+-x} "$@"
}

# wl_wait_for SECONDS COMMAND...: polls COMMAND every 0.1 s.
wl_wait_for() {
    local tenths=$(($1 * 10)) _
    shift
    for _ in $(seq "$tenths"); do
        "$@" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

wl_compositor_log() {
    echo "--- $WL_STACK's log (last 30 lines)" >&2
    tail -n 30 "$SESSION_DIR/compositor.log" >&2
}

# wl_stack_begin STACK SNI_HOST WL_CLIENT: the desktop, up to the point where a program can
# show a window natively and through Xwayland, notify and put an icon in the tray. Sets
# WAYLAND_DISPLAY and DISPLAY; WL_STACK_SKIP holds a reason where GNOME Shell cannot start.
wl_stack_begin() {
    WL_STACK=$1 SNI_HOST=$2 WL_CLIENT=$3
    export HOME="$SESSION_DIR/home" XDG_SESSION_TYPE=wayland
    mkdir -p "$HOME"
    unset DISPLAY WAYLAND_DISPLAY
    session_bus_start
    export WAYLAND_DISPLAY=wayland-olvex
    case "$WL_STACK" in
    sway) wl_sway_begin ;;
    kwin) wl_kwin_begin ;;
    gnome) wl_gnome_begin || return 0 ;;
    *) fail "unknown stack $WL_STACK" ;;
    esac
    wl_wait_for 20 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || {
        wl_compositor_log
        fail "$WL_STACK did not start"
    }
    wl_xwayland_wait || { wl_compositor_log; fail "no Xwayland on $WL_STACK"; }
    wl_notifier_begin
    WL_TRAY_HOST="our StatusNotifier host"
    if [ "$WL_STACK" = gnome ] && wl_wait_for 5 bus_has org.kde.StatusNotifierWatcher; then
        WL_TRAY_HOST="GNOME Shell's StatusNotifier extension"
    else
        "$SNI_HOST" watch >"$SESSION_DIR/sni-host.log" 2>&1 &
        SESSION_PIDS+=($!)
    fi
    wl_wait_for 10 bus_has org.kde.StatusNotifierWatcher || fail "the StatusNotifier watcher did not start"
    export QT_XCB_GL_INTEGRATION=none
    if [ "$WL_STACK" = gnome ]; then
        wl_gnome_keyboard || echo "no remote desktop keyboard on GNOME Shell" >&2
    fi
}

wl_sway_begin() {
    cat >"$SESSION_DIR/sway.conf" <<CONF
output HEADLESS-1 resolution 1280x800 position 0 0
xwayland enable
default_border normal
# A window that asks with a valid activation token gets the keyboard (sway's default only
# marks it urgent, whatever the token).
focus_on_window_activation focus
CONF
    env -u WAYLAND_DISPLAY WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        sway -c "$SESSION_DIR/sway.conf" >"$SESSION_DIR/compositor.log" 2>&1 &
    WL_COMPOSITOR_PID=$!
    SESSION_PIDS+=($!)
    # sway names its own socket: wayland-1 and so on.
    local _
    for _ in $(seq 100); do
        WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-? 2>/dev/null | head -n 1 || true)
        [ -n "$WAYLAND_DISPLAY" ] && break
        sleep 0.1
    done
    export WAYLAND_DISPLAY=${WAYLAND_DISPLAY:-wayland-1}
    wl_wait_for 10 compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" || true
    export SWAYSOCK=$(compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" | head -n 1 || true)
}

wl_kwin_begin() {
    # A panel is trusted with window management by its desktop file, as Plasma's is; KWin
    # gives activation tokens only to such a program or to the one with the active window.
    mkdir -p "$XDG_DATA_HOME/applications"
    cat >"$XDG_DATA_HOME/applications/olvex-test-panel.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Test panel
Exec=$WL_CLIENT
NoDisplay=true
X-KDE-Wayland-Interfaces=org_kde_plasma_window_management
ENTRY
    local backend=--virtual
    if [ -n "${OLVEX_WL_KWIN_NESTED:-}" ]; then
        # KWin's screenshot interface comes with OpenGL compositing, which a virtual output
        # without a GPU lacks: for pictures KWin runs in a window of a headless sway instead,
        # whose screen grim takes.
        printf 'output HEADLESS-1 resolution 1280x800\ndefault_border none\nxwayland disable\n' \
            >"$SESSION_DIR/host.conf"
        mkdir -p "$SESSION_DIR/host"
        env -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$SESSION_DIR/host" WLR_BACKENDS=headless \
            WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$SESSION_DIR/host.conf" \
            >"$SESSION_DIR/host.log" 2>&1 &
        SESSION_PIDS+=($!)
        wl_wait_for 10 test -S "$SESSION_DIR/host/wayland-1" || fail "no sway to hold KWin"
        ln -s "$SESSION_DIR/host/wayland-1" "$XDG_RUNTIME_DIR/wayland-host"
        backend="--wayland-display wayland-host"
    fi
    KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_XKB_DEFAULT_KEYMAP=1 KWIN_COMPOSE=Q \
        "$OLVEX_WL_INSIDE/bin/kwin_wayland" $backend --xwayland --width 1280 --height 800 \
        --socket "$WAYLAND_DISPLAY" >"$SESSION_DIR/compositor.log" 2>&1 &
    WL_COMPOSITOR_PID=$!
    SESSION_PIDS+=($!)
}

wl_gnome_begin() {
    # The shell's StatusNotifier host is an extension, where it is installed; enabled in a
    # settings file of the test's own, read instead of dconf by the shell alone.
    local indicator
    indicator=$(jq -r .uuid /usr/share/gnome-shell/extensions/*appindicator*/metadata.json 2>/dev/null | head -n 1)
    if [ -n "$indicator" ]; then
        mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
        printf "[org/gnome/shell]\nenabled-extensions=['%s']\n" "$indicator" \
            >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
    fi
    env ${indicator:+GSETTINGS_BACKEND=keyfile} gnome-shell --headless --wayland --virtual-monitor 1280x800 --unsafe-mode \
        --wayland-display "$WAYLAND_DISPLAY" >"$SESSION_DIR/compositor.log" 2>&1 &
    WL_COMPOSITOR_PID=$!
    SESSION_PIDS+=($!)
    if ! wl_wait_for 30 wl_gnome_eval 'Main.layoutManager._startingUp === false'; then
        WL_STACK_SKIP="GNOME Shell did not start: $(grep -m 1 -iE 'error|fail' "$SESSION_DIR/compositor.log" || echo 'its shell never answered')"
        return 1
    fi
    # The shell starts in its overview, where keys go to its search and windows are small.
    wl_gnome_eval 'Main.overview.hide(); true' || true
    wl_wait_for 5 wl_gnome_eval '!Main.overview.visible' || true
}

# wl_gnome_eval JS: true when GNOME Shell ran JS and it gave something other than false;
# its result is in WL_EVAL.
wl_gnome_eval() {
    local out
    out=$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval "$1" 2>/dev/null) || return 1
    [[ "$out" == "(true, "* ]] || return 1
    WL_EVAL=${out#(true, \'}
    WL_EVAL=${WL_EVAL%\')}
    # The shell hands back its result as JSON.
    WL_EVAL=$(jq -r . <<<"$WL_EVAL" 2>/dev/null || printf '%s' "$WL_EVAL")
    [ "$WL_EVAL" != false ]
}

# Xwayland starts with the compositor (sway, KWin) or on the first X client (GNOME Shell);
# the display number is in the compositor's environment or its log.
wl_xwayland_wait() {
    local _
    for _ in $(seq 100); do
        DISPLAY=$(tr '\0' '\n' <"/proc/$WL_COMPOSITOR_PID/environ" 2>/dev/null | sed -n 's/^DISPLAY=//p')
        if [ -z "$DISPLAY" ] && [ "$WL_STACK" = gnome ]; then
            # Mutter's Xwayland wants the cookie of its own authority file.
            wl_gnome_eval 'GLib.getenv("DISPLAY")' && DISPLAY=$WL_EVAL
            wl_gnome_eval 'GLib.getenv("XAUTHORITY")' && export XAUTHORITY=$WL_EVAL
        fi
        if [ -z "$DISPLAY" ]; then
            DISPLAY=$(ls /tmp/.X11-unix 2>/dev/null | sed -n 's/^X\([0-9]*\)$/:\1/p' | head -n 1)
        fi
        if [ -n "$DISPLAY" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
            export DISPLAY
            return 0
        fi
        sleep 0.2
    done
    return 1
}

# The notification server: mako where there is layer-shell (sway, KWin), the shell's own on
# GNOME (started by hand: it is normally started on demand by the session bus).
wl_notifier_begin() {
    if [ "$WL_STACK" = gnome ]; then
        gjs /usr/share/gnome-shell/org.gnome.Shell.Notifications >"$SESSION_DIR/notifications.log" 2>&1 &
        SESSION_PIDS+=($!)
    else
        mkdir -p "$HOME/.config/mako"
        printf 'default-timeout=0\nmax-visible=3\nfont=DejaVu Sans 10\n' >"$HOME/.config/mako/config"
        mako >"$SESSION_DIR/notifications.log" 2>&1 &
        SESSION_PIDS+=($!)
    fi
    wl_wait_for 15 bus_has org.freedesktop.Notifications || {
        tail -n 20 "$SESSION_DIR/notifications.log" >&2
        fail "no notification server on $WL_STACK"
    }
}

bus_has() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

WL_QUERY=0
wl_kwin_script() {
    WL_QUERY=$((WL_QUERY + 1))
    local marker="OLVEXQ$WL_QUERY" file="$SESSION_DIR/query.js" id _
    printf '%s\n' "${1//@MARK@/$marker}" >"$file"
    id=$(dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
        org.kde.kwin.Scripting.loadScript "string:$file" "string:$marker" | awk '/int32/ {print $2}')
    [ -n "$id" ] || return 1
    dbus-send --session --print-reply --dest=org.kde.KWin "/$id" org.kde.kwin.Script.run >/dev/null
    for _ in $(seq 50); do
        grep -q "$marker" "$SESSION_DIR/compositor.log" && break
        sleep 0.02
    done
    dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
        org.kde.kwin.Scripting.unloadScript "string:$marker" >/dev/null
    sed -n "s/^js: $marker //p" "$SESSION_DIR/compositor.log" | tail -n 1
}

# One line per window the compositor shows: TITLE|FOCUSED|URGENT|MINIMISED|X|Y|W|H, with
# true or false in the middle columns.
wl_windows() {
    case "$WL_STACK" in
    sway)
        swaymsg -t get_tree 2>/dev/null | jq -r '.. | objects | select(.pid? != null and .name? != null)
            | [.name, .focused, .urgent, false, .rect.x, .rect.y, .rect.width, .rect.height]
            | map(tostring) | join("|")'
        ;;
    kwin)
        wl_kwin_script 'var out = [], list = workspace.clientList();
for (var i = 0; i < list.length; ++i) { var c = list[i], g = c.frameGeometry;
  out.push([c.caption, c.active, c.demandsAttention, c.minimized, g.x, g.y, g.width, g.height].join("|")); }
print("@MARK@ " + out.join(";;"));' | sed 's/;;/\n/g'
        ;;
    gnome)
        wl_gnome_eval 'global.get_window_actors().map(a => { const w = a.meta_window, r = w.get_frame_rect();
  return [w.get_title(), w.has_focus(), w.demands_attention || w.urgent, w.minimized, r.x, r.y, r.width, r.height].join("|"); }).join(";;")' &&
            sed 's/;;/\n/g' <<<"$WL_EVAL"
        ;;
    esac
}

# wl_window TITLE_REGEX: the first window whose title matches, as wl_windows prints it.
wl_window() {
    wl_windows | awk -F'|' -v re="$1" '$1 ~ re {print; exit}' | grep .
}

# wl_wait_window TITLE_REGEX [SECONDS]
wl_wait_window() {
    local pattern=$1 seconds=${2:-20} _
    for _ in $(seq $((seconds * 10))); do
        wl_window "$pattern" && return 0
        if [ -n "${CONSOLE_PID:-}" ] && ! kill -0 "$CONSOLE_PID" 2>/dev/null; then
            echo "the console ended while waiting for \"$pattern\"" >&2
            return 1
        fi
        sleep 0.1
    done
    echo "no window \"$pattern\" within $seconds s; $WL_STACK shows:" >&2
    wl_windows | cut -d'|' -f1 | sed 's/^/    /' >&2
    return 1
}

wl_wait_no_window() {
    local pattern=$1 seconds=${2:-20} _
    for _ in $(seq $((seconds * 10))); do
        wl_window "$pattern" >/dev/null || return 0
        sleep 0.1
    done
    return 1
}

# The title of the window that has the keyboard.
wl_focused() {
    wl_windows | awk -F'|' '$2 == "true" {print $1; exit}'
}

# wl_field LINE N: a column of a wl_windows line (1 title, 2 focused, 3 urgent, 4 minimised,
# 5-8 x y w h).
wl_field() {
    cut -d'|' -f"$2" <<<"$1"
}

wl_type() {
    case "$WL_STACK" in
    sway) wtype -s 150 -d 8 "$1" ;;
    kwin) "$WL_CLIENT" type "$1" ;;
    gnome)
        wl_gnome_keyboard || return 1
        local answer
        printf '%s\0' "$1" >"$WL_GNOME_KEYS.in"
        read -r -t 20 answer <"$WL_GNOME_KEYS.out" && [ "$answer" = typed ]
        ;;
    esac
}

# GNOME Shell's keyboard: a remote desktop session of Mutter, made once and kept, since the
# seat has a keyboard (and programs theirs) only while one lives, and keys sent in the moment
# after it came are lost. Keys of the shell's own virtual devices (Eval) reach no window.
wl_gnome_keyboard() {
    [ -z "${WL_GNOME_KEYS:-}" ] || return 0
    WL_GNOME_KEYS=$SESSION_DIR/keys
    mkfifo "$WL_GNOME_KEYS.in" "$WL_GNOME_KEYS.out"
    "$SNI_HOST" keyboard "$WL_GNOME_KEYS.in" "$WL_GNOME_KEYS.out" >"$WL_GNOME_KEYS.log" 2>&1 &
    SESSION_PIDS+=($!)
    wl_wait_for 5 grep -q typing "$WL_GNOME_KEYS.log" || { cat "$WL_GNOME_KEYS.log" >&2; return 1; }
    sleep 0.5
}

# wl_gnome_windows TITLE_REGEX: the shell's expression for the windows with the title of the
# first that matches; matched here, since backslashes of a pattern do not reach the shell.
wl_gnome_windows() {
    local title
    title=$(wl_window "$1" | cut -d'|' -f1) || true
    printf 'global.get_window_actors().map(a => a.meta_window).filter(w => w.get_title() === %s)' \
        "$(jq -cn --arg t "$title" '$t')"
}

# wl_minimise TITLE_REGEX: as the window's minimise button would. sway has no minimising.
wl_minimise() {
    case "$WL_STACK" in
    kwin)
        wl_kwin_script "var list = workspace.clientList();
for (var i = 0; i < list.length; ++i) if (/$1/.test(list[i].caption)) list[i].minimized = true;
print('@MARK@ done');" >/dev/null
        ;;
    gnome)
        wl_gnome_eval "$(wl_gnome_windows "$1").forEach(w => w.minimize()); true"
        ;;
    *) return 1 ;;
    esac
}

# wl_focus TITLE_REGEX: the operator clicks into that window.
wl_focus() {
    case "$WL_STACK" in
    sway) swaymsg "[title=\"$1\"] focus" >/dev/null ;;
    kwin)
        wl_kwin_script "var list = workspace.clientList();
for (var i = 0; i < list.length; ++i) if (/$1/.test(list[i].caption)) workspace.activeClient = list[i];
print('@MARK@ done');" >/dev/null
        ;;
    gnome)
        wl_gnome_eval "$(wl_gnome_windows "$1").forEach(w => w.activate(global.get_current_time())); true"
        ;;
    esac
}

# wl_notifications: the summaries of the notifications on screen, one a line, as ID|SUMMARY.
wl_notifications() {
    case "$WL_STACK" in
    gnome)
        wl_gnome_eval 'Main.messageTray.getSources().flatMap(s => s.notifications).map(n => (n._olvexId ??= Math.floor(Math.random() * 1e9)) + "|" + n.title).join(";;")' &&
            sed 's/;;/\n/g' <<<"$WL_EVAL"
        ;;
    *)
        makoctl list 2>/dev/null | jq -r '.data[0][] | "\(.id.data)|\(.summary.data)"'
        ;;
    esac
}

# wl_notification_accept ID: the operator clicks the notification's Accept.
wl_notification_accept() {
    case "$WL_STACK" in
    gnome)
        wl_gnome_eval "const n = Main.messageTray.getSources().flatMap(s => s.notifications).find(n => n._olvexId == $1);
const a = n && n.actions.find(a => a.label === 'Accept'); if (a) { a.callback(); n.destroy(); } !!a"
        ;;
    *) makoctl invoke -n "$1" accept ;;
    esac
}

# wl_shot FILE: the whole screen as PNG.
wl_shot() {
    case "$WL_STACK" in
    sway) grim -t png "$1" ;;
    kwin) [ -n "${OLVEX_WL_KWIN_NESTED:-}" ] && WAYLAND_DISPLAY=wayland-host grim -t png "$1" ;;
    gnome)
        gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
            --method org.gnome.Shell.Screenshot.Screenshot false false "$1" >/dev/null
        ;;
    esac
}
