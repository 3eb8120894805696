#pragma once

#include <QAccessible>
#include <QString>

class QWidget;

namespace olvex {

// Gives the widget a role of its own on the accessibility bus: a window that is an alert, say,
// which screen readers read out whole when it appears, wherever the focus is.
void SetAccessibleRole(QWidget& widget, QAccessible::Role role);

// Tells a screen reader of a change the operator did not make (a line in a chat in the
// background, the connection), without taking the focus or interrupting what it reads. The
// text goes out as a notification of `window`, which screen readers present whichever
// window is active.
void AnnouncePolitely(QWidget& window, const QString& text);
// What the last announcement of the window said; empty before the first.
QString LastAnnouncement(const QWidget& window);

} // namespace olvex
