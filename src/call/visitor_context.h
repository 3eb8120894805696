#pragma once

#include "archive_types.h"
#include "records.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace olvex {

// Where the visitor of a call is on the site, as the page directory tells it: the page they
// are on now, and since when the window has seen them there. Plain data, fed by the window's
// timer.
class VisitorTrail {
public:
    // The visitor's page views as the directory holds them now, in arrival order: the last
    // is the page they are on. Returns whether what the panel shows has changed.
    bool Update(const std::vector<PageRecord>& pages, int64_t nowMs);

    // A page of the visitor has been seen.
    bool Known() const { return current.has_value(); }
    // The page they are on, or the last one seen once they have left.
    const std::optional<PageRecord>& Current() const { return current; }
    // Every page seen is gone from the directory: the visitor has left the site.
    bool Left() const { return left; }
    int64_t FirstSeenMs() const { return firstSeen; }
    // Pages seen so far, the current one included.
    int PagesSeen() const { return static_cast<int>(seen.size()); }

private:
    std::optional<PageRecord> current;
    std::vector<int32_t> seen; // page ids
    int64_t firstSeen = 0;
    bool left = false;
};

// The page as a link: the title (the address without one) over the address. Both are
// escaped, and only web addresses become links, so nothing from the network runs as markup.
QString PageLinkHtml(const std::string& url, const std::string& title);
// "under a minute", "12 min", "1 h 05 min".
QString DurationText(int64_t ms);

// "2 earlier chats, last on 2026-12-01"; empty without any.
QString EarlierChatsText(const std::vector<ConversationSummary>& earlier);

} // namespace olvex
