#pragma once

#include <cstdint>

namespace olvex::schema {

// "Olvx": marks the file as ours, so that a stranger's database is never written into.
inline constexpr int64_t kApplicationId = 0x4f6c7678;

// A line's id is its conversation's id shifted left by this, plus its place in
// the conversation: a conversation's lines are one contiguous range, and a
// search finds the conversations from the index alone.
inline constexpr int kLineBits = 24;
inline constexpr int64_t kMaxLinesPerConversation = (int64_t{1} << kLineBits) - 1;

inline constexpr int64_t FirstLineId(int64_t conversation) {
    return conversation << kLineBits;
}
inline constexpr int64_t LastLineId(int64_t conversation) {
    return FirstLineId(conversation) | kMaxLinesPerConversation;
}

inline constexpr const char* kCreateVersion1 = R"sql(
CREATE TABLE conversations(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    call_id INTEGER NOT NULL,
    started INTEGER NOT NULL,
    ended INTEGER,
    operator TEXT NOT NULL,
    visitors TEXT NOT NULL DEFAULT '',
    operators TEXT NOT NULL DEFAULT '',
    lines INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE lines(
    id INTEGER PRIMARY KEY,
    time INTEGER NOT NULL,
    name TEXT NOT NULL,
    party INTEGER NOT NULL,
    kind INTEGER NOT NULL,
    text TEXT NOT NULL
);
CREATE VIRTUAL TABLE line_index USING fts5(
    name, text, content='lines', content_rowid='id',
    tokenize='unicode61 remove_diacritics 2', prefix='1 2 3'
);
CREATE TRIGGER lines_indexed AFTER INSERT ON lines BEGIN
    INSERT INTO line_index(rowid, name, text) VALUES (new.id, new.name, new.text);
END;
CREATE TRIGGER lines_unindexed AFTER DELETE ON lines BEGIN
    INSERT INTO line_index(line_index, rowid, name, text)
        VALUES ('delete', old.id, old.name, old.text);
END;
)sql";

} // namespace olvex::schema
