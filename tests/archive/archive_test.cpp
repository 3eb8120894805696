#include "archive_reader.h"
#include "call_recorder.h"
#include "sqlite_statement.h"
#include "transcript_archive.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace olvex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// While `full` is set every write fails as it does on a full disk: a file system
// over the usual one, made the default for as long as it lives.
class FullDisk {
public:
    FullDisk() : base(sqlite3_vfs_find(nullptr)), vfs(*base) {
        current = this;
        vfs.zName = "olvex-full-disk";
        vfs.xOpen = Open;
        sqlite3_vfs_register(&vfs, 1);
    }
    ~FullDisk() { sqlite3_vfs_unregister(&vfs); }
    std::atomic<bool> full{false};

private:
    // First member: a file's methods lead back to the plain ones.
    struct Wrapped {
        sqlite3_io_methods methods;
        const sqlite3_io_methods* plain;
    };
    static int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out) {
        FullDisk& self = *current;
        const int rc = self.base->xOpen(self.base, name, file, flags, out);
        if (rc != SQLITE_OK || !file->pMethods)
            return rc;
        std::lock_guard lock(self.mutex);
        auto found = std::find_if(self.wrapped.begin(), self.wrapped.end(),
                                  [&](const auto& w) { return w->plain == file->pMethods; });
        if (found == self.wrapped.end()) {
            auto w = std::make_unique<Wrapped>(Wrapped{*file->pMethods, file->pMethods});
            w->methods.xWrite = [](sqlite3_file* f, const void* data, int size, sqlite3_int64 at) {
                const auto* plain = reinterpret_cast<const Wrapped*>(f->pMethods)->plain;
                return current->full ? SQLITE_FULL : plain->xWrite(f, data, size, at);
            };
            found = self.wrapped.insert(found, std::move(w));
        }
        file->pMethods = &(*found)->methods;
        return rc;
    }
    static inline FullDisk* current = nullptr;
    sqlite3_vfs* base;
    sqlite3_vfs vfs;
    std::mutex mutex;
    std::vector<std::unique_ptr<Wrapped>> wrapped;
};

// Holds the file's write lock, as another program writing to it would.
class Locker {
public:
    explicit Locker(const std::string& path) {
        sqlite3_open(path.c_str(), &db);
        locked = sql::Exec(db, "BEGIN EXCLUSIVE") == SQLITE_OK;
    }
    ~Locker() { sqlite3_close(db); }
    void Release() { sql::Exec(db, "COMMIT"); }
    bool locked = false;

private:
    sqlite3* db = nullptr;
};

template <typename Condition> bool Eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/olvex-archive-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        path = (dir / "Olvex" / "history.sqlite").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }

    std::shared_ptr<TranscriptArchive> OpenArchive(TranscriptArchive::Options options = {}) {
        options.onFailure = [this](const std::string& text) {
            failureText = text;
            ++failures;
        };
        return TranscriptArchive::Open(path, options);
    }

    static std::string ReadFile(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    // The texts of the lines of the one conversation, and whether the file is sound.
    std::vector<std::string> Stored() {
        std::vector<std::string> texts;
        ArchiveReader reader(path);
        const auto conversations = reader.Conversations();
        EXPECT_EQ(conversations.size(), 1u);
        if (!conversations.empty()) {
            for (const auto& line : reader.Lines(conversations[0].id))
                texts.push_back(line.text);
        }
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sql::Statement check(db, "PRAGMA integrity_check");
        EXPECT_EQ(check.Step(), SQLITE_ROW);
        EXPECT_EQ(check.Text(0), "ok");
        check = {};
        sqlite3_close(db);
        return texts;
    }

    fs::path dir;
    std::string path;
    std::atomic<int> failures{0};
    std::string failureText;
};

