#pragma once

#include "page_row_keys.h"
#include "records.h"
#include "row_order.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace olvex {

// One row of the page list: the page as last written and a few numbers of the row's own.
struct PageRow {
    std::shared_ptr<const PageRecord> page;
    int32_t visitor = 0;  // the number the row shows; it stays when the page is rewritten
    uint64_t written = 0; // the tick its cells were last written at
    bool entered = false; // written by a page event rather than a rebuild
    bool invited = false;
};

// Told about each change of the rows shown, before and after it, as a list model tells its
// views. Places count from the top of the rows shown.
class PageRowsObserver {
public:
    virtual void BeforeInsert(int place) = 0;
    virtual void AfterInsert() = 0;
    virtual void BeforeRemove(int place) = 0;
    virtual void AfterRemove() = 0;
    // The row at `from` goes directly above the row now at `to`, or to the end when `to` is
    // the number of rows; `to` is neither `from` nor `from + 1`.
    virtual void BeforeMove(int from, int to) = 0;
    virtual void AfterMove() = 0;
    // The cells of the row at `place` from column `first` to `last` were written.
    virtual void Changed(int place, int first, int last) = 0;

protected:
    ~PageRowsObserver() = default;
};

// The visitors' pages in the order the list shows them. Unsorted, a new page goes directly
// above the first row of its visitor (the newest page of a visitor on top), or at the top for
// a new visitor. Sorted by a column, the rows follow that column's values, and rows with equal
// values keep their unsorted order, in either direction. A filter shows only the rows whose
// title, address, referrer, IP address or visitor number holds its text, whatever the case.
// Rows are found by page id through an index and placed through order trees, so a page event
// costs about the same on a long list as on a short one, sorted, filtered or not.
class PageRows {
public:
    enum Column { kVisitor, kTitle, kUrl, kLoadTime, kReferrer, kElapsed, kIpAddress, kColumns };
    static constexpr int kUnsorted = -1;
    using Snapshot = std::vector<std::shared_ptr<const PageRecord>>;

    explicit PageRows(FoldText fold = nullptr) : fold(fold) {}
    void SetObserver(PageRowsObserver* told) { observer = told; }

    // Replaces every row by the pages in directory order, as if each had been added in turn.
    // Sort and filter stay. The observer is not told: everything changes.
    void Reset(const Snapshot& pages);
    void Clear();
    // Inserts the page, or rewrites its row (the visitor number stays) with the elapsed time
    // back at 0. True when a new row was inserted.
    bool AddOrUpdate(std::shared_ptr<const PageRecord> page);
    bool Remove(int32_t pageId);
    // False when there is no row for the page.
    bool MarkInvited(int32_t pageId);
    // One minute more for every row; nothing stored changes, nor does any row's place.
    void Tick() { ++ticks; }
    uint64_t MinutesOf(const PageRow& row) const { return ticks - row.written; }

    // A column, or kUnsorted for the unsorted order. The observer is not told: every row
    // may move. A reversal reuses the values read for the column.
    void SortBy(int column, bool descending);
    int SortColumn() const { return sortColumn; }
    bool Descending() const { return descending; }
    // The text rows must hold; empty shows every row. Blanks around it do not count. A text
    // that extends the last one looks only at the rows shown. The observer is not told.
    void SetFilter(std::string_view text);
    const std::string& Filter() const { return needle; }

    // The rows shown.
    int Count() const;
    // Place of the page's row from the top, or -1 when it has none or is not shown.
    int PlaceOf(int32_t pageId) const;
    // The row at a place from 0 to Count() - 1.
    const PageRow& At(int place) const { return order[NodeAt(place)]; }
    // Every row, shown or not.
    size_t Size() const { return order.Count(); }

private:
    bool Arranged() const { return sortColumn != kUnsorted || !needle.empty(); }
    uint32_t NodeAt(int place) const;
    void Forget() const { lastPlace = -1; }
    void InsertNew(std::shared_ptr<const PageRecord> page);
    void Rearrange(uint32_t node);
    bool Before(uint32_t node, uint32_t other, uint32_t otherPlace) const;
    uint32_t PlaceAmongShown(uint32_t node) const;
    void Show(uint32_t node);
    void Hide(uint32_t node);
    void Reposition(uint32_t node);
    void PutAbove(uint32_t below, uint32_t node);
    void Arrange(std::vector<uint32_t> nodes, bool sort);
    std::vector<uint32_t> AllInOrder() const;
    bool Matches(const PageRow& row) const;
    SortKey KeyOf(const PageRow& row) const;
    void SetKey(uint32_t node);

    FoldText fold;
    PageRowsObserver* observer = nullptr;
    // Every row in the unsorted order.
    RowOrder<PageRow> order;
    std::unordered_map<int32_t, uint32_t> byPage;
    // The topmost row of each visitor; a visitor's rows always lie together below it.
    std::unordered_map<int32_t, uint32_t> firstOfVisitor;
    uint64_t ticks = 0;

    int sortColumn = kUnsorted;
    bool descending = false;
    std::string needle; // folded
    // While sorted: each row's value in the sort column, by node of `order`.
    std::vector<SortKey> keys;
    // While sorted or filtered, the rows shown, in their order, over node numbers of their
    // own; unsorted and unfiltered, `order` itself is shown.
    RowOrderTree shown;
    std::vector<uint32_t> shownOf; // node of `order` to node of `shown`, or kNil
    std::vector<uint32_t> rowOf;   // node of `shown` to node of `order`

    // Painting asks for the cells of one row after the other: a step to the next row costs
    // next to nothing, where a search from the root costs a walk down the tree.
    mutable int lastPlace = -1;
    mutable uint32_t lastNode = RowOrderTree::kNil;
};

} // namespace olvex
