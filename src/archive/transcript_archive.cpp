#include "transcript_archive.h"

#include "archive_schema.h"
#include "data_directory.h"
#include "sqlite_statement.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace olvex {

namespace {

namespace fs = std::filesystem;

struct Op {
    enum class Type { Begin, Line, Participant, End, Delete };
    Type type = Type::Line;
    uint64_t seq = 0;
    TranscriptArchive::Conversation conversation = 0;
    int32_t callId = 0;
    int64_t time = 0;
    std::string name;
    std::string text;
    PartyKind party = PartyKind::None;
    LineKind kind = LineKind::Text;
    int64_t target = 0;
    std::function<void(bool)> done;
};

// What the writer knows of a call it is writing.
struct OpenCall {
    int64_t rowid = 0; // 0: no row yet; -1: deleted meanwhile, nothing more is kept
    int64_t nextLine = 0;
    int32_t callId = 0;
    int64_t started = 0;
    int64_t ended = 0;
    std::string operatorName;
    std::vector<std::pair<std::string, PartyKind>> participants;
};

bool IsDamage(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Worth waiting for: another program holds the file, or the disk may be freed.
bool IsPassing(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_FULL;
}

std::string JoinNames(const std::vector<std::pair<std::string, PartyKind>>& people,
                      PartyKind kind) {
    std::string joined;
    for (const auto& [name, who] : people) {
        if (who != kind)
            continue;
        if (!joined.empty())
            joined += ", ";
        joined += name;
    }
    return joined;
}

// What an op holds in memory while it waits for the writer.
size_t Cost(const Op& op) {
    return sizeof(Op) + op.name.size() + op.text.size();
}

std::string Stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

} // namespace

struct TranscriptArchive::State {
    std::string path;
    Options options;

    std::mutex mutex;
    std::condition_variable wake;    // the writer: work or closing
    std::condition_variable written; // WaitWritten
    std::deque<Op> queue;
    uint64_t lastSeq = 0;
    uint64_t doneSeq = 0;
    Conversation lastConversation = 0;
    size_t waitingBytes = 0; // of the ops handed over and not yet finished
    bool closing = false;
    std::atomic<bool> closingFlag{false};
    bool disabled = false;
    bool overflowed = false; // more waited than maxWaitingBytes: the writer gives up
    bool reported = false;
    std::string failure;

    std::thread writer;

    // Writer thread only.
    sql::Database db;
    std::unordered_map<Conversation, OpenCall> open;
    bool setAsideOnce = false;
    std::string trouble; // why the lines wait, if they do

    uint64_t Enqueue(Op op);
    void Run();
    bool OpenDatabase();
    int Configure();
    int CreateSchema();
    int Prune();
    void SetAside();
    int Apply(std::deque<Op>& batch);
    int ApplyOne(Op& op);
    int EnsureRow(OpenCall& call);
    int UpdateNames(OpenCall& call);
    std::string Message(const char* what, int rc) const;
    void Report(const std::string& text);
    void Disable(const std::string& text);
    void Finish(std::deque<Op>& batch, bool committed);
};

std::string HistoryFilePath() {
    return product::DataDirectory() + "/history.sqlite";
}

int64_t ArchiveNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

namespace {

// Chats are private: the history and its -wal and -shm files are the operator's alone, in a
// folder only they can enter. Looser ones, left by older versions, are tightened; a folder
// shared by everybody (sticky, like /tmp) or someone else's is left alone.
void MakePrivate(const std::string& path) {
    const fs::path file(path);
    struct stat info {};
    if (file.has_parent_path()) {
        const std::string folder = file.parent_path().string();
        if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == ::geteuid() && !(info.st_mode & S_ISVTX) && (info.st_mode & 077))
            ::chmod(folder.c_str(), info.st_mode & 0700);
    }
    // Created private rather than tightened after SQLite made it: it gives its -wal and -shm
    // files the mode of the database. An empty file is an empty database to it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const std::string name = path + suffix;
        if (::lstat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid() && (info.st_mode & 077))
            ::chmod(name.c_str(), info.st_mode & 0600);
    }
}

} // namespace

