#include "page_list_view.h"

#include "console_images.h"
#include "hyperlink_label.h"
#include "message_box.h"
#include "report_list.h"
#include "row_order.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QIcon>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <unordered_map>

namespace olvex {

namespace {

const QColor kVisitorColour(128, 0, 0);
const QColor kInvitedTitleColour(255, 0, 0);
const QColor kUrlColour(0, 0, 255);
const QColor kLoadTimeColour(255, 0, 255);
const QColor kElapsedColour(255, 0, 0);

QString Text(const std::string& value) {
    return QString::fromStdString(value);
}

struct PageRow {
    std::shared_ptr<const PageRecord> page;
    int32_t visitor = 0;  // the number the row shows; it stays when the page is rewritten
    uint64_t written = 0; // the tick its cells were last written at
    bool entered = false; // written by a page event rather than a rebuild
    bool invited = false;
};
using PageOrder = RowOrder<PageRow>;

} // namespace

// Rows live here, not in widget items: a row is a shared page record and a few numbers, and
// its texts are made when the view asks for a row on screen.
class PageListModel : public QAbstractItemModel {
public:
    explicit PageListModel(QObject* parent)
        : QAbstractItemModel(parent), pageImage(ListImage(kImagePage)),
          invitedImage(ListImage(kImagePageInvited)), headings{QStringLiteral("Visitor"),
                                                               QStringLiteral("Page Title"),
                                                               QStringLiteral("Page URL"),
                                                               QStringLiteral("Load Time"),
                                                               QStringLiteral("Referrer"),
                                                               QStringLiteral("Elapsed Time"),
                                                               QStringLiteral("IP Address")} {}

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override {
        if (parent.isValid() || row < 0 || column < 0 || column >= PageListView::kColumnCount ||
            static_cast<uint32_t>(row) >= order.Count())
            return {};
        // Rows are found when their data is asked for: views lay out every row, but ask
        // for the data of those on screen only.
        return createIndex(row, column);
    }
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(order.Count());
    }
    int columnCount(const QModelIndex& = {}) const override { return PageListView::kColumnCount; }
    bool hasChildren(const QModelIndex& parent) const override {
        return !parent.isValid() && order.Count() > 0;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < headings.size())
            return headings[section];
        return {};
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.model() != this || index.row() >= rowCount())
            return {};
        const PageRow& row = order[NodeAt(index.row())];
        const PageRecord& page = *row.page;
        const int column = index.column();
        switch (role) {
        case Qt::DisplayRole:
            return Display(row, page, column);
        case Qt::ForegroundRole:
            return Foreground(row, column);
        case Qt::DecorationRole:
            if (column == PageListView::kColumnVisitor)
                return row.invited ? invitedImage : pageImage;
            return {};
        case PageListView::kPageIdRole:
            return column == PageListView::kColumnVisitor ? QVariant(page.pageId) : QVariant();
        case PageListView::kVisitorRole:
            return column == PageListView::kColumnVisitor ? QVariant(row.visitor) : QVariant();
        case kRowImageRole:
            return column == 0 ? QVariant(row.invited ? kImagePageInvited : kImagePage)
                               : QVariant();
        default:
            return {};
        }
    }

    void Reset(const PageListView::PageSnapshot& pages) {
        beginResetModel();
        Drop();
        // Adding pages one by one would put each visitor's pages together, newest first, and
        // the visitors newest first. Build that order at once.
        struct Visitor {
            int32_t number;
            std::vector<const std::shared_ptr<const PageRecord>*> pages;
        };
        std::vector<Visitor> visitors;
        std::unordered_map<int32_t, size_t> visitorIndex;
        std::unordered_map<int32_t, std::pair<size_t, size_t>> placeOfPage;
        for (const auto& page : pages) {
            if (!page)
                continue;
            // A page id seen before rewrites its row where it is, as a later add would.
            if (auto seen = placeOfPage.find(page->pageId); seen != placeOfPage.end()) {
                visitors[seen->second.first].pages[seen->second.second] = &page;
                continue;
            }
            auto [found, added] = visitorIndex.try_emplace(page->visitorNumber, visitors.size());
            if (added)
                visitors.push_back({page->visitorNumber, {}});
            Visitor& visitor = visitors[found->second];
            placeOfPage.emplace(page->pageId, std::make_pair(found->second, visitor.pages.size()));
            visitor.pages.push_back(&page);
        }
        byPage.reserve(placeOfPage.size());
        for (auto visitor = visitors.rbegin(); visitor != visitors.rend(); ++visitor) {
            for (auto page = visitor->pages.rbegin(); page != visitor->pages.rend(); ++page) {
                const uint32_t node = order.New({**page, visitor->number, ticks, false});
                order.Append(node);
                Forget();
                byPage.emplace((**page)->pageId, node);
                firstOfVisitor.try_emplace(visitor->number, node);
            }
        }
        endResetModel();
    }

    void Empty() {
        beginResetModel();
        Drop();
        endResetModel();
    }

    bool AddOrUpdate(std::shared_ptr<const PageRecord> page) {
        if (auto found = byPage.find(page->pageId); found != byPage.end()) {
            PageRow& row = order[found->second];
            row.page = std::move(page);
            row.written = ticks;
            row.entered = true;
            const int place = static_cast<int>(order.PlaceOf(found->second));
            emit dataChanged(createIndex(place, PageListView::kColumnTitle),
                             createIndex(place, PageListView::kColumnCount - 1));
            return false;
        }
        const int32_t pageId = page->pageId;
        const int32_t visitor = page->visitorNumber;
        uint32_t place = 0;
        uint32_t below = PageOrder::kNil;
        if (auto first = firstOfVisitor.find(visitor); first != firstOfVisitor.end()) {
            below = first->second;
            place = order.PlaceOf(below);
        }
        beginInsertRows({}, static_cast<int>(place), static_cast<int>(place));
        const uint32_t node = order.New({std::move(page), visitor, ticks, true});
        Forget();
        order.InsertAbove(below, node);
        Forget();
        byPage.emplace(pageId, node);
        firstOfVisitor[visitor] = node;
        endInsertRows();
        return true;
    }

    // `place` is the page's row, from PlaceOf.
    void RemoveAt(int32_t pageId, int place) {
        const auto found = byPage.find(pageId);
        const uint32_t node = found->second;
        const int32_t visitor = order[node].visitor;
        if (auto first = firstOfVisitor.find(visitor);
            first != firstOfVisitor.end() && first->second == node) {
            const uint32_t next = order.Next(node);
            if (next != PageOrder::kNil && order[next].visitor == visitor)
                first->second = next;
            else
                firstOfVisitor.erase(first);
        }
        beginRemoveRows({}, place, place);
        byPage.erase(found);
        Forget();
        order.Erase(node);
        Forget();
        endRemoveRows();
    }

    bool MarkInvited(int32_t pageId) {
        const auto found = byPage.find(pageId);
        if (found == byPage.end())
            return false;
        PageRow& row = order[found->second];
        if (!row.invited) {
            row.invited = true;
            const int place = static_cast<int>(order.PlaceOf(found->second));
            emit dataChanged(createIndex(place, 0), createIndex(place, PageListView::kColumnTitle));
        }
        return true;
    }

    // Every row's minutes are counted from the tick it was written at, so a tick changes
    // nothing stored; the view is told about the rows in [first, last], those on screen.
    void Tick(int first, int last) {
        ++ticks;
        if (first >= 0 && last >= first)
            emit dataChanged(index(first, PageListView::kColumnElapsed),
                             index(last, PageListView::kColumnElapsed), {Qt::DisplayRole});
    }

    int PlaceOf(int32_t pageId) const {
        const auto found = byPage.find(pageId);
        return found == byPage.end() ? -1 : static_cast<int>(order.PlaceOf(found->second));
    }

