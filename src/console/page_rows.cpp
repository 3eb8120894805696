#include "page_rows.h"

#include <algorithm>
#include <charconv>

namespace olvex {

namespace {

constexpr uint32_t kNil = RowOrderTree::kNil;

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

void PageRows::Reset(const Snapshot& pages) {
    Clear();
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
            byPage.emplace((**page)->pageId, node);
            firstOfVisitor.try_emplace(visitor->number, node);
        }
    }
    if (!Arranged())
        return;
    std::vector<uint32_t> nodes = AllInOrder();
    if (sortColumn != kUnsorted) {
        keys.resize(order.Nodes());
        for (uint32_t node : nodes)
            SetKey(node);
    }
    Arrange(std::move(nodes), true);
}

void PageRows::Clear() {
    Forget();
    order.Clear();
    byPage.clear();
    firstOfVisitor.clear();
    keys.clear();
    shown.Clear();
    shownOf.clear();
    rowOf.clear();
}

bool PageRows::AddOrUpdate(std::shared_ptr<const PageRecord> page) {
    const auto found = byPage.find(page->pageId);
    if (found == byPage.end()) {
        InsertNew(std::move(page));
        return true;
    }
    PageRow& row = order[found->second];
    row.page = std::move(page);
    row.written = ticks;
    row.entered = true;
    if (Arranged()) {
        Rearrange(found->second);
    } else if (observer) {
        observer->Changed(static_cast<int>(order.PlaceOf(found->second)), kTitle, kColumns - 1);
    }
    return false;
}

void PageRows::InsertNew(std::shared_ptr<const PageRecord> page) {
    const int32_t pageId = page->pageId;
    const int32_t visitor = page->visitorNumber;
    uint32_t below = kNil;
    if (auto first = firstOfVisitor.find(visitor); first != firstOfVisitor.end())
        below = first->second;
    const bool direct = !Arranged();
    if (direct && observer)
        observer->BeforeInsert(below == kNil ? 0 : static_cast<int>(order.PlaceOf(below)));
    const uint32_t node = order.New({std::move(page), visitor, ticks, true});
    Forget();
    order.InsertAbove(below, node);
    byPage.emplace(pageId, node);
    firstOfVisitor[visitor] = node;
    if (direct) {
        if (observer)
            observer->AfterInsert();
        return;
    }
    if (shownOf.size() <= node)
        shownOf.resize(node + 1, kNil);
    shownOf[node] = kNil;
    if (sortColumn != kUnsorted)
        SetKey(node);
    if (Matches(order[node]))
        Show(node);
}

bool PageRows::Remove(int32_t pageId) {
    const auto found = byPage.find(pageId);
    if (found == byPage.end())
        return false;
    const uint32_t node = found->second;
    const int32_t visitor = order[node].visitor;
    if (auto first = firstOfVisitor.find(visitor);
        first != firstOfVisitor.end() && first->second == node) {
        const uint32_t next = order.Next(node);
        if (next != kNil && order[next].visitor == visitor)
            first->second = next;
        else
            firstOfVisitor.erase(first);
    }
    const bool direct = !Arranged();
    if (!direct && shownOf[node] != kNil)
        Hide(node);
    if (direct && observer)
        observer->BeforeRemove(static_cast<int>(order.PlaceOf(node)));
    byPage.erase(found);
    Forget();
    order.Erase(node);
    if (!keys.empty())
        keys[node] = {};
    if (direct && observer)
        observer->AfterRemove();
    return true;
}

bool PageRows::MarkInvited(int32_t pageId) {
    const auto found = byPage.find(pageId);
    if (found == byPage.end())
        return false;
    PageRow& row = order[found->second];
    if (!row.invited) {
        row.invited = true;
        const int place = PlaceOf(pageId);
        if (place >= 0 && observer)
            observer->Changed(place, kVisitor, kTitle);
    }
    return true;
}

void PageRows::SortBy(int column, bool descend) {
    if (column < 0 || column >= kColumns)
        column = kUnsorted;
    const bool keep = column == sortColumn && column != kUnsorted;
    sortColumn = column;
    descending = descend;
    std::vector<uint32_t> nodes = AllInOrder();
    if (column == kUnsorted) {
        keys.clear();
    } else if (!keep) {
        keys.assign(order.Nodes(), {});
        for (uint32_t node : nodes)
            SetKey(node);
    }
    Arrange(std::move(nodes), true);
}

