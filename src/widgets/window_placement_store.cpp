#include "window_placement_store.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>

namespace olvex {

namespace {
constexpr int kShowNormal = 1;
constexpr int kShowMinimised = 2;
constexpr int kShowMaximised = 3;

// Stored values are applied as read, except that a window is never left entirely
// off every screen, where the operator could not reach it.
QRect KeepOnScreen(QRect rect) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(rect))
            return rect;
    }
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        rect.moveTopLeft(primary->availableGeometry().topLeft());
    return rect;
}
} // namespace

WindowPlacementStore::WindowPlacementStore(QString filePath) : path(std::move(filePath)) {}

void WindowPlacementStore::SaveWindowPlacement(const QWidget& window,
                                               const QString& section) const {
    int show = kShowNormal;
    if (window.isMinimized())
        show = kShowMinimised;
    else if (window.isMaximized())
        show = kShowMaximised;
    QRect normal = window.geometry();
    if (show != kShowNormal || window.isFullScreen()) {
        const QRect restored = window.normalGeometry();
        if (restored.isValid())
            normal = restored;
    }
    QSettings profile(path, QSettings::IniFormat);
    profile.beginGroup(section);
    profile.setValue(QStringLiteral("Show"), show);
    profile.setValue(QStringLiteral("Left"), normal.x());
    profile.setValue(QStringLiteral("Right"), normal.x() + normal.width());
    profile.setValue(QStringLiteral("Top"), normal.y());
    profile.setValue(QStringLiteral("Bottom"), normal.y() + normal.height());
    profile.endGroup();
    profile.sync();
}

void WindowPlacementStore::RestoreWindowPlacement(QWidget& window, const QString& section) const {
    QSettings profile(path, QSettings::IniFormat);
    profile.beginGroup(section);
    const int show = ReadProfileInt(profile, QStringLiteral("Show"), -1);
    if (show == -1)
        return;
    const int left = ReadProfileInt(profile, QStringLiteral("Left"), 0);
    const int right = ReadProfileInt(profile, QStringLiteral("Right"), 400);
    const int top = ReadProfileInt(profile, QStringLiteral("Top"), 0);
    const int bottom = ReadProfileInt(profile, QStringLiteral("Bottom"), 400);
    // Edges come from a file: compute in 64 bits and keep a size Qt accepts.
    const auto width = static_cast<int>(
        std::clamp<long long>(static_cast<long long>(right) - left, 1, QWIDGETSIZE_MAX));
    const auto height = static_cast<int>(
        std::clamp<long long>(static_cast<long long>(bottom) - top, 1, QWIDGETSIZE_MAX));
    window.setWindowState(Qt::WindowNoState);
    window.setGeometry(KeepOnScreen(QRect(left, top, width, height)));
    if (show == kShowMinimised)
        window.setWindowState(Qt::WindowMinimized);
    else if (show == kShowMaximised)
        window.setWindowState(Qt::WindowMaximized);
}

} // namespace olvex
