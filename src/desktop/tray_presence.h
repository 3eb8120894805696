#pragma once

namespace olvex {

// Whether the desktop can show a tray icon right now. Panels come and go while the program
// runs, so it is asked again and again and must answer quickly.
class TrayPresence {
public:
    virtual ~TrayPresence() = default;
    virtual bool TrayAvailable() = 0;
};

} // namespace olvex
