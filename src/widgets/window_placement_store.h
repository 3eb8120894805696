#pragma once

#include "profile_file.h"

#include <QString>

class QWidget;

namespace olvex {

// Keeps a window's show state and normal rectangle in a section of the profile:
// "Show" (1 normal, 2 minimised, 3 maximised), and the edges "Left", "Top", "Right", "Bottom".
class WindowPlacementStore {
public:
    // What the window system lets a program decide about its windows.
    enum class Rules {
        // X11: position, size and show state.
        Positions,
        // Wayland: the compositor places windows. Sizes and the maximised state are kept;
        // a position stored by an X11 run stays for the next X11 run.
        SizesOnly,
        // A tiling window manager sizes and places windows: nothing it decided is saved
        // as the operator's (a tiled window is no maximised one).
        Tiled,
    };

    // Set once at start from what the desktop offers; Positions until then.
    static void SetDefaultRules(Rules rules);
    static Rules DefaultRules();

    explicit WindowPlacementStore(QString filePath = ProfileFilePath(),
                                  Rules rules = DefaultRules());

    void SaveWindowPlacement(const QWidget& window, const QString& section) const;
    // Without a stored "Show" the window keeps the geometry it was created with.
    void RestoreWindowPlacement(QWidget& window, const QString& section) const;

    const QString& FilePath() const { return path; }

private:
    QString path;
    Rules rules;
};

} // namespace olvex