private:
    // Painting asks for the cells of one row after the other: a step to the next row costs
    // next to nothing, where a search from the root costs a walk down the tree.
    uint32_t NodeAt(int row) const {
        uint32_t node;
        if (row == lastRow)
            node = lastNode;
        else if (row == lastRow + 1 && lastRow >= 0)
            node = order.Next(lastNode);
        else
            node = order.At(static_cast<uint32_t>(row));
        lastRow = row;
        lastNode = node;
        return node;
    }

    // The tree changes shape: the remembered row no longer holds.
    void Forget() const { lastRow = -1; }

    void Drop() {
        Forget();
        order.Clear();
        byPage.clear();
        firstOfVisitor.clear();
    }

    QVariant Display(const PageRow& row, const PageRecord& page, int column) const {
        switch (column) {
        case PageListView::kColumnVisitor:
            return QString::number(row.visitor);
        case PageListView::kColumnTitle:
            return Text(page.title);
        case PageListView::kColumnUrl:
            return Text(page.url);
        case PageListView::kColumnLoadTime:
            return Text(page.loadTime);
        case PageListView::kColumnReferrer:
            return Text(page.referrer);
        case PageListView::kColumnElapsed: {
            const uint64_t minutes = std::min<uint64_t>(ticks - row.written, INT32_MAX);
            if (minutes == 0)
                return row.entered ? QStringLiteral("0  minute(s)") : QStringLiteral("0 minute(s)");
            return QStringLiteral("%1 minute(s)").arg(minutes);
        }
        case PageListView::kColumnIpAddress:
            return Text(page.ipAddress);
        default:
            return {};
        }
    }

    static QVariant Foreground(const PageRow& row, int column) {
        switch (column) {
        case PageListView::kColumnVisitor:
            return kVisitorColour;
        case PageListView::kColumnTitle:
            return row.invited ? QVariant(kInvitedTitleColour) : QVariant();
        case PageListView::kColumnUrl:
            return kUrlColour;
        case PageListView::kColumnLoadTime:
            return kLoadTimeColour;
        case PageListView::kColumnElapsed:
            return kElapsedColour;
        default:
            return {};
        }
    }

    PageOrder order;
    std::unordered_map<int32_t, uint32_t> byPage;
    // The topmost row of each visitor; a visitor's rows always lie together below it.
    std::unordered_map<int32_t, uint32_t> firstOfVisitor;
    uint64_t ticks = 0;
    mutable int lastRow = -1;
    mutable uint32_t lastNode = PageOrder::kNil;
    QIcon pageImage;
    QIcon invitedImage;
    QStringList headings;
};

