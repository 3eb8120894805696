#pragma once

#include "archive_types.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace olvex {

// Writes transcripts into the history file on a thread of its own. Every call
// returns at once: the caller's share is a copy into a queue. The writer
// commits what it finds queued as one transaction, right away, so a line is on
// disk a moment after it was handed over; a crash loses nothing committed.
//
// When the file cannot be used (locked, damaged, disk full, unwritable) the
// callers are never held up: lines wait for a retry while the trouble may pass
// (locked, full), otherwise they are dropped. Waiting lines are kept up to
// Options::maxWaitingBytes; beyond that writing is given up for the session.
// The first failure is reported once through Options::onFailure. A damaged file
// is renamed aside, never written over, and a new one is started in its place.
class TranscriptArchive {
public:
    using Conversation = uint64_t; // 0: none
    using FailureHandler = std::function<void(const std::string& text)>;

    struct Options {
        // Above 0: conversations older than this many days go when the file is opened.
        int32_t historyDays = 0;
        int busyTimeoutMs = 2000;
        // What may wait in memory for a locked file or a full disk. A line costs about
        // 250 bytes here, so 4 MiB hold some 16,000 lines: hours of a busy operator's
        // calls. Past it the archive stops for the session rather than grow.
        size_t maxWaitingBytes = size_t{4} << 20;
        // Called at most once, on the writer thread.
        FailureHandler onFailure;
    };

    // Opens or creates the file on the writer thread; returns at once.
    static std::shared_ptr<TranscriptArchive> Open(std::string path, Options options);
    // Writes what is still queued (without waiting out a lock) and joins the writer.
    ~TranscriptArchive();
    TranscriptArchive(const TranscriptArchive&) = delete;
    TranscriptArchive& operator=(const TranscriptArchive&) = delete;

    // A call; its row is written with its first line.
    Conversation Begin(int32_t callId, std::string operatorName, int64_t startedMs);
    // Returns a ticket for WaitWritten.
    uint64_t AddLine(Conversation conversation, ArchivedLine line);
    void AddParticipant(Conversation conversation, std::string name, PartyKind kind);
    void End(Conversation conversation, int64_t endedMs);
    // Removes a stored conversation and its lines; `done` runs on the writer thread.
    void Delete(int64_t conversationId, std::function<void(bool deleted)> done = {});

    // True once everything up to the ticket is committed; false on time-out or failure.
    bool WaitWritten(uint64_t ticket, std::chrono::milliseconds timeout);
    // WaitWritten for everything handed over so far.
    bool Flush(std::chrono::milliseconds timeout);

    // Whether writing has been given up for this session, and why.
    bool Failed() const;
    std::string FailureText() const;
    const std::string& Path() const;

    struct State;

private:
    explicit TranscriptArchive(std::shared_ptr<State> state);
    std::shared_ptr<State> state;
};

// The archive the call windows of this process write to; none unless set.
std::shared_ptr<TranscriptArchive> SessionArchive();
void SetSessionArchive(std::shared_ptr<TranscriptArchive> archive);

} // namespace olvex