TEST_F(ArchiveTest, ACallReadsBackExactlyAsShown) {
    {
        auto archive = OpenArchive();
        CallRecorder call(archive, 77, "demo", [] { return int64_t{1'700'000'000'000}; });
        call.Participant("Zoë", 1);
        call.Participant("Alice Smith", 2);
        call.Line(LineKind::Text, "demo", true, "Hello, how may I help?");
        call.Line(LineKind::Event, "", false, "Zoë has joined this call");
        call.Line(LineKind::Text, "Zoë", false, "<b>Grüße</b> & 你好 'quoted'");
        call.Line(LineKind::Text, "alice", false, "I'll take over");
        call.Line(LineKind::Link, "demo", true, "http://shop.example/a?b=1&c=2");
        call.Line(LineKind::Push, "", false, "The http://x.example URL was pushed to the visitor.");
        call.Line(LineKind::Notice, "", false, "Zoë has left the chat.");
        call.End();
        ASSERT_TRUE(archive->Flush(5s));
        EXPECT_FALSE(archive->Failed());
    }
    ArchiveReader reader(path);
    ASSERT_TRUE(reader.IsOpen()) << reader.Error();
    const auto conversations = reader.Conversations();
    ASSERT_EQ(conversations.size(), 1u);
    const ConversationSummary& c = conversations[0];
    EXPECT_EQ(c.callId, 77);
    EXPECT_EQ(c.operatorName, "demo");
    EXPECT_EQ(c.visitors, "Zoë");
    EXPECT_EQ(c.operators, "Alice Smith");
    EXPECT_EQ(c.lineCount, 7);
    EXPECT_EQ(c.started, 1'700'000'000'000);
    EXPECT_EQ(c.ended, 1'700'000'000'000);

    const auto lines = reader.Lines(c.id);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].party, PartyKind::Own);
    EXPECT_EQ(lines[1].kind, LineKind::Event);
    EXPECT_EQ(lines[1].party, PartyKind::None);
    EXPECT_EQ(lines[2].name, "Zoë");
    EXPECT_EQ(lines[2].party, PartyKind::Visitor);
    EXPECT_EQ(lines[2].text, "<b>Grüße</b> & 你好 'quoted'");
    EXPECT_EQ(lines[3].party, PartyKind::Operator);
    EXPECT_EQ(lines[4].kind, LineKind::Link);
    EXPECT_EQ(lines[4].text, "http://shop.example/a?b=1&c=2");
    EXPECT_EQ(lines[5].kind, LineKind::Push);
    EXPECT_EQ(lines[6].kind, LineKind::Notice);
}

// Every chat of the machine's other users stays unreadable to them: a new history and its
// -wal and -shm files are 0600 in a 0700 folder, and looser ones from before are tightened.
TEST_F(ArchiveTest, TheHistoryIsTheOperatorsAlone) {
    auto modeOf = [](const fs::path& file) {
        struct stat info {};
        return ::stat(file.c_str(), &info) == 0 ? int(info.st_mode & 07777) : -1;
    };
    const fs::path folder = fs::path(path).parent_path();
    const mode_t oldMask = ::umask(022);
    {
        auto archive = OpenArchive();
        CallRecorder call(archive, 5, "demo");
        call.Line(LineKind::Text, "Ann", false, "private");
        ASSERT_TRUE(archive->Flush(5s));
        EXPECT_EQ(modeOf(folder), 0700);
        for (const char* suffix : {"", "-wal", "-shm"})
            EXPECT_EQ(modeOf(path + suffix), 0600) << suffix;
    }
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    ::chmod(path.c_str(), 0644);
    std::ofstream(path + "-wal", std::ios::app).flush();
    ::chmod((path + "-wal").c_str(), 0666);
    auto archive = OpenArchive();
    ASSERT_TRUE(archive->Flush(5s));
    ::umask(oldMask);
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(modeOf(path + "-wal"), 0600);
    EXPECT_EQ(Stored(), std::vector<std::string>{"private"});
}