PageListView::PageListView(QWidget* parent) : QTreeView(parent), rows(new PageListModel(this)) {
    setModel(rows);
    SetUpReportList(*this, {50, 120, 120, 100, 100, 100, 80});
    // Wide enough for the picture and a five-digit visitor number in this desktop's font.
    header()->resizeSection(kColumnVisitor,
                            std::max(header()->sectionSize(kColumnVisitor),
                                     iconSize().width() +
                                         fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                                         20));
    connect(this, &QTreeView::doubleClicked, this, &PageListView::OnDoubleClicked);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PageListView::SelectionChanged);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &PageListView::SelectionChanged);
    connect(rows, &QAbstractItemModel::modelReset, this, &PageListView::SelectionChanged);
}

PageListView::~PageListView() = default;

void PageListView::Clear() {
    rows->Empty();
}

void PageListView::Rebuild(const PageSnapshot& pages) {
    rows->Reset(pages);
}

bool PageListView::AddOrUpdate(const PageRecord& page) {
    return AddOrUpdate(std::make_shared<const PageRecord>(page));
}

bool PageListView::AddOrUpdate(std::shared_ptr<const PageRecord> page) {
    return page && rows->AddOrUpdate(std::move(page));
}

bool PageListView::Remove(int32_t pageId) {
    // Qt would move the current row to a neighbour and scroll there, laying out the whole
    // list on the way: the list would jump under the operator's eyes at every departure.
    const int row = RowOf(pageId);
    if (row < 0)
        return false;
    if (currentIndex().row() == row)
        selectionModel()->clearCurrentIndex();
    rows->RemoveAt(pageId, row);
    return true;
}

