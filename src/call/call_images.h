#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace olvex {

// Pictures of the call window and the call alert, drawn from the compiled-in
// SVGs: "answers", "invite", "push", "link", "image", "save", "close",
// "print", "send", "panel_close", "accept", "cancel", "category", "answer".
QPixmap CallImage(const QString& name, int side);
QIcon CallIcon(const QString& name);
// The program icon, for windows that have no owner to take it from.
QIcon CallProgramIcon();

} // namespace olvex
