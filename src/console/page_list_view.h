#pragma once

#include "records.h"

#include <QColor>
#include <QString>
#include <QTreeView>
#include <cstdint>
#include <memory>
#include <vector>

namespace olvex {

class PageListModel;

// The visitors' pages, one row per page a visitor has open. Unsorted, a new page goes
// directly above the first row of its visitor (the newest page of a visitor on top), or at
// the top for a new visitor. A click on a heading sorts by that column (PageRows keeps the
// order and the filter); selected rows stay selected wherever they move. A page event costs
// the same on a long list as on a short one; cell texts are made only for the rows on screen.
class PageListView : public QTreeView {
    Q_OBJECT

public:
    enum Column {
        kColumnVisitor,
        kColumnTitle,
        kColumnUrl,
        kColumnLoadTime,
        kColumnReferrer,
        kColumnElapsed,
        kColumnIpAddress,
        kColumnCount
    };
    static constexpr int kPageIdRole = Qt::UserRole;
    static constexpr int kVisitorRole = Qt::UserRole + 2;

    using PageSnapshot = std::vector<std::shared_ptr<const PageRecord>>;

    explicit PageListView(QWidget* parent = nullptr);
    ~PageListView() override;

    // Replaces every row by the pages in directory order, as if each had been added in turn.
    void Rebuild(const PageSnapshot& pages);
    // Inserts the page, or rewrites the cells of its existing row (the visitor cell stays)
    // with the elapsed time back at 0. True when a new row was inserted.
    bool AddOrUpdate(const PageRecord& page);
    bool AddOrUpdate(std::shared_ptr<const PageRecord> page);
    bool Remove(int32_t pageId);
    // Gives the row the "invited" picture; its title turns red. False when there is no row.
    bool MarkInvited(int32_t pageId);
    // One tick of the console timer: every row's elapsed minutes go up by one. Rows keep the
    // tick they were written at, so this costs the same for any number of rows.
    void AddElapsedMinute();
    void Clear();

    // By a column, or back to the order the rows came in with -1; the heading shows it.
    void SortBy(int column, Qt::SortOrder order = Qt::AscendingOrder);
    int SortColumn() const;
    Qt::SortOrder SortOrder() const;
    // Shows only the pages whose title, address, referrer, IP address or visitor number
    // holds the text, whatever the case; an empty text shows all.
    void SetFilter(const QString& text);

    // A batch of changes: the rows on screen stay where they are while rows come and go
    // above them, unless the list is scrolled to the top.
    void BeginChanges();
    void EndChanges();

    int RowCount() const;
    // Row of the page from the top, or -1.
    int RowOf(int32_t pageId) const;
    int32_t PageIdAt(int row) const;
    QString Text(int row, int column) const;
    QColor Colour(int row, int column) const;
    int ImageAt(int row) const;
    // Adds the page's row to the selection.
    void SelectPage(int32_t pageId);
    bool HasSelection() const;
    // Page ids of the selected rows from top to bottom.
    std::vector<int32_t> SelectedPageIds() const;

signals:
    // A double-click on a "Visitor" cell, confirmed by the operator.
    void InviteRequested();
    // The selection may have changed, rows taken out with it included.
    void SelectionChanged();

private:
    void OnDoubleClicked(const QModelIndex& index);
    void KeepCurrentInView();

    PageListModel* rows;
    int32_t anchorPage = 0;
    int anchorRow = -1;
    QString filterText;
};

} // namespace olvex
