#pragma once

#include <QPoint>
#include <QString>

class QTreeView;

namespace olvex {

// Info tips: hovering a cell whose text is cut off shows the whole text in a tooltip, as
// plain text (page titles, addresses and names come from the network).
void InstallInfoTips(QTreeView& view);

// The tooltip for the cell under `pos` (viewport coordinates): its whole text when the cell
// cuts it off, else empty.
QString InfoTipAt(const QTreeView& view, QPoint pos);

} // namespace olvex
