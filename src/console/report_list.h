#pragma once

#include <QStringList>
#include <QTreeWidget>
#include <initializer_list>

namespace olvex {

// The look both console lists share: report rows with several-row, full-row selection,
// movable columns, 16x16 pictures from the shared image strip in the first column, and
// info tips on cut-off cells.
void SetUpReportList(QTreeWidget& list, const QStringList& headings,
                     std::initializer_list<int> widths);
// The same for a view whose model gives the headings.
void SetUpReportList(QTreeView& list, std::initializer_list<int> widths);

// The row's picture; its number stays readable under kRowImageRole of the first column.
inline constexpr int kRowImageRole = Qt::UserRole + 1;
void SetRowImage(QTreeWidgetItem& row, int image);
int RowImage(const QTreeWidgetItem& row);

} // namespace olvex
