#include "page_rows.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace olvex {
namespace {

std::shared_ptr<const PageRecord> Page(int32_t pageId, int32_t visitor, std::string title = "",
                                       std::string loadTime = "", std::string ip = "") {
    auto page = std::make_shared<PageRecord>();
    page->pageId = pageId;
    page->visitorNumber = visitor;
    page->title = std::move(title);
    page->url = "http://site.test/p" + std::to_string(pageId);
    page->loadTime = std::move(loadTime);
    page->ipAddress = std::move(ip);
    return page;
}

std::vector<int32_t> Ids(const PageRows& rows) {
    std::vector<int32_t> ids;
    for (int place = 0; place < rows.Count(); ++place)
        ids.push_back(rows.At(place).page->pageId);
    return ids;
}

using Order = std::vector<int32_t>;

TEST(PageRowsTest, SortsEachColumnByItsKindReversesKeepingTiesAndGoesBack) {
    PageRows rows;
    rows.AddOrUpdate(Page(1, 10, "banana", "10:00", "10.0.0.10"));
    rows.AddOrUpdate(Page(2, 2, "Apple", "9:05", "10.0.0.9"));
    rows.AddOrUpdate(Page(3, 7, "apple", "9:05:30 PM", "fe80::1"));
    rows.AddOrUpdate(Page(4, 30, "Cherry", "soon", "9.255.0.1"));
    const Order unsorted{4, 3, 2, 1};
    ASSERT_EQ(Ids(rows), unsorted);

    // Texts whatever their case; equal ones (2 and 3) in the unsorted order both ways.
    rows.SortBy(PageRows::kTitle, false);
    EXPECT_EQ(Ids(rows), (Order{3, 2, 1, 4}));
    rows.SortBy(PageRows::kTitle, true);
    EXPECT_EQ(Ids(rows), (Order{4, 1, 3, 2}));
    // Numbers by value, not as texts ("10" before "2").
    rows.SortBy(PageRows::kVisitor, false);
    EXPECT_EQ(Ids(rows), (Order{2, 3, 1, 4}));
    // Times of day by value; a text that is no time after them.
    rows.SortBy(PageRows::kLoadTime, false);
    EXPECT_EQ(Ids(rows), (Order{2, 1, 3, 4}));
    // IPv4 addresses by value, others after them.
    rows.SortBy(PageRows::kIpAddress, false);
    EXPECT_EQ(Ids(rows), (Order{4, 2, 1, 3}));

    // Elapsed minutes count from the last write of each row, and ticks move no row.
    rows.SortBy(PageRows::kElapsed, false);
    rows.Tick();
    rows.AddOrUpdate(Page(1, 10, "banana"));
    rows.Tick();
    EXPECT_EQ(Ids(rows), (Order{1, 4, 3, 2}));
    rows.SortBy(PageRows::kElapsed, true);
    EXPECT_EQ(Ids(rows), (Order{4, 3, 2, 1}));

    rows.SortBy(PageRows::kUnsorted, false);
    EXPECT_EQ(Ids(rows), unsorted);
    // New rows are placed by the visitor rule again.
    rows.AddOrUpdate(Page(5, 7));
    EXPECT_EQ(Ids(rows), (Order{4, 5, 3, 2, 1}));

    // The load time as servers write it.
    const auto value = [](const char* text) { return LoadTimeValue(text).value_or(-1); };
    EXPECT_LT(value("850 ms"), value("1.25 s"));
    EXPECT_LT(value("1.25 s"), value("2 min"));
    EXPECT_EQ(value("12:00 AM"), 0);
    EXPECT_EQ(value("12:30 PM"), 12.5 * 3600);
    EXPECT_LT(value("2024-06-11 23:00"), value("2024-06-12T08:00:00"));
    EXPECT_LT(value("6/11/2024 10:00 AM"), value("6/11/2024 9:00 PM"));
    for (const char* text : {"", "soon", "10:00x", "9:", "2024-06-11 now", "1.2 parsecs"})
        EXPECT_FALSE(LoadTimeValue(text)) << text;
    for (const char* text : {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.0004", "::1"})
        EXPECT_FALSE(Ipv4Value(text)) << text;
}

// A fold for the test's one letter beyond ASCII, as Qt's would do it.
std::string FoldU(std::string_view text) {
    std::string folded = Folded(text, nullptr);
    for (size_t at = 0; (at = folded.find("\xC3\x9C", at)) != std::string::npos;)
        folded.replace(at, 2, "\xC3\xBC");
    return folded;
}

TEST(PageRowsTest, FilterLooksAtItsFiveColumnsOnlyWhateverTheCase) {
    PageRows rows(FoldU);
    auto page = std::make_shared<PageRecord>();
    page->pageId = 1;
    page->visitorNumber = 4242;
    page->title = "\303\234ber uns: Pricing"; // a capital U with two dots
    page->url = "http://shop.test/Checkout";
    page->referrer = "https://Search.test/?q=olvex";
    page->loadTime = "12:34";
    page->ipAddress = "192.0.2.77";
    rows.AddOrUpdate(page);
    rows.AddOrUpdate(Page(2, 7, "Other"));
    for (const char* found :
         {"PRICING", "checkout", "SEARCH.test", "2.77", "424", "  pricing ", "\303\274BER"}) {
        rows.SetFilter(found);
        EXPECT_EQ(Ids(rows), Order{1}) << found;
    }
    for (const char* missed : {"12:34", "minute", "Pricing!"}) {
        rows.SetFilter(missed);
        EXPECT_EQ(Ids(rows), Order{}) << missed;
    }
    // Narrowed, then widened again: the rows left out come back in their places.
    rows.SetFilter("t");
    EXPECT_EQ(Ids(rows), (Order{2, 1}));
    rows.SetFilter("th");
    EXPECT_EQ(Ids(rows), Order{2});
    rows.SetFilter("");
    EXPECT_EQ(Ids(rows), (Order{2, 1}));
}

// Reports the changes to a copy of the rows shown, as a view keeps them.
class Mirror : public PageRowsObserver {
public:
    explicit Mirror(PageRows& rows) : rows(rows) { rows.SetObserver(this); }
    void Resync() { ids = Ids(rows); }
    std::vector<int32_t> ids;

private:
    void BeforeInsert(int place) override { inserting = place; }
    void AfterInsert() override {
        ids.insert(ids.begin() + inserting, rows.At(inserting).page->pageId);
    }
    void BeforeRemove(int place) override { ids.erase(ids.begin() + place); }
    void AfterRemove() override {}
    void BeforeMove(int from, int to) override {
        ASSERT_TRUE(to != from && to != from + 1 && to >= 0 && to <= int(ids.size()));
        const int32_t id = ids[size_t(from)];
        ids.erase(ids.begin() + from);
        ids.insert(ids.begin() + (to > from ? to - 1 : to), id);
    }
    void AfterMove() override {}
    void Changed(int place, int, int) override { ASSERT_LT(place, rows.Count()); }

    PageRows& rows;
    int inserting = 0;
};

// What the list should show, worked out from scratch at every step: the visitor rule by a
// scan, the filter by lower-casing, and a stable sort.
struct Reference {
    struct Row {
        std::shared_ptr<const PageRecord> page;
        int32_t visitor;
        uint64_t written;
    };
    std::vector<Row> rows;
    uint64_t ticks = 0;

    void Add(std::shared_ptr<const PageRecord> page) {
        for (Row& row : rows) {
            if (row.page->pageId == page->pageId) {
                row.page = std::move(page);
                row.written = ticks;
                return;
            }
        }
        auto place = std::ranges::find_if(
            rows, [&](const Row& row) { return row.visitor == page->visitorNumber; });
        rows.insert(place == rows.end() ? rows.begin() : place, {page, page->visitorNumber, ticks});
    }
    void Remove(int32_t pageId) {
        std::erase_if(rows, [&](const Row& row) { return row.page->pageId == pageId; });
    }
    static std::string Lower(std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }
    std::vector<int32_t> Shown(int column, bool descending, const std::string& filter) const {
        std::vector<Row> shown;
        for (const Row& row : rows) {
            const PageRecord& page = *row.page;
            for (const std::string& text : {std::to_string(row.visitor), page.title, page.url,
                                            page.referrer, page.ipAddress}) {
                if (Lower(text).find(Lower(filter)) != std::string::npos) {
                    shown.push_back(row);
                    break;
                }
            }
        }
        const auto less = [&](const Row& a, const Row& b) {
            if (column == PageRows::kTitle)
                return Lower(a.page->title) < Lower(b.page->title);
            if (column == PageRows::kVisitor)
                return a.visitor < b.visitor;
            return a.written > b.written; // fewer minutes
        };
        if (column != PageRows::kUnsorted) {
            std::ranges::stable_sort(shown, [&](const Row& a, const Row& b) {
                return descending ? less(b, a) : less(a, b);
            });
        }
        std::vector<int32_t> ids;
        for (const Row& row : shown)
            ids.push_back(row.page->pageId);
        return ids;
    }
};

TEST(PageRowsTest, RowsComingGoingAndRewrittenWhileSortedAndFilteredStandWhereAFullSortPutsThem) {
    std::mt19937 random(314);
    PageRows rows;
    Mirror mirror(rows);
    Reference reference;
    const std::vector<std::string> filters{"", "a", "ab", "b", "1", "12", "p1", " A "};
    const std::vector<int> columns{PageRows::kUnsorted, PageRows::kTitle, PageRows::kVisitor,
                                   PageRows::kElapsed};
    const auto title = [&] {
        std::string text;
        for (unsigned n = 1 + random() % 3; n > 0; --n)
            text += "aAbB"[random() % 4];
        return text;
    };
    std::string filter;
    int column = PageRows::kUnsorted;
    bool descending = false;
    for (int step = 0; step < 4000; ++step) {
        const unsigned what = random() % 20;
        if (what < 9) {
            auto page = Page(static_cast<int32_t>(random() % 300),
                             static_cast<int32_t>(random() % 30), title());
            reference.Add(page);
            rows.AddOrUpdate(page);
        } else if (what < 14 && !reference.rows.empty()) {
            const int32_t pageId = reference.rows[random() % reference.rows.size()].page->pageId;
            reference.Remove(pageId);
            EXPECT_TRUE(rows.Remove(pageId));
        } else if (what < 16) {
            reference.ticks++;
            rows.Tick();
        } else if (what < 18) {
            filter = filters[random() % filters.size()];
            rows.SetFilter(filter);
            mirror.Resync();
        } else {
            column = columns[random() % columns.size()];
            descending = random() % 2 == 0;
            rows.SortBy(column, descending);
            mirror.Resync();
        }
        const std::string trimmed = filter == " A " ? "A" : filter;
        const auto expected = reference.Shown(column, descending, trimmed);
        ASSERT_EQ(Ids(rows), expected) << "step " << step;
        ASSERT_EQ(mirror.ids, expected) << "step " << step;
        if (!expected.empty()) {
            ASSERT_EQ(rows.PlaceOf(expected.back()), int(expected.size()) - 1);
        }
    }
}

} // namespace
} // namespace olvex
