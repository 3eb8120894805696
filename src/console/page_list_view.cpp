#include "page_list_view.h"

#include "console_images.h"
#include "hyperlink_label.h"
#include "message_box.h"
#include "page_rows.h"
#include "report_list.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QIcon>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <functional>

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

// Qt's folding for texts beyond ASCII, so that "Ü" finds "ü" as "A" finds "a".
std::string FoldCase(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .toCaseFolded()
        .toStdString();
}

static_assert(int(PageListView::kColumnVisitor) == int(PageRows::kVisitor) &&
              int(PageListView::kColumnTitle) == int(PageRows::kTitle) &&
              int(PageListView::kColumnLoadTime) == int(PageRows::kLoadTime) &&
              int(PageListView::kColumnElapsed) == int(PageRows::kElapsed) &&
              int(PageListView::kColumnCount) == int(PageRows::kColumns));

} // namespace

// Rows live in PageRows, not in widget items: a row is a shared page record and a few
// numbers, and its texts are made when the view asks for a row on screen.
class PageListModel : public QAbstractItemModel, private PageRowsObserver {
public:
    explicit PageListModel(QObject* parent)
        : QAbstractItemModel(parent), rows(FoldCase), pageImage(ListImage(kImagePage)),
          invitedImage(ListImage(kImagePageInvited)), headings{QStringLiteral("Visitor"),
                                                               QStringLiteral("Page Title"),
                                                               QStringLiteral("Page URL"),
                                                               QStringLiteral("Load Time"),
                                                               QStringLiteral("Referrer"),
                                                               QStringLiteral("Elapsed Time"),
                                                               QStringLiteral("IP Address")} {
        rows.SetObserver(this);
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override {
        if (parent.isValid() || row < 0 || column < 0 || column >= PageListView::kColumnCount ||
            row >= rows.Count())
            return {};
        // Rows are found when their data is asked for: views lay out every row, but ask
        // for the data of those on screen only.
        return createIndex(row, column);
    }
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : rows.Count();
    }
    int columnCount(const QModelIndex& = {}) const override { return PageListView::kColumnCount; }
    bool hasChildren(const QModelIndex& parent) const override {
        return !parent.isValid() && rows.Count() > 0;
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
        const PageRow& row = rows.At(index.row());
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
        rows.Reset(pages);
        endResetModel();
    }

    void Empty() {
        beginResetModel();
        rows.Clear();
        endResetModel();
    }

    bool AddOrUpdate(std::shared_ptr<const PageRecord> page) {
        return rows.AddOrUpdate(std::move(page));
    }
    bool Remove(int32_t pageId) { return rows.Remove(pageId); }
    bool MarkInvited(int32_t pageId) { return rows.MarkInvited(pageId); }

    // Every row's minutes are counted from the tick it was written at, so a tick changes
    // nothing stored; the view is told about the rows in [first, last], those on screen.
    void Tick(int first, int last) {
        rows.Tick();
        if (first >= 0 && last >= first)
            emit dataChanged(index(first, PageListView::kColumnElapsed),
                             index(last, PageListView::kColumnElapsed), {Qt::DisplayRole});
    }

    int PlaceOf(int32_t pageId) const { return rows.PlaceOf(pageId); }
    const PageRows& Rows() const { return rows; }
    // Told of a row about to leave (removed or filtered out), before the views are.
    std::function<void(int place)> leaving;

    // A new sort or filter: rows move and hide all at once. The views keep the selected and
    // the current rows, found again by page id; rows hidden by a filter leave the selection.
    template <typename Change> void Rearrange(Change change) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<int32_t> pages;
        pages.reserve(static_cast<size_t>(before.size()));
        for (const QModelIndex& index : before)
            pages.push_back(index.row() < rows.Count() ? rows.At(index.row()).page->pageId : 0);
        change(rows);
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            const int place = rows.PlaceOf(pages[static_cast<size_t>(i)]);
            after.push_back(place < 0 ? QModelIndex() : createIndex(place, before[i].column()));
        }
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    void BeforeInsert(int place) override { beginInsertRows({}, place, place); }
    void AfterInsert() override { endInsertRows(); }
    void BeforeRemove(int place) override {
        if (leaving)
            leaving(place);
        beginRemoveRows({}, place, place);
    }
    void AfterRemove() override { endRemoveRows(); }
    void BeforeMove(int from, int to) override { beginMoveRows({}, from, from, {}, to); }
    void AfterMove() override { endMoveRows(); }
    void Changed(int place, int first, int last) override {
        emit dataChanged(createIndex(place, first), createIndex(place, last));
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
            const uint64_t minutes = std::min<uint64_t>(rows.MinutesOf(row), INT32_MAX);
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

    PageRows rows;
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
    connect(rows, &QAbstractItemModel::layoutChanged, this, &PageListView::SelectionChanged);
    // Qt would move the current row to a neighbour and scroll there, laying out the whole
    // list on the way: the list would jump under the operator's eyes at every departure.
    rows->leaving = [this](int place) {
        if (currentIndex().row() == place)
            selectionModel()->clearCurrentIndex();
    };

    // A click on a heading sorts by that column, a second one reverses, a third goes back to
    // the order the rows came in. Nothing is sorted at first.
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicatorClearable(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header(), &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                rows->Rearrange(
                    [&](PageRows& pages) { pages.SortBy(column, order == Qt::DescendingOrder); });
                KeepCurrentInView();
            });
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
    return rows->Remove(pageId);
}

bool PageListView::MarkInvited(int32_t pageId) {
    return rows->MarkInvited(pageId);
}

void PageListView::SortBy(int column, Qt::SortOrder order) {
    header()->setSortIndicator(column >= 0 && column < kColumnCount ? column : -1, order);
}

int PageListView::SortColumn() const {
    return rows->Rows().SortColumn();
}

Qt::SortOrder PageListView::SortOrder() const {
    return rows->Rows().Descending() ? Qt::DescendingOrder : Qt::AscendingOrder;
}

void PageListView::SetFilter(const QString& text) {
    // Blanks around the text do not count: a blank typed after it changes nothing.
    if (text.trimmed() == filterText)
        return;
    filterText = text.trimmed();
    const std::string filter = filterText.toStdString();
    rows->Rearrange([&](PageRows& pages) { pages.SetFilter(filter); });
    KeepCurrentInView();
}

// The row the operator was on stays in sight wherever a sort or filter puts it.
void PageListView::KeepCurrentInView() {
    if (currentIndex().isValid())
        scrollTo(currentIndex());
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