TEST_F(ArchiveTest, SearchMatchesPrefixesAccentsAndCaseNewestFirst) {
    {
        auto archive = OpenArchive();
        CallRecorder older(archive, 1, "demo");
        older.Line(LineKind::Text, "Zoë", false, "Meine Bestellung ist nicht angekommen");
        older.Line(LineKind::Text, "demo", true, "Welche Bestellnummer?");
        older.End();
        CallRecorder newer(archive, 2, "demo");
        newer.Line(LineKind::Text, "Jürgen", false, "Où est ma commande? 注文");
        newer.Line(LineKind::Text, "Jürgen", false, "order \"42\" * AND - NEAR(");
        newer.End();
        ASSERT_TRUE(archive->Flush(5s));
    }
    ArchiveReader reader(path);
    auto ids = [&](std::string_view typed) {
        std::vector<int32_t> calls;
        for (const auto& c : reader.Search(typed))
            calls.push_back(c.callId);
        return calls;
    };
    EXPECT_EQ(ids("bestell"), (std::vector<int32_t>{1}));
    EXPECT_EQ(reader.Search("bestell")[0].hits, 2);
    EXPECT_EQ(ids("BESTELLUNG nicht"), (std::vector<int32_t>{1}));
    EXPECT_EQ(ids("bestellung commande"), (std::vector<int32_t>{}));
    EXPECT_EQ(ids("ou est"), (std::vector<int32_t>{2})); // accents do not count
    EXPECT_EQ(ids("jurg"), (std::vector<int32_t>{2}));   // names are searched too
    EXPECT_EQ(ids("注"), (std::vector<int32_t>{2}));     // non-Latin prefix
    EXPECT_EQ(ids("zoë"), (std::vector<int32_t>{1}));
    EXPECT_EQ(ids("\"42\" NEAR( *"), (std::vector<int32_t>{2})); // query syntax is just text
    EXPECT_EQ(ids("n"), (std::vector<int32_t>{2, 1}));
    EXPECT_TRUE(ids("  * - ").empty());

    // Only the newest are listed once more match than asked for.
    bool more = false;
    const auto newest = reader.Search("n", 1, &more);
    ASSERT_EQ(newest.size(), 1u);
    EXPECT_EQ(newest[0].callId, 2);
    EXPECT_EQ(newest[0].hits, 1);
    EXPECT_TRUE(more);
    reader.Search("n", 2, &more);
    EXPECT_FALSE(more);
}

TEST_F(ArchiveTest, PruningAndDeleteRemoveWholeConversations) {
    const int64_t now = ArchiveNowMs();
    const int64_t day = 86'400'000;
    {
        auto archive = OpenArchive();
        int64_t at = now - 40 * day;
        CallRecorder old(archive, 1, "demo", [&] { return at; });
        old.Line(LineKind::Text, "Ann", false, "ancient words");
        old.End();
        at = now - 2 * day;
        CallRecorder recent(archive, 2, "demo", [&] { return at; });
        recent.Line(LineKind::Text, "Bob", false, "recent words");
        recent.End();
        ASSERT_TRUE(archive->Flush(5s));
    }
    {
        TranscriptArchive::Options options;
        options.historyDays = 30;
        auto archive = OpenArchive(options);
        ASSERT_TRUE(archive->Flush(5s));
    }
    {
        ArchiveReader reader(path);
        const auto left = reader.Conversations();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(left[0].callId, 2);
        EXPECT_TRUE(reader.Search("ancient").empty());
    }

    // A conversation deleted while its call still runs stays deleted.
    auto archive = OpenArchive();
    CallRecorder running(archive, 3, "demo");
    running.Line(LineKind::Text, "Cy", false, "first");
    ASSERT_TRUE(archive->Flush(5s));
    ArchiveReader reader(path);
    const int64_t id = reader.Conversations().at(0).id;
    std::atomic<bool> deleted{false};
    archive->Delete(id, [&](bool ok) {
        // A slow answer must still be in before the flush returns.
        std::this_thread::sleep_for(20ms);
        deleted = ok;
    });
    running.Line(LineKind::Text, "Cy", false, "second");
    ASSERT_TRUE(archive->Flush(5s));
    EXPECT_TRUE(deleted);
    EXPECT_EQ(reader.Conversations().size(), 1u);
    EXPECT_TRUE(reader.Lines(id).empty());
    EXPECT_TRUE(reader.Search("second").empty());
}

