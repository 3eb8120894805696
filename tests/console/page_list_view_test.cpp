#include "console_images.h"
#include "console_test_helpers.h"
#include "page_list_view.h"
#include "visitors_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <random>

namespace olvex {
namespace {

PageRecord Page(int32_t pageId, int32_t visitor, std::string title = "Title") {
    PageRecord page;
    page.pageId = pageId;
    page.visitorNumber = visitor;
    page.title = std::move(title);
    page.url = "http://site.test/p" + std::to_string(pageId);
    page.loadTime = "10:00";
    page.referrer = "ref";
    page.ipAddress = "10.0.0.1";
    return page;
}

std::vector<int32_t> PageIds(const PageListView& list) {
    std::vector<int32_t> ids;
    for (int i = 0; i < list.RowCount(); ++i)
        ids.push_back(list.PageIdAt(i));
    return ids;
}

// The placing rule written the slow way: scan for the first row showing the visitor's
// number and insert above it, else at the top.
struct ReferenceList {
    std::vector<std::pair<int32_t, int32_t>> rows; // page id, visitor
    void Add(int32_t pageId, int32_t visitor) {
        for (const auto& row : rows) {
            if (row.first == pageId)
                return;
        }
        auto place = rows.begin();
        for (auto it = rows.begin(); it != rows.end(); ++it) {
            if (it->second == visitor) {
                place = it;
                break;
            }
        }
        rows.insert(place, {pageId, visitor});
    }
    void Remove(int32_t pageId) {
        std::erase_if(rows, [pageId](const auto& row) { return row.first == pageId; });
    }
    std::vector<int32_t> Ids() const {
        std::vector<int32_t> ids;
        for (const auto& row : rows)
            ids.push_back(row.first);
        return ids;
    }
};

TEST(PageListViewTest, PagesOfOneVisitorStayTogetherNewestFirst) {
    PageListView list;
    EXPECT_TRUE(list.AddOrUpdate(Page(1, 7)));
    EXPECT_TRUE(list.AddOrUpdate(Page(2, 9)));
    EXPECT_TRUE(list.AddOrUpdate(Page(3, 7)));
    EXPECT_EQ(PageIds(list), (std::vector<int32_t>{2, 3, 1}));
    EXPECT_EQ(list.Text(0, PageListView::kColumnVisitor), QStringLiteral("9"));
    EXPECT_EQ(list.RowOf(1), 2);

    // Removing the top page of visitor 7 keeps the next one as the place for new pages.
    EXPECT_TRUE(list.Remove(3));
    EXPECT_TRUE(list.AddOrUpdate(Page(4, 7)));
    EXPECT_EQ(PageIds(list), (std::vector<int32_t>{2, 4, 1}));
    EXPECT_FALSE(list.Remove(99));
}

TEST(PageListViewTest, RowsCarryTheRecord) {
    PageListView list;
    list.AddOrUpdate(Page(5, 12, "Pricing"));
    EXPECT_EQ(list.Text(0, PageListView::kColumnVisitor), QStringLiteral("12"));
    EXPECT_EQ(list.Text(0, PageListView::kColumnTitle), QStringLiteral("Pricing"));
    EXPECT_EQ(list.Text(0, PageListView::kColumnUrl), QStringLiteral("http://site.test/p5"));
    EXPECT_EQ(list.Text(0, PageListView::kColumnLoadTime), QStringLiteral("10:00"));
    EXPECT_EQ(list.Text(0, PageListView::kColumnReferrer), QStringLiteral("ref"));
    EXPECT_EQ(list.Text(0, PageListView::kColumnIpAddress), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(list.Text(0, PageListView::kColumnElapsed), QStringLiteral("0  minute(s)"));
    EXPECT_EQ(list.ImageAt(0), kImagePage);
    EXPECT_EQ(list.Colour(0, PageListView::kColumnVisitor), QColor(128, 0, 0));
    EXPECT_EQ(list.Colour(0, PageListView::kColumnUrl), QColor(0, 0, 255));
    EXPECT_EQ(list.Colour(0, PageListView::kColumnLoadTime), QColor(255, 0, 255));
    EXPECT_EQ(list.Colour(0, PageListView::kColumnElapsed), QColor(255, 0, 0));
}

TEST(PageListViewTest, SamePageTwiceRewritesItsRowAndRestartsItsTime) {
    PageListView list;
    list.AddOrUpdate(Page(1, 7, "First"));
    list.AddOrUpdate(Page(2, 8));
    list.AddElapsedMinute();
    list.AddElapsedMinute();
    EXPECT_EQ(list.Text(1, PageListView::kColumnElapsed), QStringLiteral("2 minute(s)"));
    EXPECT_FALSE(list.AddOrUpdate(Page(1, 99, "Second")));
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.Text(1, PageListView::kColumnTitle), QStringLiteral("Second"));
    EXPECT_EQ(list.Text(1, PageListView::kColumnVisitor), QStringLiteral("7"));
    EXPECT_EQ(list.Text(1, PageListView::kColumnElapsed), QStringLiteral("0  minute(s)"));
    list.AddElapsedMinute();
    EXPECT_EQ(list.Text(1, PageListView::kColumnElapsed), QStringLiteral("1 minute(s)"));
    EXPECT_EQ(list.Text(0, PageListView::kColumnElapsed), QStringLiteral("3 minute(s)"));
}

TEST(PageListViewTest, IndexesMatchTheScanningRuleUnderRandomTraffic) {
    std::mt19937 random(7);
    PageListView list;
    ReferenceList reference;
    std::vector<int32_t> live;
    for (int step = 0; step < 3000; ++step) {
        if (!live.empty() && random() % 3 == 0) {
            const size_t pick = random() % live.size();
            list.Remove(live[pick]);
            reference.Remove(live[pick]);
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(pick));
        } else {
            const auto pageId = static_cast<int32_t>(random() % 400);
            const auto visitor = static_cast<int32_t>(random() % 25);
            if (list.AddOrUpdate(Page(pageId, visitor)))
                live.push_back(pageId);
            reference.Add(pageId, visitor);
        }
        ASSERT_EQ(PageIds(list), reference.Ids()) << "step " << step;
    }
}

TEST(PageListViewTest, RebuildGivesTheOrderOfAddingOneByOne) {
    std::mt19937 random(11);
    PageListView::PageSnapshot snapshot;
    ReferenceList reference;
    for (int i = 0; i < 500; ++i) {
        const auto pageId = static_cast<int32_t>(random() % 450); // some ids repeat
        const auto visitor = static_cast<int32_t>(random() % 40);
        snapshot.push_back(std::make_shared<const PageRecord>(Page(pageId, visitor)));
        reference.Add(pageId, visitor);
    }
    snapshot.push_back(nullptr);
    PageListView list;
    list.AddOrUpdate(Page(100000, 1)); // gone after the rebuild
    list.Rebuild(snapshot);
    EXPECT_EQ(PageIds(list), reference.Ids());
    EXPECT_EQ(list.RowOf(100000), -1);
    EXPECT_EQ(list.Text(0, PageListView::kColumnElapsed), QStringLiteral("0 minute(s)"));

    // The indexes are rebuilt too: later adds land where the rule says.
    list.AddOrUpdate(Page(9000, 3));
    reference.Add(9000, 3);
    EXPECT_EQ(PageIds(list), reference.Ids());
}

// Under churn, rows come and go above the part of the list the operator reads; those rows
// must stay where they are, also when the row with the keyboard focus leaves.
TEST(PageListViewTest, RowsOnScreenStayPutWhileRowsComeAndGoAbove) {
    PageListView list;
    list.resize(600, 300);
    list.show();
    for (int32_t id = 1; id <= 300; ++id)
        list.AddOrUpdate(Page(id, id));
    QApplication::processEvents();
    const int32_t focused = list.PageIdAt(250);
    list.setCurrentIndex(list.model()->index(250, 0));
    list.verticalScrollBar()->setValue(145);
    QApplication::processEvents();
    const int32_t top = list.PageIdAt(list.indexAt(QPoint(0, 0)).row());

    list.BeginChanges();
    for (int32_t id = 1000; id < 1020; ++id)
        list.AddOrUpdate(Page(id, id)); // new visitors go to the top
    for (int32_t id = 300; id > 295; --id)
        list.Remove(id); // near the top as well
    list.Remove(focused);
    list.EndChanges();
    QApplication::processEvents();
    EXPECT_EQ(list.PageIdAt(list.indexAt(QPoint(0, 0)).row()), top);

    // At the top, the newest visitors show as they come.
    list.verticalScrollBar()->setValue(0);
    list.BeginChanges();
    list.AddOrUpdate(Page(2000, 2000));
    list.EndChanges();
    QApplication::processEvents();
    EXPECT_EQ(list.PageIdAt(list.indexAt(QPoint(0, 0)).row()), 2000);
}

TEST(PageListViewTest, InvitedRowsShowTheClockAndARedTitle) {
    PageListView list;
    list.AddOrUpdate(Page(1, 1));
    list.AddOrUpdate(Page(2, 2));
    EXPECT_TRUE(list.MarkInvited(1));
    EXPECT_TRUE(list.MarkInvited(1));
    EXPECT_FALSE(list.MarkInvited(3));
    EXPECT_EQ(list.ImageAt(list.RowOf(1)), kImagePageInvited);
    EXPECT_EQ(list.Colour(list.RowOf(1), PageListView::kColumnTitle), QColor(255, 0, 0));
    EXPECT_EQ(list.ImageAt(list.RowOf(2)), kImagePage);
    EXPECT_FALSE(list.Colour(list.RowOf(2), PageListView::kColumnTitle).isValid());
    // A page event for the invited row rewrites its cells but keeps the mark.
    list.AddOrUpdate(Page(1, 1, "New title"));
    EXPECT_EQ(list.ImageAt(list.RowOf(1)), kImagePageInvited);
}

TEST(PageListViewTest, SelectedPagesComeTopToBottom) {
    PageListView list;
    for (int32_t id = 1; id <= 4; ++id)
        list.AddOrUpdate(Page(id, id));
    list.SelectPage(1);
    list.SelectPage(4);
    list.SelectPage(3);
    EXPECT_EQ(list.SelectedPageIds(), (std::vector<int32_t>{4, 3, 1}));
}

TEST(PageListViewTest, DoubleClickAsksOnTheVisitorCellAndOpensWebAddressesElsewhere) {
    test::UiRecorder ui;
    PageListView list;
    PageRecord page = Page(1, 1);
    list.AddOrUpdate(page);
    QSignalSpy invite(&list, &PageListView::InviteRequested);
    auto cell = [&](int column) { return list.model()->index(0, column); };

    ui.answer = QMessageBox::No;
    emit list.doubleClicked(cell(PageListView::kColumnVisitor));
    EXPECT_EQ(invite.count(), 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], QStringLiteral("Do you want to send a chat invitation to the visitor "
                                             "browsing the selected web page?"));
    ui.answer = QMessageBox::Yes;
    emit list.doubleClicked(cell(PageListView::kColumnVisitor));
    EXPECT_EQ(invite.count(), 1);
    EXPECT_TRUE(ui.opened.empty());

