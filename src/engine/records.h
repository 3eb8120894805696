#pragma once

#include <cstdint>
#include <string>

namespace olvex {

// One operator known to the server, or one participant of a call.
// A user is identified by the pair (userId, kind). Texts are never absent:
// a missing field is an empty text.
struct UserRecord {
    int32_t userId = 0;
    int32_t auxNumber = 0; // supplied by the server, never interpreted
    int32_t kind = 0;      // protocol::kKindVisitor or kKindOperator
    int32_t status = 0;    // protocol::kStatusOnline, Busy or Away; 0 or less: not present
    std::string host;      // "Agent Host"; empty for participants who joined a call later
    std::string firstName; // for a visitor, the visitor's name
    std::string lastName;

    virtual ~UserRecord() = default;
};

// One page view of a visitor, identified by pageId.
struct PageRecord {
    int32_t pageId = 0;
    int32_t auxNumber = 0; // supplied by the server, never interpreted
    int32_t visitorNumber = 0;
    std::string url;
    std::string title;
    std::string referrer;
    std::string loadTime; // as the server formats it
    std::string ipAddress;
};

} // namespace olvex
