#pragma once

#include <QStyledItemDelegate>

namespace olvex {

// Draws a list's coloured cells with their colours made readable on the row's background:
// the hue stays, the lightness moves where the palette needs it (a dark one, say).
class ReadableItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The colour the cell's text is drawn in on `background`; invalid for a cell without a
    // colour of its own.
    static QColor CellTextColour(const QModelIndex& index, const QColor& background);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace olvex
