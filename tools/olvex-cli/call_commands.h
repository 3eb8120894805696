#pragma once

#include "call_recorder.h"
#include "records.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace olvex {

class AgentClient;

// How olvex-cli writes: one JSON event per stdout line, errors on stderr.
struct CliOutput {
    void (*emit)(const nlohmann::ordered_json& event);
    void (*error)(const std::string& text);
    nlohmann::ordered_json (*withUser)(nlohmann::ordered_json event, const UserRecord& user);
};

// The call commands of olvex-cli: accept, say, typing, push, inviteop, hangup.
// Call events are printed with the call's id. Must outlive the engine, whose
// destruction still reports the calls it closes.
class CallCommands {
public:
    CallCommands(CliOutput output, std::string userName);
    void Attach(AgentClient& client) { client_ = &client; }
    // Keeps every call's lines there, as a call window shows them; a line received
    // is printed only once it is written.
    void SetArchive(std::shared_ptr<TranscriptArchive> archive) { archive_ = std::move(archive); }

    // Runs the command if `verb` is one of ours; false otherwise.
    bool Execute(std::string_view verb, std::string_view rest);

private:
    struct Context {
        CallCommands* owner;
        int32_t callId;
        std::unique_ptr<CallRecorder> recorder;
    };

    void Accept(int32_t callId);
    void QueueChatItem(int32_t callId, int32_t kind, const std::string* text);
    void Fail(std::string_view verb, int32_t result);
    // Archives a line of the call and waits until it is written; any thread.
    void Record(int32_t callId, LineKind kind, const std::string& name, bool own,
                const std::string& text);
    void RecordParticipants(Context& context, bool announce);
    void EndRecord(int32_t callId);
    // The start of an event line: its name, then the call's id.
    static nlohmann::ordered_json Event(const Context& context, const char* name);

    const CliOutput output_;
    const std::string userName_;
    AgentClient* client_ = nullptr;
    std::shared_ptr<TranscriptArchive> archive_;
    std::mutex mutex_;
    std::map<int32_t, std::unique_ptr<Context>> contexts_;
};

} // namespace olvex
