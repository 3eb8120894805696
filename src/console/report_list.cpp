#include "report_list.h"

#include "console_images.h"
#include "font_scaled.h"
#include "info_tips.h"
#include "readable_item_delegate.h"

#include <QHeaderView>
#include <algorithm>

namespace olvex {

void SetUpReportList(QTreeWidget& list, const QStringList& headings,
                     std::initializer_list<int> widths) {
    list.setColumnCount(static_cast<int>(headings.size()));
    list.setHeaderLabels(headings);
    SetUpReportList(static_cast<QTreeView&>(list), widths);
}

void SetUpReportList(QTreeView& list, std::initializer_list<int> widths) {
    // The widths suit the usual font; a larger one widens them alike, so the headings still fit.
    int column = 0;
    for (int width : widths)
        list.header()->resizeSection(column++, width);
    KeepColumnsWideForFont(list, widths);
    list.header()->setStretchLastSection(false);
    list.header()->setSectionsMovable(true);
    list.setRootIsDecorated(false);
    list.setUniformRowHeights(true);
    list.setAllColumnsShowFocus(true);
    list.setSelectionMode(QAbstractItemView::ExtendedSelection);
    list.setSelectionBehavior(QAbstractItemView::SelectRows);
    list.setIconSize(QSize(16, 16));
    InstallInfoTips(list);
    list.setItemDelegate(new ReadableItemDelegate(&list));
}

void SetRowImage(QTreeWidgetItem& row, int image) {
    row.setData(0, kRowImageRole, image);
    row.setIcon(0, ListImage(image));
}

int RowImage(const QTreeWidgetItem& row) {
    return row.data(0, kRowImageRole).toInt();
}

} // namespace olvex
