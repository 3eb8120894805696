#pragma once

#include "profile_file.h"

#include <QString>

class QWidget;

namespace olvex {

// Keeps a window's show state and normal rectangle in a section of the profile:
// "Show" (1 normal, 2 minimised, 3 maximised), and the edges "Left", "Top", "Right", "Bottom".
class WindowPlacementStore {
public:
    explicit WindowPlacementStore(QString filePath = ProfileFilePath());

    void SaveWindowPlacement(const QWidget& window, const QString& section) const;
    // Without a stored "Show" the window keeps the geometry it was created with.
    void RestoreWindowPlacement(QWidget& window, const QString& section) const;

    const QString& FilePath() const { return path; }

private:
    QString path;
};

} // namespace olvex
