#pragma once

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace olvex::product {

// The per-user data folder of the program, $XDG_DATA_HOME/Olvex (~/.local/share/Olvex),
// without a trailing slash. Header only, no Qt, so that std-only code and olvex-cli share it.
inline std::string DataDirectory() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDir = home ? home : "";
        if (homeDir.empty()) {
            if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
                homeDir = entry->pw_dir;
        }
        base = homeDir + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/Olvex";
}

} // namespace olvex::product
