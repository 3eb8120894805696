#pragma once

#include "archive_types.h"
#include "transcript_archive.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace olvex {

// Keeps one call's transcript in the archive, line by line as it is shown.
// The conversation is opened with the first line or participant, so a call
// that never connected leaves nothing behind. Without an archive every step
// does nothing. Not thread-safe: one thread shows the call's lines.
class CallRecorder {
public:
    using Clock = std::function<int64_t()>; // milliseconds since the epoch

    CallRecorder(std::shared_ptr<TranscriptArchive> archive, int32_t callId,
                 std::string operatorName, Clock clock = ArchiveNowMs);
    // Ends the conversation if that has not happened yet.
    ~CallRecorder();
    CallRecorder(const CallRecorder&) = delete;
    CallRecorder& operator=(const CallRecorder&) = delete;

    // A line as shown: `own` for the operator's own lines, an empty name for events.
    // Returns the archive's ticket, 0 when nothing was archived.
    uint64_t Line(LineKind kind, std::string name, bool own, std::string text);
    // Someone in the call: kind 1 a visitor, 2 an operator.
    void Participant(std::string name, int32_t kind);
    void End();

    TranscriptArchive* Archive() const { return archive.get(); }

private:
    void BeginOnce();
    PartyKind SenderKind(const std::string& name, bool own) const;

    std::shared_ptr<TranscriptArchive> archive;
    const int32_t callId;
    const std::string operatorName;
    Clock clock;
    TranscriptArchive::Conversation conversation = 0;
    bool ended = false;
    std::vector<std::string> visitors;
};

} // namespace olvex