void PageRows::SetFilter(std::string_view text) {
    std::string folded = Folded(Trimmed(text), fold);
    if (folded == needle)
        return;
    // Every row that holds the longer text holds the shorter one too, and the rows shown
    // are in order already.
    const bool narrowing = !needle.empty() && folded.find(needle) != std::string::npos;
    needle = std::move(folded);
    if (!narrowing) {
        Arrange(AllInOrder(), true);
        return;
    }
    std::vector<uint32_t> nodes;
    nodes.reserve(shown.Count());
    for (uint32_t node = shown.At(0); node != kNil; node = shown.Next(node))
        nodes.push_back(rowOf[node]);
    Arrange(std::move(nodes), false);
}

int PageRows::Count() const {
    return static_cast<int>(Arranged() ? shown.Count() : order.Count());
}

int PageRows::PlaceOf(int32_t pageId) const {
    const auto found = byPage.find(pageId);
    if (found == byPage.end())
        return -1;
    if (!Arranged())
        return static_cast<int>(order.PlaceOf(found->second));
    const uint32_t node = shownOf[found->second];
    return node == kNil ? -1 : static_cast<int>(shown.PlaceOf(node));
}

uint32_t PageRows::NodeAt(int place) const {
    const bool arranged = Arranged();
    uint32_t node;
    if (place == lastPlace)
        node = lastNode;
    else if (place == lastPlace + 1 && lastPlace >= 0)
        node = arranged ? shown.Next(lastNode) : order.Next(lastNode);
    else
        node = arranged ? shown.At(static_cast<uint32_t>(place))
                        : order.At(static_cast<uint32_t>(place));
    lastPlace = place;
    lastNode = node;
    return arranged ? rowOf[node] : node;
}

// A row was rewritten while sorted or filtered: it may have to show, hide or move.
void PageRows::Rearrange(uint32_t node) {
    if (sortColumn != kUnsorted)
        SetKey(node);
    const bool matches = Matches(order[node]);
    const uint32_t at = shownOf[node];
    if (at == kNil) {
        if (matches)
            Show(node);
    } else if (!matches) {
        Hide(node);
    } else if (sortColumn != kUnsorted) {
        Reposition(node);
    } else if (observer) {
        observer->Changed(static_cast<int>(shown.PlaceOf(at)), kTitle, kColumns - 1);
    }
}

// Whether the row of `node` stands above the row of `other`, whose unsorted place is given.
// Equal values keep the unsorted order.
bool PageRows::Before(uint32_t node, uint32_t other, uint32_t otherPlace) const {
    if (sortColumn != kUnsorted) {
        const int compared = Compare(keys[node], keys[other]);
        if (compared != 0)
            return descending ? compared > 0 : compared < 0;
    }
    return order.PlaceOf(node) < otherPlace;
}

// The node of `shown` directly below where the row of `node` belongs, or kNil for the end.
uint32_t PageRows::PlaceAmongShown(uint32_t node) const {
    const uint32_t place = order.PlaceOf(node);
    return shown.FirstNotBefore([&](uint32_t other) { return Before(rowOf[other], node, place); });
}

void PageRows::Show(uint32_t node) {
    const uint32_t below = PlaceAmongShown(node);
    if (observer)
        observer->BeforeInsert(
            static_cast<int>(below == kNil ? shown.Count() : shown.PlaceOf(below)));
    Forget();
    PutAbove(below, node);
    if (observer)
        observer->AfterInsert();
}

void PageRows::Hide(uint32_t node) {
    const uint32_t at = shownOf[node];
    if (observer)
        observer->BeforeRemove(static_cast<int>(shown.PlaceOf(at)));
    Forget();
    shown.Erase(at);
    shownOf[node] = kNil;
    if (observer)
        observer->AfterRemove();
}

