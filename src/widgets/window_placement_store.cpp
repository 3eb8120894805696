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

WindowPlacementStore::Rules defaultRules = WindowPlacementStore::Rules::Positions;

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

void WindowPlacementStore::SetDefaultRules(Rules rules) {
    defaultRules = rules;
}

WindowPlacementStore::Rules WindowPlacementStore::DefaultRules() {
    return defaultRules;
}

WindowPlacementStore::WindowPlacementStore(QString filePath, Rules placementRules)
    : path(std::move(filePath)), rules(placementRules) {}

void WindowPlacementStore::SaveWindowPlacement(const QWidget& window,
                                               const QString& section) const {
    if (rules == Rules::Tiled)
        return;
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
    if (rules == Rules::SizesOnly) {
        // The window's position is not known here (Qt reports 0,0): the one an X11 run
        // stored stays, and without one the window is centred for the next X11 run.
        if (ReadProfileInt(profile, QStringLiteral("Show"), -1) != -1) {
            normal.moveTo(ReadProfileInt(profile, QStringLiteral("Left"), 0),
                          ReadProfileInt(profile, QStringLiteral("Top"), 0));
        } else if (const QScreen* primary = QGuiApplication::primaryScreen()) {
            const QRect screen = primary->availableGeometry();
            normal.moveTo(screen.x() + std::max(0, (screen.width() - normal.width()) / 2),
                          screen.y() + std::max(0, (screen.height() - normal.height()) / 2));
        }
        // Nothing tells a Wayland program that its window is minimised.
        if (show == kShowMinimised)
            show = kShowNormal;
    }
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
    if (rules == Rules::Positions)
        window.setGeometry(KeepOnScreen(QRect(left, top, width, height)));
    else
        window.resize(width, height);
    if (show == kShowMinimised)
        window.setWindowState(Qt::WindowMinimized);
    else if (show == kShowMaximised)
        window.setWindowState(Qt::WindowMaximized);
}

} // namespace olvex