// ---- the caller's side ------------------------------------------------------------

std::shared_ptr<TranscriptArchive> TranscriptArchive::Open(std::string path, Options options) {
    auto state = std::make_shared<State>();
    state->path = std::move(path);
    state->options = std::move(options);
    // At once, not when the first line is written: an old history readable by all is
    // tightened at start.
    MakePrivate(state->path);
    std::shared_ptr<TranscriptArchive> archive(new TranscriptArchive(state));
    try {
        state->writer = std::thread([state] { state->Run(); });
    } catch (const std::system_error&) {
        state->Disable("The chat history cannot be kept: no thread could be started for it.");
    }
    return archive;
}

TranscriptArchive::TranscriptArchive(std::shared_ptr<State> s) : state(std::move(s)) {}

TranscriptArchive::~TranscriptArchive() {
    {
        std::lock_guard lock(state->mutex);
        state->closing = true;
        state->closingFlag = true;
    }
    state->wake.notify_all();
    if (state->writer.joinable())
        state->writer.join();
}

TranscriptArchive::Conversation TranscriptArchive::Begin(int32_t callId, std::string operatorName,
                                                         int64_t startedMs) {
    Op op;
    op.type = Op::Type::Begin;
    op.callId = callId;
    op.time = startedMs;
    op.name = std::move(operatorName);
    {
        std::lock_guard lock(state->mutex);
        op.conversation = ++state->lastConversation;
    }
    const Conversation conversation = op.conversation;
    state->Enqueue(std::move(op));
    return conversation;
}

uint64_t TranscriptArchive::AddLine(Conversation conversation, ArchivedLine line) {
    if (conversation == 0)
        return 0;
    Op op;
    op.type = Op::Type::Line;
    op.conversation = conversation;
    op.time = line.time;
    op.name = std::move(line.name);
    op.party = line.party;
    op.kind = line.kind;
    op.text = std::move(line.text);
    return state->Enqueue(std::move(op));
}

void TranscriptArchive::AddParticipant(Conversation conversation, std::string name,
                                       PartyKind kind) {
    if (conversation == 0 || name.empty())
        return;
    Op op;
    op.type = Op::Type::Participant;
    op.conversation = conversation;
    op.name = std::move(name);
    op.party = kind;
    state->Enqueue(std::move(op));
}

void TranscriptArchive::End(Conversation conversation, int64_t endedMs) {
    if (conversation == 0)
        return;
    Op op;
    op.type = Op::Type::End;
    op.conversation = conversation;
    op.time = endedMs;
    state->Enqueue(std::move(op));
}

void TranscriptArchive::Delete(int64_t conversationId, std::function<void(bool)> done) {
    Op op;
    op.type = Op::Type::Delete;
    op.target = conversationId;
    op.done = std::move(done);
    state->Enqueue(std::move(op));
}

bool TranscriptArchive::WaitWritten(uint64_t ticket, std::chrono::milliseconds timeout) {
    std::unique_lock lock(state->mutex);
    state->written.wait_for(lock, timeout,
                            [&] { return state->doneSeq >= ticket || state->disabled; });
    return state->doneSeq >= ticket && !state->disabled;
}

bool TranscriptArchive::Flush(std::chrono::milliseconds timeout) {
    uint64_t last;
    {
        std::lock_guard lock(state->mutex);
        last = state->lastSeq;
    }
    return WaitWritten(last, timeout);
}

bool TranscriptArchive::Failed() const {
    std::lock_guard lock(state->mutex);
    return state->disabled;
}

std::string TranscriptArchive::FailureText() const {
    std::lock_guard lock(state->mutex);
    return state->failure;
}

const std::string& TranscriptArchive::Path() const {
    return state->path;
}

namespace {
std::mutex sessionMutex;
std::shared_ptr<TranscriptArchive> sessionArchive;
} // namespace