TEST_F(ArchiveTest, DamagedFileIsKeptAsideAndANewOneStarted) {
    fs::create_directories(fs::path(path).parent_path());
    const std::string garbage(8192, '\x5a');
    std::ofstream(path, std::ios::binary) << garbage;
    {
        auto archive = OpenArchive();
        CallRecorder call(archive, 5, "demo");
        call.Line(LineKind::Text, "Ann", false, "still archived");
        ASSERT_TRUE(archive->Flush(5s));
        EXPECT_FALSE(archive->Failed());
    }
    EXPECT_EQ(failures, 1);
    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path())) {
        if (entry.path().filename().string().rfind("history.sqlite.damaged-", 0) == 0)
            aside.push_back(entry.path());
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFile(aside[0]), garbage);
    EXPECT_NE(failureText.find(aside[0].string()), std::string::npos);
    ArchiveReader reader(path);
    EXPECT_EQ(reader.Search("still").size(), 1u);

    // Found damaged mid-session: the call goes on in a new file, which a reader opened
    // on the old one follows.
    auto archive = OpenArchive();
    CallRecorder call(archive, 6, "demo");
    call.Line(LineKind::Text, "Ann", false, "first half");
    ASSERT_TRUE(archive->Flush(5s));
    EXPECT_EQ(reader.Search("first").size(), 1u);
    sqlite3* other = nullptr;
    sqlite3_open(path.c_str(), &other);
    ASSERT_EQ(sql::Exec(other, "PRAGMA writable_schema=ON; UPDATE sqlite_master SET rootpage = "
                               "99999 WHERE name = 'lines'; PRAGMA schema_version = 1000"),
              SQLITE_OK);
    sqlite3_close(other);
    call.Line(LineKind::Text, "Ann", false, "second half");
    ASSERT_TRUE(archive->Flush(5s));
    EXPECT_FALSE(archive->Failed());
    EXPECT_EQ(failures, 2);
    const auto now = reader.Conversations();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].callId, 6);
    ASSERT_EQ(reader.Lines(now[0].id).size(), 1u);
    EXPECT_EQ(reader.Lines(now[0].id)[0].text, "second half");
}

// Root writes anywhere: the folder is made read-only for an unprivileged child instead.
TEST_F(ArchiveTest, ReadOnlyFolderFailsOnceAndNeverHoldsTheCallerUp) {
    fs::create_directories(fs::path(path).parent_path());
    fs::permissions(fs::path(path).parent_path(),
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dir, fs::perms::all);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        auto archive = OpenArchive();
        CallRecorder call(archive, 9, "demo");
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 100; ++i)
            call.Line(LineKind::Text, "Ann", false, "line " + std::to_string(i));
        if (std::chrono::steady_clock::now() - start > 50ms)
            ::_exit(11);
        archive->Flush(5s);
        if (!archive->Failed())
            ::_exit(12);
        call.Line(LineKind::Text, "Ann", false, "after the failure");
        archive->Flush(1s);
        ::_exit(failures == 1 ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(path));
}

