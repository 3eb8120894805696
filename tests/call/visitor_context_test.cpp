#include "visitor_context.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace olvex;

namespace {

PageRecord Page(int32_t id, std::string url, std::string title = "Shop") {
    PageRecord page;
    page.pageId = id;
    page.visitorNumber = 4;
    page.url = std::move(url);
    page.title = std::move(title);
    page.referrer = "https://search.example/?q=shoes";
    return page;
}

int64_t LocalMs(int year, int month, int day) {
    return QDateTime(QDate(year, month, day), QTime(12, 0)).toMSecsSinceEpoch();
}

} // namespace

TEST(VisitorTrail, FollowsMovesCountsPagesAndKeepsTheLastPageOnceTheVisitorLeaves) {
    VisitorTrail trail;
    EXPECT_FALSE(trail.Update({}, 1000));
    EXPECT_FALSE(trail.Known());

    EXPECT_TRUE(trail.Update({Page(1, "https://shop.example/")}, 5000));
    EXPECT_FALSE(trail.Update({Page(1, "https://shop.example/")}, 6000));
    // A move: the new page arrives before the old one is let go.
    EXPECT_TRUE(trail.Update({Page(1, "https://shop.example/"), Page(2, "https://shop.example/cart")},
                             7000));
    EXPECT_EQ(trail.Current()->pageId, 2);
    EXPECT_FALSE(trail.Update({Page(2, "https://shop.example/cart")}, 8000));
    EXPECT_EQ(trail.PagesSeen(), 2);
    EXPECT_EQ(trail.FirstSeenMs(), 5000);

    EXPECT_TRUE(trail.Update({}, 9000));
    EXPECT_TRUE(trail.Left());
    EXPECT_EQ(trail.Current()->url, "https://shop.example/cart");
    EXPECT_FALSE(trail.Update({}, 9500));
    // Back on the site.
    EXPECT_TRUE(trail.Update({Page(3, "https://shop.example/")}, 10000));
    EXPECT_FALSE(trail.Left());
}

TEST(VisitorContextTexts, MarkupFromTheServerStaysTextAndOnlyWebAddressesAreLinks) {
    const QString link = PageLinkHtml("https://shop.example/a?b=1&c=<x>", "<img src=x>Cart");
    EXPECT_FALSE(link.contains("<img"));
    EXPECT_TRUE(link.contains("&lt;img src=x&gt;Cart"));
    EXPECT_TRUE(link.contains("<a href=\"https://shop.example/a?b=1&amp;c=%3Cx%3E\">"))
        << link.toStdString();
    EXPECT_EQ(link.count('<'), 5) << "<b>, </b>, <br>, <a> and </a> only: " << link.toStdString();
    EXPECT_FALSE(PageLinkHtml("javascript:alert(1)", "x").contains("<a "));
    EXPECT_FALSE(PageLinkHtml("\" onclick=\"x", "").contains("\" onclick"));
    // Without a title the address stands for it.
    EXPECT_TRUE(PageLinkHtml("http://a.example/", "").startsWith("<b>http://a.example/</b>"));

    EXPECT_EQ(DurationText(-5), "under a minute");
    EXPECT_EQ(DurationText(59'999), "under a minute");
    EXPECT_EQ(DurationText(12 * 60'000 + 59'000), "12 min");
    EXPECT_EQ(DurationText(65 * 60'000), "1 h 05 min");

    EXPECT_EQ(EarlierChatsText({}), "");
    ConversationSummary older;
    older.started = LocalMs(2026, 11, 3);
    ConversationSummary last;
    last.started = LocalMs(2026, 12, 1);
    EXPECT_EQ(EarlierChatsText({last, older}), "2 earlier chats, last on 2026-12-01");
    EXPECT_EQ(EarlierChatsText({older}), "1 earlier chat, on 2026-11-03");
}