std::shared_ptr<TranscriptArchive> SessionArchive() {
    std::lock_guard lock(sessionMutex);
    return sessionArchive;
}

void SetSessionArchive(std::shared_ptr<TranscriptArchive> archive) {
    std::shared_ptr<TranscriptArchive> previous;
    {
        std::lock_guard lock(sessionMutex);
        previous = std::exchange(sessionArchive, std::move(archive));
    }
    // The previous one, if this was its last owner, closes here, outside the lock.
}

uint64_t TranscriptArchive::State::Enqueue(Op op) {
    const size_t cost = Cost(op);
    std::lock_guard lock(mutex);
    // Ops that report back always reach the writer, which answers them even when it
    // writes nothing more; the others are dropped here once writing has stopped.
    if (!op.done) {
        if (disabled || overflowed)
            return 0;
        if (waitingBytes + cost > options.maxWaitingBytes) {
            overflowed = true;
            wake.notify_one();
            return 0;
        }
    }
    waitingBytes += cost;
    op.seq = ++lastSeq;
    const uint64_t ticket = op.seq;
    queue.push_back(std::move(op));
    wake.notify_one();
    return ticket;
}

// ---- the writer ----------------------------------------------------------------------

std::string TranscriptArchive::State::Message(const char* what, int rc) const {
    std::string detail = db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc);
    if (detail.empty() || detail == "not an error")
        detail = sqlite3_errstr(rc);
    return std::string(what) + " (" + path + "): " + detail + ".";
}

void TranscriptArchive::State::Report(const std::string& text) {
    FailureHandler handler;
    {
        std::lock_guard lock(mutex);
        if (failure.empty())
            failure = text;
        if (reported)
            return;
        reported = true;
        handler = options.onFailure;
    }
    if (handler)
        handler(text);
}

void TranscriptArchive::State::Disable(const std::string& text) {
    const std::string told = text + " Chats go on without it.";
    // Told before Failed() says so.
    Report(told);
    {
        std::lock_guard lock(mutex);
        disabled = true;
        failure = told;
    }
    written.notify_all();
    db.reset();
}


