#pragma once

#include "keyed_list.h"
#include "records.h"

#include <utility>

namespace olvex {

class WireMessage;

// Reads the 7-field user entry that starts at `firstField`. Missing numbers
// read as -16, missing texts as empty.
UserRecord ReadUserEntry(const WireMessage& message, int firstField);

// The operators known to the server, in arrival order; one record per
// (userId, kind). Records handed out are never changed afterwards: a status
// change puts an updated copy in the list, so a reader on another thread
// never sees a record change under it. Lookups by (userId, kind) use an index.
class UserDirectory : public KeyedList<UserRecord> {
public:
    // Number of records with that status; -1 counts all.
    int32_t CountByStatus(int32_t status) const;
    // The record of (userId, kind), or null.
    Pointer Find(int32_t userId, int32_t kind) const;
    // The existing record of the entry's (userId, kind), or a new one made
    // from the entry and appended. Check and append happen under one lock.
    Pointer Add(const UserRecord& entry) { return Insert(entry).first; }
    // As Add; `second` is true when the record was created.
    std::pair<Pointer, bool> Insert(const UserRecord& entry);
    // Takes the record of (userId, kind) out of the list; null when absent.
    Pointer Remove(int32_t userId, int32_t kind);
    // Replaces the record of (userId, kind) by a copy with the new status and
    // returns the copy; null when absent.
    Pointer UpdateStatus(int32_t userId, int32_t kind, int32_t status);
    // Refills the list from the answer to kRequestUsers: count in field 2, then
    // 7 fields per entry from field 3. Repeated (userId, kind) pairs keep the
    // first entry. Returns the number of entries read.
    int32_t LoadFromMessage(const WireMessage& message);
};

} // namespace olvex
