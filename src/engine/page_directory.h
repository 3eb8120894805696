#pragma once

#include "keyed_list.h"
#include "records.h"

#include <utility>

namespace olvex {

class WireMessage;

// Reads the 8-field page entry that starts at `firstField`. Missing numbers
// read as -16, missing texts as empty.
PageRecord ReadPageEntry(const WireMessage& message, int firstField);

// The visitors' page views, in arrival order. Page ids are not required to
// be unique; lookups find the first match. Lookups by id use an index.
class PageDirectory : public KeyedList<PageRecord> {
public:
    // The first record with that page id, or null.
    Pointer FindById(int32_t pageId) const;
    // Appends a new record made from the entry; no duplicate check.
    Pointer Add(const PageRecord& entry);
    // Appends a new record unless one with the same page id exists; the check
    // and the append happen under one lock. Null when the id was present.
    Pointer AddIfAbsent(const PageRecord& entry);
    // Takes the first record with that page id out of the list; null when absent.
    Pointer Remove(int32_t pageId);
    // Refills the list from the answer to kRequestPages: count in field 2, then
    // 8 fields per entry from field 3. Returns the number of entries read.
    int32_t LoadFromMessage(const WireMessage& message);
};

} // namespace olvex