bool PageListView::MarkInvited(int32_t pageId) {
    return rows->MarkInvited(pageId);
}

void PageListView::AddElapsedMinute() {
    // Telling the view about all rows would have it walk all of them; rows off screen show
    // their new minutes when they are scrolled to.
    const QModelIndex first = indexAt(QPoint(0, 0));
    QModelIndex last = indexAt(QPoint(0, viewport()->height() - 1));
    if (first.isValid() && !last.isValid())
        last = rows->index(RowCount() - 1, 0);
    rows->Tick(first.isValid() ? first.row() : -1, last.isValid() ? last.row() : -1);
}

void PageListView::BeginChanges() {
    anchorRow = -1;
    if (verticalScrollBar()->value() <= 0)
        return;
    const QModelIndex top = indexAt(QPoint(0, 0));
    if (!top.isValid())
        return;
    anchorRow = top.row();
    anchorPage = PageIdAt(anchorRow);
}

void PageListView::EndChanges() {
    if (anchorRow < 0)
        return;
    const int now = RowOf(anchorPage);
    if (now >= 0 && now != anchorRow) {
        // The scroll range follows the rows only once the view has laid them out.
        executeDelayedItemsLayout();
        int shift = now - anchorRow;
        if (verticalScrollMode() == ScrollPerPixel)
            shift *= rowHeight(model()->index(now, 0));
        verticalScrollBar()->setValue(verticalScrollBar()->value() + shift);
    }
    anchorRow = -1;
}

int PageListView::RowCount() const {
    return rows->rowCount();
}

int PageListView::RowOf(int32_t pageId) const {
    return rows->PlaceOf(pageId);
}

int32_t PageListView::PageIdAt(int row) const {
    return rows->index(row, kColumnVisitor).data(kPageIdRole).toInt();
}

QString PageListView::Text(int row, int column) const {
    return rows->index(row, column).data().toString();
}

QColor PageListView::Colour(int row, int column) const {
    return rows->index(row, column).data(Qt::ForegroundRole).value<QColor>();
}

int PageListView::ImageAt(int row) const {
    return rows->index(row, 0).data(kRowImageRole).toInt();
}

void PageListView::SelectPage(int32_t pageId) {
    const int row = RowOf(pageId);
    if (row >= 0)
        selectionModel()->select(rows->index(row, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

bool PageListView::HasSelection() const {
    return selectionModel()->hasSelection();
}

std::vector<int32_t> PageListView::SelectedPageIds() const {
    QModelIndexList selected = selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<int32_t> ids;
    ids.reserve(static_cast<size_t>(selected.size()));
    for (const QModelIndex& index : selected)
        ids.push_back(index.data(kPageIdRole).toInt());
    return ids;
}

void PageListView::OnDoubleClicked(const QModelIndex& index) {
    if (!index.isValid())
        return;
    if (index.column() == kColumnVisitor) {
        const auto answer = ShowMessageBox(
            this,
            QStringLiteral("Do you want to send a chat invitation to the visitor browsing the "
                           "selected web page?"),
            QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes)
            emit InviteRequested();
        return;
    }
    // The address comes from the server: only web addresses are handed to the browser,
    // never a file or another scheme that could start a program.
    const QUrl url(Text(index.row(), kColumnUrl), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() &&
        (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
        HyperlinkLabel::OpenLink(url.toString());
}

} // namespace olvex
