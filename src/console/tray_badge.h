#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace olvex {

// What waits for the operator: chat requests not yet answered and call windows with lines
// not yet seen. The tray shows the count on its icon and the names in its tooltip, and
// docks show the same count on the launcher.
struct WaitingItems {
    QStringList requests; // who asks, one per open alert
    QStringList unread;   // titles of call windows with unseen lines

    int Count() const { return int(requests.size() + unread.size()); }
    // Lines for the tooltip, under the window title; empty when nothing waits.
    QString ToolTipLines() const;
};

// The icon with the count in a red disc at its lower right; the icon itself at 0.
QIcon BadgedIcon(const QIcon& icon, int count);

} // namespace olvex