bool TranscriptArchive::State::OpenDatabase() {
    std::error_code ec;
    const fs::path file(path);
    if (file.has_parent_path())
        fs::create_directories(file.parent_path(), ec);
    for (;;) {
        // Again after a damaged file was set aside: the new one is private too.
        MakePrivate(path);
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(path.c_str(), &raw,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        db.reset(raw);
        if (rc == SQLITE_OK)
            rc = Configure();
        if (rc == SQLITE_OK)
            return true;
        if (IsDamage(rc) && !setAsideOnce) {
            SetAside();
            if (!disabled)
                continue;
            return false;
        }
        Disable(Message("The chat history cannot be opened", rc));
        return false;
    }
}

int TranscriptArchive::State::Configure() {
    sqlite3* d = db.get();
    sqlite3_extended_result_codes(d, 1);
    sqlite3_busy_handler(
        d,
        [](void* data, int count) -> int {
            auto* s = static_cast<State*>(data);
            constexpr int kStepMs = 5;
            if (s->closingFlag || count * kStepMs >= s->options.busyTimeoutMs)
                return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
            return 1;
        },
        this);
    int rc = SQLITE_OK;
    const int64_t appId = sql::QueryInt(d, "PRAGMA application_id", 0, &rc);
    if (rc != SQLITE_OK)
        return rc;
    const int64_t version = sql::QueryInt(d, "PRAGMA user_version", 0, &rc);
    if (rc != SQLITE_OK)
        return rc;
    const int64_t objects = sql::QueryInt(d, "SELECT count(*) FROM sqlite_master", 0, &rc);
    if (rc != SQLITE_OK)
        return rc;
    // Someone else's database at our path is kept aside like a damaged one.
    if (appId != schema::kApplicationId && (appId != 0 || objects != 0))
        return SQLITE_NOTADB;
    if (version > kArchiveSchemaVersion) {
        Disable("The chat history (" + path +
                ") was written by a newer version of Olvex and is left as it is.");
        return SQLITE_OK;
    }
    if ((rc = sql::Exec(d, "PRAGMA journal_mode=WAL")) != SQLITE_OK)
        return rc;
    // Every commit reaches the disk before the next line is taken.
    if ((rc = sql::Exec(d, "PRAGMA synchronous=FULL")) != SQLITE_OK)
        return rc;
    if (version == 0 && (rc = CreateSchema()) != SQLITE_OK)
        return rc;
    return Prune();
}

int TranscriptArchive::State::CreateSchema() {
    sqlite3* d = db.get();
    int rc = sql::Exec(d, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return rc;
    // Another program may have created it while we waited for the lock.
    if (sql::QueryInt(d, "PRAGMA user_version", 0, &rc) == 0 && rc == SQLITE_OK) {
        rc = sql::Exec(d, schema::kCreateVersion1);
        if (rc == SQLITE_OK)
            rc = sql::Exec(d, ("PRAGMA application_id=" + std::to_string(schema::kApplicationId) +
                               "; PRAGMA user_version=" + std::to_string(kArchiveSchemaVersion))
                                  .c_str());
    }
    if (rc == SQLITE_OK)
        rc = sql::Exec(d, "COMMIT");
    if (rc != SQLITE_OK)
        sql::Exec(d, "ROLLBACK");
    return rc;
}

int TranscriptArchive::State::Prune() {
    if (options.historyDays <= 0)
        return SQLITE_OK;
    sqlite3* d = db.get();
    const int64_t cutoff = ArchiveNowMs() - int64_t{options.historyDays} * 86'400'000;
    int rc = sql::Exec(d, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return IsPassing(rc) ? SQLITE_OK : rc; // pruning waits for the next start
    std::vector<int64_t> old;
    sql::Statement find(d, "SELECT id FROM conversations WHERE coalesce(ended, started) < ?1");
    find.Bind(1, cutoff);
    while ((rc = find.Step()) == SQLITE_ROW)
        old.push_back(find.Int(0));
    find.Reset();
    if (rc == SQLITE_DONE)
        rc = SQLITE_OK;
    sql::Statement lines(d, "DELETE FROM lines WHERE id BETWEEN ?1 AND ?2");
    sql::Statement conversation(d, "DELETE FROM conversations WHERE id = ?1");
    for (size_t i = 0; i < old.size() && rc == SQLITE_OK; ++i) {
        rc = lines.Bind(1, schema::FirstLineId(old[i])).Bind(2, schema::LastLineId(old[i])).Run();
        if (rc == SQLITE_DONE)
            rc = conversation.Bind(1, old[i]).Run();
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    if (rc == SQLITE_OK)
        rc = sql::Exec(d, "COMMIT");
    if (rc != SQLITE_OK)
        sql::Exec(d, "ROLLBACK");
    return IsPassing(rc) ? SQLITE_OK : rc;
}

void TranscriptArchive::State::SetAside() {
    setAsideOnce = true;
    db.reset();
    std::string aside = path + ".damaged-" + Stamp();
    std::error_code ec;
    for (int n = 2; fs::exists(aside, ec); ++n)
        aside = path + ".damaged-" + Stamp() + "-" + std::to_string(n);
    fs::rename(path, aside, ec);
    if (ec) {
        Disable("The chat history (" + path + ") is damaged and could not be moved aside: " +
                ec.message() + ". It is left as it is.");
        return;
    }
    // The journal belongs to the damaged file and goes with it.
    for (const char* suffix : {"-wal", "-shm"}) {
        std::error_code ignored;
        if (fs::exists(path + suffix, ignored))
            fs::rename(path + suffix, aside + suffix, ignored);
    }
    Report("The chat history (" + path + ") was damaged. It was kept as " + aside +
           " and a new one was started.");
}

int TranscriptArchive::State::EnsureRow(OpenCall& call) {
    if (call.rowid != 0)
        return SQLITE_OK;
    sql::Statement insert(db.get(), "INSERT INTO conversations(call_id, started, ended, operator, "
                                    "visitors, operators) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    insert.Bind(1, int64_t{call.callId}).Bind(2, call.started);
    if (call.ended)
        insert.Bind(3, call.ended);
    insert.Bind(4, call.operatorName)
        .Bind(5, JoinNames(call.participants, PartyKind::Visitor))
        .Bind(6, JoinNames(call.participants, PartyKind::Operator));
    const int rc = insert.Run();
    if (rc != SQLITE_DONE)
        return rc;
    call.rowid = sqlite3_last_insert_rowid(db.get());
    call.nextLine = 0;
    return SQLITE_OK;
}

int TranscriptArchive::State::UpdateNames(OpenCall& call) {
    sql::Statement update(db.get(),
                          "UPDATE conversations SET visitors = ?1, operators = ?2 WHERE id = ?3");
    const int rc = update.Bind(1, JoinNames(call.participants, PartyKind::Visitor))
                       .Bind(2, JoinNames(call.participants, PartyKind::Operator))
                       .Bind(3, call.rowid)
                       .Run();
    if (rc == SQLITE_DONE && sqlite3_changes(db.get()) == 0)
        call.rowid = -1;
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int TranscriptArchive::State::ApplyOne(Op& op) {
    sqlite3* d = db.get();
    if (op.type == Op::Type::Begin) {
        OpenCall& call = open[op.conversation];
        call.callId = op.callId;
        call.started = op.time;
        call.operatorName = op.name;
        return SQLITE_OK;
    }
    if (op.type == Op::Type::Delete) {
        for (auto& [id, call] : open) {
            if (call.rowid == op.target)
                call.rowid = -1;
        }
        sql::Statement lines(d, "DELETE FROM lines WHERE id BETWEEN ?1 AND ?2");
        int rc = lines.Bind(1, schema::FirstLineId(op.target))
                     .Bind(2, schema::LastLineId(op.target))
                     .Run();
        if (rc != SQLITE_DONE)
            return rc;
        sql::Statement conversation(d, "DELETE FROM conversations WHERE id = ?1");
        rc = conversation.Bind(1, op.target).Run();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    auto found = open.find(op.conversation);
    if (found == open.end())
        return SQLITE_OK;
    OpenCall& call = found->second;
    if (call.rowid < 0)
        return SQLITE_OK;

    switch (op.type) {
    case Op::Type::Participant: {
        const auto person = std::make_pair(op.name, op.party);
        if (std::find(call.participants.begin(), call.participants.end(), person) !=
            call.participants.end())
            return SQLITE_OK;
        call.participants.push_back(person);
        return call.rowid > 0 ? UpdateNames(call) : SQLITE_OK;
    }
    case Op::Type::End: {
        call.ended = op.time;
        int rc = SQLITE_OK;
        if (call.rowid > 0) {
            sql::Statement update(d, "UPDATE conversations SET ended = ?1 WHERE id = ?2");
            rc = update.Bind(1, op.time).Bind(2, call.rowid).Run();
            rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
        }
        if (rc == SQLITE_OK)
            open.erase(found);
        return rc;
    }
    case Op::Type::Line: {
        int rc = EnsureRow(call);
        if (rc != SQLITE_OK)
            return rc;
        if (call.nextLine > schema::kMaxLinesPerConversation)
            return SQLITE_OK;
        sql::Statement count(d, "UPDATE conversations SET lines = lines + 1 WHERE id = ?1");
        rc = count.Bind(1, call.rowid).Run();
        if (rc != SQLITE_DONE)
            return rc;
        if (sqlite3_changes(d) == 0) { // deleted from the History window meanwhile
            call.rowid = -1;
            return SQLITE_OK;
        }
        sql::Statement insert(
            d, "INSERT INTO lines(id, time, name, party, kind, text) VALUES (?1,?2,?3,?4,?5,?6)");
        rc = insert.Bind(1, schema::FirstLineId(call.rowid) + call.nextLine)
                 .Bind(2, op.time)
                 .Bind(3, op.name)
                 .Bind(4, static_cast<int64_t>(op.party))
                 .Bind(5, static_cast<int64_t>(op.kind))
                 .Bind(6, op.text)
                 .Run();
        if (rc != SQLITE_DONE)
            return rc;
        ++call.nextLine;
        return SQLITE_OK;
    }
    default:
        return SQLITE_OK;
    }
}

int TranscriptArchive::State::Apply(std::deque<Op>& batch) {
    sqlite3* d = db.get();
    // Restored when the transaction does not commit, so a retry starts from the same place.
    const auto before = open;
    int rc = sql::Exec(d, "BEGIN IMMEDIATE");
    for (size_t i = 0; rc == SQLITE_OK && i < batch.size(); ++i)
        rc = ApplyOne(batch[i]);
    if (rc == SQLITE_OK)
        rc = sql::Exec(d, "COMMIT");
    if (rc != SQLITE_OK) {
        if (!sqlite3_get_autocommit(d))
            sql::Exec(d, "ROLLBACK");
        open = before;
    }
    return rc;
}

void TranscriptArchive::State::Finish(std::deque<Op>& batch, bool committed) {
    if (batch.empty())
        return;
    size_t cost = 0;
    for (const Op& op : batch)
        cost += Cost(op);
    // Answered before the waiters wake: whoever flushed may rely on the answers.
    for (Op& op : batch) {
        if (op.done)
            op.done(committed);
    }
    {
        std::lock_guard lock(mutex);
        doneSeq = std::max(doneSeq, batch.back().seq);
        waitingBytes -= cost;
    }
    written.notify_all();
    batch.clear();
}

void TranscriptArchive::State::Run() {
    if (!disabled)
        OpenDatabase();
    std::chrono::milliseconds pause(100);
    std::deque<Op> batch;
    for (;;) {
        std::deque<Op> fresh;
        bool giveUp = false;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] {
                return !queue.empty() || closing || !batch.empty() || (overflowed && !disabled);
            });
            if (queue.empty() && batch.empty() && !(overflowed && !disabled))
                break; // closing, and nothing left
            // Taken whole, so that the callers never wait while a long queue is moved.
            fresh.swap(queue);
            giveUp = overflowed && !disabled;
        }
        // Ops that came while a retry waited stay behind the ones before them.
        std::move(fresh.begin(), fresh.end(), std::back_inserter(batch));
        if (giveUp) {
            Disable((trouble.empty() ? "The chat history (" + path + ") fell behind." : trouble) +
                    " More lines waited for it than can be kept, and they were given up.");
            Finish(batch, false);
            continue;
        }
        if (!db) {
            Finish(batch, false);
            continue;
        }
        const int rc = Apply(batch);
        if (rc == SQLITE_OK) {
            pause = std::chrono::milliseconds(100);
            trouble.clear();
            Finish(batch, true);
            continue;
        }
        if (IsDamage(rc) && !setAsideOnce) {
            // The calls go on in a new file, each from its next line.
            SetAside();
            if (!disabled && OpenDatabase()) {
                for (auto& [id, call] : open) {
                    if (call.rowid > 0)
                        call.rowid = 0;
                }
                continue;
            }
            Finish(batch, false);
            continue;
        }
        if (IsPassing(rc)) {
            trouble = Message("The chat history cannot be written", rc);
            Report(trouble + " Chats go on; their lines wait for a later try, unless too many "
                             "pile up.");
            std::unique_lock lock(mutex);
            if (closing) {
                lock.unlock();
                Finish(batch, false);
                continue;
            }
            wake.wait_for(lock, pause, [&] { return closing || overflowed; });
            pause = std::min(pause * 2, std::chrono::milliseconds(5000));
            continue;
        }
        Disable(Message("The chat history cannot be written", rc));
        Finish(batch, false);
    }
    db.reset();
}

} // namespace olvex
