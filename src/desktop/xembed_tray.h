#pragma once

namespace olvex {

// The X display the program runs on has an XEmbed system tray (older panels and docks).
bool XEmbedTrayPresent();

} // namespace olvex
