#pragma once

#include "records.h"

#include <QTreeWidget>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace olvex {

// The visitors' pages, one row per page a visitor has open. Rows are never sorted: a new
// page goes directly above the first row of its visitor (the newest page of a visitor on
// top), or at the top for a new visitor. Rows are found through indexes, not by scanning.
// Use Clear(), not clear(), so that the indexes follow.
class PageListView : public QTreeWidget {
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

    // Replaces every row by the pages in directory order, as if each had been added in turn.
    void Rebuild(const PageSnapshot& pages);
    // Inserts the page, or rewrites the cells of its existing row (the visitor cell stays)
    // with the elapsed time back at 0. True when a new row was inserted.
    bool AddOrUpdate(const PageRecord& page);
    bool Remove(int32_t pageId);
    // Gives the row the "invited" picture; its title turns red. False when there is no row.
    bool MarkInvited(int32_t pageId);
    // One tick of the console timer: every row's elapsed minutes go up by one.
    void AddElapsedMinute();
    void Clear();

    int RowOf(int32_t pageId) const;
    QTreeWidgetItem* Row(int32_t pageId) const;
    // Page ids of the selected rows from top to bottom.
    std::vector<int32_t> SelectedPageIds() const;

    static int32_t PageIdOf(const QTreeWidgetItem& row);
    static int ImageOf(const QTreeWidgetItem& row);

signals:
    // A double-click on a "Visitor" cell, confirmed by the operator.
    void InviteRequested();

private:
    void OnDoubleClicked(QTreeWidgetItem* row, int column);

    std::unordered_map<int32_t, QTreeWidgetItem*> rowsByPage;
    // The topmost row of each visitor; a visitor's rows always lie together below it.
    std::unordered_map<int32_t, QTreeWidgetItem*> firstRowOfVisitor;
};

} // namespace olvex
