#pragma once

#include "archive_types.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

// Reads the history file for the History window, olvex-cli and tests, on the
// caller's thread. It never writes; the writer may go on meanwhile.
class ArchiveReader {
public:
    explicit ArchiveReader(std::string path);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // False when the file is missing or unreadable; Error() says why.
    bool IsOpen() const;
    const std::string& Error() const { return error; }

    // Every conversation, newest first.
    std::vector<ConversationSummary> Conversations();
    // Conversations with a line matching every word typed, each word also as the
    // start of a longer one; newest first. Case and accents do not count. At most
    // `limit` are returned; `more` tells whether others match too.
    static constexpr size_t kSearchLimit = 1000;
    std::vector<ConversationSummary> Search(std::string_view typed, size_t limit = kSearchLimit,
                                            bool* more = nullptr);
    std::vector<ArchivedLine> Lines(int64_t conversationId);
    // Conversations that started before `beforeMs` with a visitor of exactly that name among
    // their visitors; newest first.
    std::vector<ConversationSummary> WithVisitor(const std::string& name, int64_t beforeMs);

private:
    void Open();
    void FollowFile();

    struct Connection;
    std::string path;
    std::unique_ptr<Connection> connection;
    std::string error;
};

// The full-text query for what the operator typed: every word quoted (so that no
// character of it is taken as query syntax) and matched as a prefix. Empty when
// nothing searchable was typed.
std::string SearchExpression(std::string_view typed);

} // namespace olvex