// The row's value changed while sorted: it moves to its new place, told as one move so that
// a view keeps it selected.
void PageRows::Reposition(uint32_t node) {
    const uint32_t at = shownOf[node];
    const auto from = static_cast<int>(shown.PlaceOf(at));
    const uint32_t next = shown.Next(at);
    // The new place is found among the other rows; the row then goes back where it was, so
    // that the views are told of the move before the rows change.
    Forget();
    shown.Erase(at);
    const uint32_t below = PlaceAmongShown(node);
    const uint32_t to = below == kNil ? shown.Count() : shown.PlaceOf(below);
    PutAbove(next, node);
    if (below != next) {
        if (observer)
            observer->BeforeMove(from, static_cast<int>(to) >= from ? static_cast<int>(to) + 1
                                                                    : static_cast<int>(to));
        Forget();
        shown.Erase(shownOf[node]);
        PutAbove(below, node);
        if (observer)
            observer->AfterMove();
    }
    if (observer)
        observer->Changed(static_cast<int>(shown.PlaceOf(shownOf[node])), kTitle, kColumns - 1);
}

// Puts the row of `node` among those shown, directly above the node `below` of `shown`, or
// at the end when that is kNil.
void PageRows::PutAbove(uint32_t below, uint32_t node) {
    const uint32_t at = shown.New();
    if (rowOf.size() <= at)
        rowOf.resize(at + 1, kNil);
    rowOf[at] = node;
    shownOf[node] = at;
    if (below == kNil)
        shown.Append(at);
    else
        shown.InsertAbove(below, at);
}

// Shows the rows of `nodes` that match the filter, in the order given, sorted first when
// `sort` is set; unsorted and unfiltered, the unsorted order shows itself.
void PageRows::Arrange(std::vector<uint32_t> nodes, bool sort) {
    Forget();
    shown.Clear();
    shownOf.clear();
    rowOf.clear();
    if (!Arranged())
        return;
    if (!needle.empty())
        std::erase_if(nodes, [this](uint32_t node) { return !Matches(order[node]); });
    if (sort && sortColumn != kUnsorted) {
        // Stable: rows with equal values stay in the order given, the unsorted one.
        std::stable_sort(nodes.begin(), nodes.end(), [this](uint32_t first, uint32_t second) {
            const int compared = Compare(keys[first], keys[second]);
            return descending ? compared > 0 : compared < 0;
        });
    }
    shown.Assign(static_cast<uint32_t>(nodes.size()));
    shownOf.assign(order.Nodes(), kNil);
    for (uint32_t place = 0; place < nodes.size(); ++place)
        shownOf[nodes[place]] = place;
    rowOf = std::move(nodes);
}

std::vector<uint32_t> PageRows::AllInOrder() const {
    std::vector<uint32_t> nodes;
    nodes.reserve(order.Count());
    for (uint32_t node = order.At(0); node != kNil; node = order.Next(node))
        nodes.push_back(node);
    return nodes;
}

bool PageRows::Matches(const PageRow& row) const {
    if (needle.empty())
        return true;
    char number[16];
    const auto written = std::to_chars(number, number + sizeof number, row.visitor);
    const PageRecord& page = *row.page;
    return ContainsFolded(std::string_view(number, static_cast<size_t>(written.ptr - number)),
                          needle, fold) ||
           ContainsFolded(page.title, needle, fold) || ContainsFolded(page.url, needle, fold) ||
           ContainsFolded(page.referrer, needle, fold) ||
           ContainsFolded(page.ipAddress, needle, fold);
}

SortKey PageRows::KeyOf(const PageRow& row) const {
    const PageRecord& page = *row.page;
    const auto valueOr = [this](std::optional<double> value, const std::string& text) {
        return value ? SortKey{true, *value, {}} : SortKey{false, 0, Folded(text, fold)};
    };
    switch (sortColumn) {
    case kVisitor:
        return {true, static_cast<double>(row.visitor), {}};
    case kTitle:
        return {false, 0, Folded(page.title, fold)};
    case kUrl:
        return {false, 0, Folded(page.url, fold)};
    case kLoadTime:
        return valueOr(LoadTimeValue(page.loadTime), page.loadTime);
    case kReferrer:
        return {false, 0, Folded(page.referrer, fold)};
    case kElapsed:
        // Every row gains the same minutes at a tick: rows written later stay younger.
        return {true, -static_cast<double>(row.written), {}};
    case kIpAddress:
        return valueOr(Ipv4Value(page.ipAddress), page.ipAddress);
    default:
        return {};
    }
}

void PageRows::SetKey(uint32_t node) {
    if (keys.size() <= node)
        keys.resize(node + 1);
    keys[node] = KeyOf(order[node]);
}

} // namespace olvex
