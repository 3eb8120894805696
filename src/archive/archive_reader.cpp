#include "archive_reader.h"

#include "archive_schema.h"
#include "sqlite_statement.h"

namespace olvex {

namespace {

constexpr const char* kSummaryColumns =
    "c.id, c.call_id, c.started, coalesce(c.ended, 0), c.operator, c.visitors, c.operators, "
    "c.lines";

ConversationSummary ReadSummary(const sql::Statement& row) {
    ConversationSummary summary;
    summary.id = row.Int(0);
    summary.callId = static_cast<int32_t>(row.Int(1));
    summary.started = row.Int(2);
    summary.ended = row.Int(3);
    summary.operatorName = row.Text(4);
    summary.visitors = row.Text(5);
    summary.operators = row.Text(6);
    summary.lineCount = row.Int(7);
    return summary;
}

bool IsWordByte(unsigned char c) {
    // Bytes of non-ASCII characters count: the index's tokenizer decides about them.
    return c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

struct ArchiveReader::Connection {
    sql::Database db;
    sql::Statement list;
    sql::Statement search;
    sql::Statement summary;
    sql::Statement lines;
    sql::Statement withVisitor;
};

ArchiveReader::ArchiveReader(std::string file) : path(std::move(file)) {
    Open();
}

void ArchiveReader::Open() {
    connection.reset();
    error.clear();
    sqlite3* raw = nullptr;
    // No create: a missing file is an empty history, not a new file.
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    sql::Database db(raw);
    if (rc != SQLITE_OK) {
        error = sqlite3_errstr(rc);
        return;
    }
    sqlite3_busy_timeout(db.get(), 1000);
    sql::Exec(db.get(), "PRAGMA query_only=1");
    auto c = std::make_unique<Connection>();
    c->list = sql::Statement(db.get(), std::string("SELECT ") + kSummaryColumns +
                                           " FROM conversations c ORDER BY c.id DESC");
    // Newest lines first, so the search can stop after the newest conversations.
    c->search = sql::Statement(
        db.get(), "SELECT rowid FROM line_index WHERE line_index MATCH ?1 ORDER BY rowid DESC");
    c->summary = sql::Statement(db.get(), std::string("SELECT ") + kSummaryColumns +
                                              " FROM conversations c WHERE c.id = ?1");
    c->lines = sql::Statement(db.get(), "SELECT time, name, party, kind, text FROM lines "
                                        "WHERE id BETWEEN ?1 AND ?2 ORDER BY id");
    // Visitors are kept joined by ", ": a name matches whole, between separators.
    c->withVisitor = sql::Statement(
        db.get(), std::string("SELECT ") + kSummaryColumns +
                      " FROM conversations c WHERE c.started < ?2 AND "
                      "instr(', ' || c.visitors || ', ', ', ' || ?1 || ', ') > 0 "
                      "ORDER BY c.id DESC");
    if (!c->list || !c->search || !c->summary || !c->lines || !c->withVisitor) {
        error = sqlite3_errmsg(db.get());
        return;
    }
    c->db = std::move(db);
    connection = std::move(c);
}

ArchiveReader::~ArchiveReader() = default;

// A damaged file is set aside by the writer, which goes on in a new one at the same
// path: follow it, or the old file's ids would be shown and deleted in the new one.
void ArchiveReader::FollowFile() {
    int moved = 0;
    if (connection &&
        sqlite3_file_control(connection->db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) ==
            SQLITE_OK &&
        moved)
        Open();
}

bool ArchiveReader::IsOpen() const {
    return connection != nullptr;
}

std::vector<ConversationSummary> ArchiveReader::Conversations() {
    FollowFile();
    std::vector<ConversationSummary> result;
    if (!connection)
        return result;
    sql::Statement& list = connection->list;
    while (list.Step() == SQLITE_ROW)
        result.push_back(ReadSummary(list));
    list.Reset();
    return result;
}

std::vector<ConversationSummary> ArchiveReader::Search(std::string_view typed, size_t limit,
                                                       bool* more) {
    std::vector<ConversationSummary> result;
    if (more)
        *more = false;
    FollowFile();
    const std::string expression = SearchExpression(typed);
    if (!connection || expression.empty())
        return result;
    // A conversation's lines are one range of ids: the hits of one come together.
    std::vector<std::pair<int64_t, int64_t>> hits; // conversation, lines matching
    sql::Statement& search = connection->search;
    search.Bind(1, expression);
    while (search.Step() == SQLITE_ROW) {
        const int64_t conversation = search.Int(0) >> schema::kLineBits;
        if (!hits.empty() && hits.back().first == conversation) {
            ++hits.back().second;
            continue;
        }
        if (hits.size() == limit) {
            if (more)
                *more = true;
            break;
        }
        hits.emplace_back(conversation, 1);
    }
    search.Reset();
    sql::Statement& summary = connection->summary;
    for (const auto& [conversation, count] : hits) {
        summary.Bind(1, conversation);
        if (summary.Step() == SQLITE_ROW) {
            result.push_back(ReadSummary(summary));
            result.back().hits = count;
        }
        summary.Reset();
    }
    return result;
}

std::vector<ArchivedLine> ArchiveReader::Lines(int64_t conversationId) {
    FollowFile();
    std::vector<ArchivedLine> result;
    if (!connection)
        return result;
    sql::Statement& lines = connection->lines;
    lines.Bind(1, schema::FirstLineId(conversationId)).Bind(2, schema::LastLineId(conversationId));
    while (lines.Step() == SQLITE_ROW) {
        ArchivedLine line;
        line.time = lines.Int(0);
        line.name = lines.Text(1);
        line.party = static_cast<PartyKind>(lines.Int(2));
        line.kind = static_cast<LineKind>(lines.Int(3));
        line.text = lines.Text(4);
        result.push_back(std::move(line));
    }
    lines.Reset();
    return result;
}

std::string SearchExpression(std::string_view typed) {
    std::string expression;
    size_t i = 0;
    while (i < typed.size()) {
        while (i < typed.size() &&
               (typed[i] == ' ' || typed[i] == '\t' || typed[i] == '\n' || typed[i] == '\r'))
            ++i;
        const size_t start = i;
        while (i < typed.size() &&
               !(typed[i] == ' ' || typed[i] == '\t' || typed[i] == '\n' || typed[i] == '\r'))
            ++i;
        const std::string_view word = typed.substr(start, i - start);
        bool searchable = false;
        for (char c : word)
            searchable = searchable || IsWordByte(static_cast<unsigned char>(c));
        if (!searchable)
            continue;
        if (!expression.empty())
            expression += ' ';
        expression += '"';
        for (char c : word) {
            expression += c;
            if (c == '"')
                expression += '"';
        }
        expression += "\"*";
    }
    return expression;
}

std::vector<ConversationSummary> ArchiveReader::WithVisitor(const std::string& name,
                                                            int64_t beforeMs) {
    FollowFile();
    std::vector<ConversationSummary> result;
    if (!connection || name.empty())
        return result;
    sql::Statement& query = connection->withVisitor;
    query.Bind(1, name);
    query.Bind(2, beforeMs);
    while (query.Step() == SQLITE_ROW)
        result.push_back(ReadSummary(query));
    query.Reset();
    return result;
}

} // namespace olvex
