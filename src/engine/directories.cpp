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
    return WithLock([status](const auto& items) {
        if (status == -1)
            return static_cast<int32_t>(items.size());
        return static_cast<int32_t>(std::count_if(
            items.begin(), items.end(), [status](const auto& u) { return u->status == status; }));
    });
}

UserDirectory::Pointer UserDirectory::Find(int32_t userId, int32_t kind) const {
    return WithLock([&](const auto& items) -> Pointer {
        for (const auto& user : items) {
            if (user->userId == userId && user->kind == kind)
                return user;
        }
        return nullptr;
    });
}

std::pair<UserDirectory::Pointer, bool> UserDirectory::Insert(const UserRecord& entry) {
    return WithLock([&](auto& items) -> std::pair<Pointer, bool> {
        for (const auto& user : items) {
            if (user->userId == entry.userId && user->kind == entry.kind)
                return {user, false};
        }
        auto user = std::make_shared<UserRecord>(entry);
        items.push_back(user);
        return {user, true};
    });
}

UserDirectory::Pointer UserDirectory::Remove(int32_t userId, int32_t kind) {
    return WithLock([&](auto& items) -> Pointer {
        for (auto it = items.begin(); it != items.end(); ++it) {
            if ((*it)->userId == userId && (*it)->kind == kind) {
                Pointer user = std::move(*it);
                items.erase(it);
                return user;
            }
        }
        return nullptr;
    });
}

UserDirectory::Pointer UserDirectory::UpdateStatus(int32_t userId, int32_t kind, int32_t status) {
    return WithLock([&](auto& items) -> Pointer {
        for (auto& user : items) {
            if (user->userId == userId && user->kind == kind) {
                auto updated = std::make_shared<UserRecord>(*user);
                updated->status = status;
                user = updated;
                return updated;
            }
        }
        return nullptr;
    });
}

int32_t UserDirectory::LoadFromMessage(const WireMessage& message) {
    // Built aside and swapped in, so readers see the old list or the new one,
    // never half of it.
    const int32_t count = EntryCount(message, kUserEntryFields);
    std::deque<Pointer> fresh;
    std::unordered_set<uint64_t> seen;
    seen.reserve(size_t(count));
    for (int32_t k = 0; k < count; ++k) {
        UserRecord entry = ReadUserEntry(message, kFirstEntryField + kUserEntryFields * k);
        if (seen.insert(UserKey(entry.userId, entry.kind)).second)
            fresh.push_back(std::make_shared<UserRecord>(std::move(entry)));
    }
    ReplaceAll(std::move(fresh));
    return count;
}

PageDirectory::Pointer PageDirectory::FindById(int32_t pageId) const {
    return WithLock([pageId](const auto& items) -> Pointer {
        for (const auto& page : items) {
            if (page->pageId == pageId)
                return page;
        }
        return nullptr;
    });
}

PageDirectory::Pointer PageDirectory::Add(const PageRecord& entry) {
    auto page = std::make_shared<PageRecord>(entry);
    PushBack(page);
    return page;
}

PageDirectory::Pointer PageDirectory::AddIfAbsent(const PageRecord& entry) {
    auto page = std::make_shared<PageRecord>(entry);
    return WithLock([&](auto& items) -> Pointer {
        for (const auto& existing : items) {
            if (existing->pageId == entry.pageId)
                return nullptr;
        }
        items.push_back(page);
        return page;
    });
}

PageDirectory::Pointer PageDirectory::Remove(int32_t pageId) {
    return WithLock([pageId](auto& items) -> Pointer {
        for (auto it = items.begin(); it != items.end(); ++it) {
            if ((*it)->pageId == pageId) {
                Pointer page = std::move(*it);
                items.erase(it);
                return page;
            }
        }
        return nullptr;
    });
}

int32_t PageDirectory::LoadFromMessage(const WireMessage& message) {
    const int32_t count = EntryCount(message, kPageEntryFields);
    std::deque<Pointer> fresh;
    for (int32_t k = 0; k < count; ++k)
        fresh.push_back(std::make_shared<PageRecord>(
            ReadPageEntry(message, kFirstEntryField + kPageEntryFields * k)));
    ReplaceAll(std::move(fresh));
    return count;
}

} // namespace olvex