// A lock held by another program and a full disk both pass: meanwhile the chat goes on
// unhindered, the operator hears of it once, and every line lands once it is over.
TEST_F(ArchiveTest, LinesWaitOutALockOrAFullDiskAndAllLand) {
    for (const bool lock : {true, false}) {
        SCOPED_TRACE(lock ? "locked" : "disk full");
        fs::remove_all(dir / "Olvex");
        failures = 0;
        FullDisk disk;
        TranscriptArchive::Options options;
        options.busyTimeoutMs = 20;
        auto archive = OpenArchive(options);
        CallRecorder call(archive, 3, "demo");
        call.Line(LineKind::Text, "Ann", false, "before");
        ASSERT_TRUE(archive->Flush(5s));

        std::optional<Locker> locker;
        if (lock) {
            locker.emplace(path);
            ASSERT_TRUE(locker->locked);
        } else {
            disk.full = true;
        }
        std::vector<std::string> expected{"before"};
        const auto start = std::chrono::steady_clock::now();
        uint64_t last = 0;
        for (int i = 0; i < 50; ++i) {
            expected.push_back("waiting " + std::to_string(i));
            last = call.Line(LineKind::Text, "Ann", false, expected.back());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 50ms);
        ASSERT_TRUE(Eventually([&] { return failures > 0; }));
        EXPECT_NE(failureText.find(lock ? "locked" : "full"), std::string::npos) << failureText;
        EXPECT_FALSE(archive->WaitWritten(last, 50ms));
        EXPECT_FALSE(archive->Failed());
        EXPECT_EQ(Stored(), std::vector<std::string>{"before"});

        if (lock)
            locker->Release();
        disk.full = false;
        expected.push_back("after");
        call.Line(LineKind::Text, "Ann", false, expected.back());
        ASSERT_TRUE(archive->Flush(5s));
        EXPECT_FALSE(archive->Failed());
        EXPECT_EQ(failures, 1);
        EXPECT_EQ(Stored(), expected);
    }
}

TEST_F(ArchiveTest, TooManyWaitingLinesStopTheArchiveForTheSession) {
    TranscriptArchive::Options options;
    options.busyTimeoutMs = 20;
    options.maxWaitingBytes = 64 << 10;
    auto archive = OpenArchive(options);
    CallRecorder call(archive, 4, "demo");
    call.Line(LineKind::Text, "Ann", false, "kept");
    ASSERT_TRUE(archive->Flush(5s));
    Locker locker(path);
    ASSERT_TRUE(locker.locked);
    const std::string text(1000, 'x');
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i)
        call.Line(LineKind::Text, "Ann", false, text);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 50ms);
    ASSERT_TRUE(Eventually([&] { return archive->Failed(); }));
    EXPECT_NE(archive->FailureText().find("given up"), std::string::npos);
    EXPECT_EQ(call.Line(LineKind::Text, "Ann", false, "later"), 0u);
    locker.Release();
    EXPECT_FALSE(archive->Flush(1s));
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(Stored(), std::vector<std::string>{"kept"});
}

TEST_F(ArchiveTest, EarlierChatsMatchTheWholeVisitorNameAndOnlyBeforeTheCall) {
    {
        auto archive = OpenArchive();
        auto call = [&](int32_t id, int64_t at, std::vector<std::string> visitors) {
            CallRecorder recorder(archive, id, "demo", [at] { return at; });
            for (std::string& name : visitors)
                recorder.Participant(std::move(name), 1);
            recorder.Line(LineKind::Text, "demo", true, "hello");
            recorder.End();
        };
        call(1, 1000, {"Bo", "Ann Lee"});
        call(2, 2000, {"Ann"});
        call(3, 3000, {"Ann Lee"});
        call(4, 4000, {"ann lee", "Ann Leeds", "Jo Ann Lee"});
        call(5, 9000, {"Ann Lee"}); // the call being opened
        ASSERT_TRUE(archive->Flush(5s));
    }
    ArchiveReader reader(path);
    auto ids = [&](const std::string& name) {
        std::vector<int32_t> calls;
        for (const auto& c : reader.WithVisitor(name, 5000))
            calls.push_back(c.callId);
        return calls;
    };
    EXPECT_EQ(ids("Ann Lee"), (std::vector<int32_t>{3, 1}));
    EXPECT_EQ(ids("Ann"), (std::vector<int32_t>{2}));
    EXPECT_TRUE(ids("%").empty());
    EXPECT_TRUE(ids("").empty());
    EXPECT_TRUE(ArchiveReader(path + ".missing").WithVisitor("Ann Lee", 5000).empty());
}

} // namespace
} // namespace olvex