    emit list.doubleClicked(cell(PageListView::kColumnTitle));
    EXPECT_EQ(ui.opened, std::vector<QString>{QStringLiteral("http://site.test/p1")});

    // Addresses come from the server: nothing but web pages is opened.
    for (const char* url :
         {"file:///etc/passwd", "/usr/bin/xterm", "javascript:alert(1)", "smb://host/share"}) {
        page.url = url;
        list.AddOrUpdate(page);
        emit list.doubleClicked(cell(PageListView::kColumnReferrer));
    }
    EXPECT_EQ(ui.opened.size(), 1u);
}

TEST(PageListViewTest, HeadingClicksSortReverseAndRestoreAndTheFindFieldFilters) {
    VisitorsView view;
    view.resize(800, 400);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    PageListView& list = view.List();
    QLineEdit& field = view.FindField();
    EXPECT_EQ(field.accessibleName(), QStringLiteral("Find visitor"));
    EXPECT_EQ(field.placeholderText(), QStringLiteral("Find visitor"));
    list.AddOrUpdate(Page(1, 1, "banana"));
    list.AddOrUpdate(Page(2, 2, "Apple"));
    list.AddOrUpdate(Page(3, 3, "cherry"));
    const std::vector<int32_t> unsorted{3, 2, 1};
    ASSERT_EQ(PageIds(list), unsorted);
    EXPECT_EQ(list.header()->sortIndicatorSection(), -1);
    list.SelectPage(1);
    const auto clickHeading = [&](int column) {
        QHeaderView& header = *list.header();
        QTest::mouseClick(
            header.viewport(), Qt::LeftButton, {},
            QPoint(header.sectionViewportPosition(column) + header.sectionSize(column) / 2,
                   header.height() / 2));
    };

    clickHeading(PageListView::kColumnTitle);
    EXPECT_EQ(PageIds(list), (std::vector<int32_t>{2, 1, 3}));
    EXPECT_EQ(list.header()->sortIndicatorSection(), PageListView::kColumnTitle);
    EXPECT_EQ(list.SelectedPageIds(), std::vector<int32_t>{1});
    clickHeading(PageListView::kColumnTitle);
    EXPECT_EQ(PageIds(list), (std::vector<int32_t>{3, 1, 2}));
    EXPECT_EQ(list.SortOrder(), Qt::DescendingOrder);
    // A selected row that moves because it was rewritten stays selected.
    list.AddOrUpdate(Page(1, 1, "zucchini"));
    EXPECT_EQ(PageIds(list), (std::vector<int32_t>{1, 3, 2}));
    EXPECT_EQ(list.SelectedPageIds(), std::vector<int32_t>{1});
    clickHeading(PageListView::kColumnTitle);
    EXPECT_EQ(PageIds(list), unsorted);
    EXPECT_EQ(list.SortColumn(), -1);
    EXPECT_EQ(list.header()->sortIndicatorSection(), -1);

    // Typing narrows the rows; rows filtered out leave the selection, and the Invite button
    // hears of it.
    QSignalSpy selection(&list, &PageListView::SelectionChanged);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(field.hasFocus());
    QTest::keyClicks(&field, "ER");
    EXPECT_EQ(PageIds(list), (std::vector<int32_t>{3}));
    EXPECT_FALSE(list.HasSelection());
    EXPECT_GT(selection.count(), 0);
    QTest::keyClicks(&field, "x");
    EXPECT_EQ(list.RowCount(), 0);
    list.AddOrUpdate(Page(4, 4, "Berxley"));
    EXPECT_EQ(PageIds(list), (std::vector<int32_t>{4}));
    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_TRUE(field.text().isEmpty());
    EXPECT_EQ(PageIds(list), (std::vector<int32_t>{4, 3, 2, 1}));
}

} // namespace
} // namespace olvex
