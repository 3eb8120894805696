#include "readable_item_delegate.h"

#include "readable_colours.h"

#include <QBrush>

namespace olvex {

QColor ReadableItemDelegate::CellTextColour(const QModelIndex& index, const QColor& background) {
    const QVariant foreground = index.data(Qt::ForegroundRole);
    if (!foreground.isValid())
        return {};
    const QColor colour = foreground.metaType() == QMetaType::fromType<QBrush>()
                              ? foreground.value<QBrush>().color()
                              : foreground.value<QColor>();
    return ReadableOn(colour, background);
}

void ReadableItemDelegate::initStyleOption(QStyleOptionViewItem* option,
                                           const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QColor background = option->backgroundBrush.style() == Qt::NoBrush
                                  ? option->palette.color(QPalette::Base)
                                  : option->backgroundBrush.color();
    const QColor shown = CellTextColour(index, background);
    if (shown.isValid())
        option->palette.setColor(QPalette::Text, shown);
}

} // namespace olvex
