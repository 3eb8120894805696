# Pictures of the console and of a call window on the running desktop, natively, for the
# README: the console logged in with visitors, then the call window of an accepted request
# with the visitor's context. Sourced by wayland_e2e.sh (OLVEX_WL_PICTURES=1); the pictures
# go to $OLVEX_WL_INSIDE/shots as wayland-STACK-console.png and wayland-STACK-call.png.

# shoot_window TITLE_REGEX FILE: the screen cut to the window and a little around it.
shoot_window() {
    local window raw="$SESSION_DIR/screen.png" margin=12 x y w h
    window=$(wl_window "$1") || { echo "no window \"$1\" to take" >&2; return 1; }
    # Notifications stay until dismissed (mako) or for a while (the shell's banners).
    if [ "$STACK" = gnome ]; then
        wl_gnome_eval 'Main.messageTray.getSources().forEach(s => s.destroy()); true' || true
    else
        makoctl dismiss --all || true
    fi
    sleep 0.5
    wl_shot "$raw" && [ -s "$raw" ] || { echo "no screenshot on $STACK" >&2; return 1; }
    x=$(wl_field "$window" 5) y=$(wl_field "$window" 6)
    w=$(wl_field "$window" 7) h=$(wl_field "$window" 8)
    if [ "$STACK" = sway ]; then
        # sway gives the window's rectangle without its title bar.
        local title
        title=$(swaymsg -t get_tree | jq --arg re "$1" '[.. | objects | select(.pid? != null and
            (.name? // "" | test($re))) | .deco_rect.height] | first // 0')
        y=$((y - title)) h=$((h + title))
    fi
    x=$((x > margin ? x - margin : 0)) y=$((y > margin ? y - margin : 0))
    convert "$raw" -crop "$((w + 2 * margin))x$((h + 2 * margin))+$x+$y" +repage -strip "$2"
    echo "$(basename "$2"): window $(wl_field "$window" 7)x$(wl_field "$window" 8) at" \
        "$(wl_field "$window" 5),$(wl_field "$window" 6) of $(identify -format '%wx%h' "$raw")"
}

take_pictures() {
    local shots=$OLVEX_WL_INSIDE/shots note call
    # The shell's banners would cover the windows; its notifications stay to be accepted.
    [ "$STACK" != gnome ] || wl_gnome_eval 'Main.messageTray.bannerBlocked = true; true' || true
    start_console native "NotifyTimeout=60
VisitorHints=0" --visitors 9 --request-every 6 --seed 11 || fail "the console did not log in"
    # The visitors' pages arrive just after the log-in.
    sleep 2
    shoot_window "$CONSOLE" "$shots/wayland-$STACK-console.png"
    # The operator works elsewhere when the request comes, and accepts it from its
    # notification; the other program then goes.
    "$SNI_HOST" window Elsewhere &
    SESSION_PIDS+=($!)
    local elsewhere=$!
    wl_wait_window '^Elsewhere$' 10 >/dev/null && wl_focus '^Elsewhere$'
    note=$(wait_new_request "") || fail "no chat request came"
    wl_notification_accept "$note" || fail "the request's notification had no Accept"
    wl_wait_window '^Olvex Call - ' 15 >/dev/null || fail "Accept opened no call window"
    kill "$elsewhere"
    # The visitor's pages and earlier chats come after the window.
    sleep 2
    shoot_window '^Olvex Call - ' "$shots/wayland-$STACK-call.png"
    session_kill_console
}
