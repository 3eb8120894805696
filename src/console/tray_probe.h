#pragma once

namespace olvex {

// A StatusNotifier host is registered with the watcher on the session bus (most panels).
bool StatusNotifierHostPresent();
// The X display has an XEmbed system tray (older panels and docks).
bool XEmbedTrayPresent();

} // namespace olvex
