#pragma once

namespace olvex {

// A StatusNotifier host is registered with the watcher on the session bus (most panels,
// on X11 and Wayland alike).
bool StatusNotifierHostPresent();

} // namespace olvex
