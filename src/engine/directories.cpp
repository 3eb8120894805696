#include "page_directory.h"
#include "user_directory.h"
#include "wire_message.h"

#include <algorithm>
#include <unordered_set>

namespace olvex {

namespace {

constexpr int kUserEntryFields = 7;
constexpr int kPageEntryFields = 8;
constexpr int kFirstEntryField = 3;

std::string Text(const WireMessage& message, int field) {
    return std::string(message.FieldView(field));
}

// The announced count, limited to the entries that at least begin inside the
// message: a hostile count must not make us invent millions of records.
int32_t EntryCount(const WireMessage& message, int fieldsPerEntry) {
    int32_t announced = message.GetInt(2);
    if (announced <= 0)
        return 0;
    int32_t fieldsLeft = message.FieldCount() - (kFirstEntryField - 1);
    if (fieldsLeft <= 0)
        return 0;
    int32_t present = (fieldsLeft + fieldsPerEntry - 1) / fieldsPerEntry;
    return std::min(announced, present);
}

uint64_t UserKey(int32_t userId, int32_t kind) {
    return (uint64_t(uint32_t(userId)) << 32) | uint32_t(kind);
}

uint64_t PageKey(int32_t pageId) {
    return uint32_t(pageId);
}

} // namespace

UserRecord ReadUserEntry(const WireMessage& message, int firstField) {
    UserRecord user;
    user.userId = message.GetInt(firstField);
    user.auxNumber = message.GetInt(firstField + 1);
    user.kind = message.GetInt(firstField + 2);
    user.status = message.GetInt(firstField + 3);
    user.host = Text(message, firstField + 4);
    user.firstName = Text(message, firstField + 5);
    user.lastName = Text(message, firstField + 6);
    return user;
}

PageRecord ReadPageEntry(const WireMessage& message, int firstField) {
    PageRecord page;
    page.pageId = message.GetInt(firstField);
    page.auxNumber = message.GetInt(firstField + 1);
    page.url = Text(message, firstField + 2);
    page.title = Text(message, firstField + 3);
    page.referrer = Text(message, firstField + 4);
    page.loadTime = Text(message, firstField + 5);
    page.ipAddress = Text(message, firstField + 6);
    page.visitorNumber = message.GetInt(firstField + 7);
    return page;
}

int32_t UserDirectory::CountByStatus(int32_t status) const {
    return Locked([&] {
        const auto& slots = SlotsLocked();
        if (status == -1)
            return static_cast<int32_t>(CountLocked());
        return static_cast<int32_t>(
            std::count_if(slots.begin(), slots.end(),
                          [status](const auto& u) { return u && u->status == status; }));
    });
}

UserDirectory::Pointer UserDirectory::Find(int32_t userId, int32_t kind) const {
    return Locked([&] { return FindLocked(UserKey(userId, kind)); });
}

std::pair<UserDirectory::Pointer, bool> UserDirectory::Insert(const UserRecord& entry) {
    auto user = std::make_shared<UserRecord>(entry);
    const Key key = UserKey(entry.userId, entry.kind);
    return Locked([&]() -> std::pair<Pointer, bool> {
        if (Pointer existing = FindLocked(key))
            return {existing, false};
        AppendLocked(key, user);
        return {user, true};
    });
}

UserDirectory::Pointer UserDirectory::Remove(int32_t userId, int32_t kind) {
    return Locked([&] { return RemoveLocked(UserKey(userId, kind)); });
}

UserDirectory::Pointer UserDirectory::UpdateStatus(int32_t userId, int32_t kind, int32_t status) {
    const Key key = UserKey(userId, kind);
    return Locked([&]() -> Pointer {
        Pointer user = FindLocked(key);
        if (!user)
            return nullptr;
        auto updated = std::make_shared<UserRecord>(*user);
        updated->status = status;
        ReplaceFirstLocked(key, updated);
        return updated;
    });
}

int32_t UserDirectory::LoadFromMessage(const WireMessage& message) {
    // Built aside and swapped in, so readers see the old list or the new one,
    // never half of it.
    const int32_t count = EntryCount(message, kUserEntryFields);
    std::vector<std::pair<Key, Pointer>> fresh;
    std::unordered_set<uint64_t> seen;
    seen.reserve(size_t(count));
    for (int32_t k = 0; k < count; ++k) {
        UserRecord entry = ReadUserEntry(message, kFirstEntryField + kUserEntryFields * k);
        const Key key = UserKey(entry.userId, entry.kind);
        if (seen.insert(key).second)
            fresh.emplace_back(key, std::make_shared<UserRecord>(std::move(entry)));
    }
    Replace(std::move(fresh));
    return count;
}

PageDirectory::Pointer PageDirectory::FindById(int32_t pageId) const {
    return Locked([&] { return FindLocked(PageKey(pageId)); });
}

PageDirectory::Pointer PageDirectory::Add(const PageRecord& entry) {
    auto page = std::make_shared<PageRecord>(entry);
    Locked([&] { AppendLocked(PageKey(entry.pageId), page); });
    return page;
}

PageDirectory::Pointer PageDirectory::AddIfAbsent(const PageRecord& entry) {
    auto page = std::make_shared<PageRecord>(entry);
    const Key key = PageKey(entry.pageId);
    return Locked([&]() -> Pointer {
        if (FindLocked(key))
            return nullptr;
        AppendLocked(key, page);
        return page;
    });
}

PageDirectory::Pointer PageDirectory::Remove(int32_t pageId) {
    return Locked([&] { return RemoveLocked(PageKey(pageId)); });
}

int32_t PageDirectory::LoadFromMessage(const WireMessage& message) {
    const int32_t count = EntryCount(message, kPageEntryFields);
    std::vector<std::pair<Key, Pointer>> fresh;
    fresh.reserve(size_t(count));
    for (int32_t k = 0; k < count; ++k) {
        auto page = std::make_shared<PageRecord>(
            ReadPageEntry(message, kFirstEntryField + kPageEntryFields * k));
        fresh.emplace_back(PageKey(page->pageId), std::move(page));
    }
    Replace(std::move(fresh));
    return count;
}

} // namespace olvex
