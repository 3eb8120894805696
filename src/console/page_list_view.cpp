#include "page_list_view.h"

#include "console_images.h"
#include "hyperlink_label.h"
#include "leading_number.h"
#include "message_box.h"
#include "report_list.h"

#include <QHeaderView>
#include <QUrl>
#include <algorithm>

namespace olvex {

namespace {

const QColor kVisitorColour(128, 0, 0);
const QColor kInvitedTitleColour(255, 0, 0);
const QColor kUrlColour(0, 0, 255);
const QColor kLoadTimeColour(255, 0, 255);
const QColor kElapsedColour(255, 0, 0);

// A rebuilt row starts at "0 minute(s)", a row written by a page event at "0  minute(s)";
// the timer reads only the leading number, so both count the same way.
const QString kElapsedRebuilt = QStringLiteral("0 minute(s)");
const QString kElapsedEntered = QStringLiteral("0  minute(s)");

QString Text(const std::string& value) {
    return QString::fromStdString(value);
}

void SetImage(QTreeWidgetItem& row, int image) {
    SetRowImage(row, image);
    if (image == kImagePageInvited)
        row.setForeground(PageListView::kColumnTitle, kInvitedTitleColour);
    else
        row.setData(PageListView::kColumnTitle, Qt::ForegroundRole, QVariant());
}

void SetCells(QTreeWidgetItem& row, const PageRecord& page, const QString& elapsed) {
    row.setData(PageListView::kColumnVisitor, PageListView::kPageIdRole, page.pageId);
    row.setText(PageListView::kColumnTitle, Text(page.title));
    row.setText(PageListView::kColumnUrl, Text(page.url));
    row.setText(PageListView::kColumnLoadTime, Text(page.loadTime));
    row.setText(PageListView::kColumnReferrer, Text(page.referrer));
    row.setText(PageListView::kColumnElapsed, elapsed);
    row.setText(PageListView::kColumnIpAddress, Text(page.ipAddress));
}

std::unique_ptr<QTreeWidgetItem> NewRow(const PageRecord& page, const QString& elapsed) {
    auto row = std::make_unique<QTreeWidgetItem>();
    // Saves the view asking every row for children when it lays the list out.
    row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    row->setText(PageListView::kColumnVisitor, QString::number(page.visitorNumber));
    row->setData(PageListView::kColumnVisitor, PageListView::kVisitorRole, page.visitorNumber);
    row->setForeground(PageListView::kColumnVisitor, kVisitorColour);
    row->setForeground(PageListView::kColumnUrl, kUrlColour);
    row->setForeground(PageListView::kColumnLoadTime, kLoadTimeColour);
    row->setForeground(PageListView::kColumnElapsed, kElapsedColour);
    SetImage(*row, kImagePage);
    SetCells(*row, page, elapsed);
    return row;
}

int32_t VisitorOf(const QTreeWidgetItem& row) {
    return row.data(PageListView::kColumnVisitor, PageListView::kVisitorRole).toInt();
}

} // namespace

PageListView::PageListView(QWidget* parent) : QTreeWidget(parent) {
    SetUpReportList(*this,
                    {QStringLiteral("Visitor"), QStringLiteral("Page Title"),
                     QStringLiteral("Page URL"), QStringLiteral("Load Time"),
                     QStringLiteral("Referrer"), QStringLiteral("Elapsed Time"),
                     QStringLiteral("IP Address")},
                    {50, 120, 120, 100, 100, 100, 80});
    // Wide enough for the picture and a five-digit visitor number in this desktop's font.
    header()->resizeSection(kColumnVisitor,
                            std::max(header()->sectionSize(kColumnVisitor),
                                     iconSize().width() +
                                         fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                                         20));
    connect(this, &QTreeWidget::itemDoubleClicked, this, &PageListView::OnDoubleClicked);
}

void PageListView::Clear() {
    rowsByPage.clear();
    firstRowOfVisitor.clear();
    clear();
}

void PageListView::Rebuild(const PageSnapshot& pages) {
    Clear();
    // Adding pages one by one would put each visitor's pages together, newest first, and
    // the visitors newest first. Build that order at once and insert it in one step.
    struct Visitor {
        int32_t number;
        std::vector<const PageRecord*> pages;
    };
    std::vector<Visitor> visitors;
    std::unordered_map<int32_t, size_t> visitorIndex;
    std::unordered_map<int32_t, std::pair<size_t, size_t>> placeOfPage;
    for (const auto& page : pages) {
        if (!page)
            continue;
        // A page id seen before rewrites its row where it is, as a later add would.
        if (auto seen = placeOfPage.find(page->pageId); seen != placeOfPage.end()) {
            visitors[seen->second.first].pages[seen->second.second] = page.get();
            continue;
        }
        auto [found, added] = visitorIndex.try_emplace(page->visitorNumber, visitors.size());
        if (added)
            visitors.push_back({page->visitorNumber, {}});
        Visitor& visitor = visitors[found->second];
        placeOfPage.emplace(page->pageId, std::make_pair(found->second, visitor.pages.size()));
        visitor.pages.push_back(page.get());
    }
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(placeOfPage.size()));
    for (auto visitor = visitors.rbegin(); visitor != visitors.rend(); ++visitor) {
        for (auto page = visitor->pages.rbegin(); page != visitor->pages.rend(); ++page) {
            QTreeWidgetItem* row = NewRow(**page, kElapsedRebuilt).release();
            rowsByPage.emplace((*page)->pageId, row);
            firstRowOfVisitor.try_emplace(visitor->number, row);
            rows.append(row);
        }
    }
    addTopLevelItems(rows);
}

bool PageListView::AddOrUpdate(const PageRecord& page) {
    if (QTreeWidgetItem* row = Row(page.pageId)) {
        SetCells(*row, page, kElapsedEntered);
        return false;
    }
    int place = 0;
    if (auto first = firstRowOfVisitor.find(page.visitorNumber); first != firstRowOfVisitor.end())
        place = indexOfTopLevelItem(first->second);
    auto row = NewRow(page, kElapsedEntered);
    QTreeWidgetItem* inserted = row.get();
    insertTopLevelItem(place, row.release());
    rowsByPage.emplace(page.pageId, inserted);
    firstRowOfVisitor[page.visitorNumber] = inserted;
    return true;
}

bool PageListView::Remove(int32_t pageId) {
    const auto found = rowsByPage.find(pageId);
    if (found == rowsByPage.end())
        return false;
    QTreeWidgetItem* row = found->second;
    const int index = indexOfTopLevelItem(row);
    const int32_t visitor = VisitorOf(*row);
    if (auto first = firstRowOfVisitor.find(visitor);
        first != firstRowOfVisitor.end() && first->second == row) {
        QTreeWidgetItem* next = topLevelItem(index + 1);
        if (next && VisitorOf(*next) == visitor)
            first->second = next;
        else
            firstRowOfVisitor.erase(first);
    }
    rowsByPage.erase(found);
    std::unique_ptr<QTreeWidgetItem> taken(takeTopLevelItem(index));
    return true;
}

bool PageListView::MarkInvited(int32_t pageId) {
    QTreeWidgetItem* row = Row(pageId);
    if (!row)
        return false;
    SetImage(*row, kImagePageInvited);
    return true;
}

void PageListView::AddElapsedMinute() {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        const int32_t minutes = LeadingNumber(row->text(kColumnElapsed));
        const int32_t next = minutes == INT32_MAX ? minutes : minutes + 1;
        row->setText(kColumnElapsed, QStringLiteral("%1 minute(s)").arg(next));
    }
}

QTreeWidgetItem* PageListView::Row(int32_t pageId) const {
    const auto found = rowsByPage.find(pageId);
    return found == rowsByPage.end() ? nullptr : found->second;
}

int PageListView::RowOf(int32_t pageId) const {
    QTreeWidgetItem* row = Row(pageId);
    return row ? indexOfTopLevelItem(row) : -1;
}

std::vector<int32_t> PageListView::SelectedPageIds() const {
    std::vector<int32_t> ids;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = topLevelItem(i);
        if (row->isSelected())
            ids.push_back(PageIdOf(*row));
    }
    return ids;
}

int32_t PageListView::PageIdOf(const QTreeWidgetItem& row) {
    return row.data(kColumnVisitor, kPageIdRole).toInt();
}

int PageListView::ImageOf(const QTreeWidgetItem& row) {
    return RowImage(row);
}

void PageListView::OnDoubleClicked(QTreeWidgetItem* row, int column) {
    if (!row)
        return;
    if (column == kColumnVisitor) {
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
    const QUrl url(row->text(kColumnUrl), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() &&
        (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
        HyperlinkLabel::OpenLink(url.toString());
}

} // namespace olvex
