#pragma once

#include "call_recorder.h"
#include "records.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace olvex {

class AgentClient;

// How olvex-cli writes: one JSON event per stdout line, errors on stderr.
struct CliOutput {
    void (*emit)(const nlohmann::ordered_json& event);
    void (*error)(const std::string& text);
    nlohmann::ordered_json (*withUser)(nlohmann::ordered_json event, const UserRecord& user);
};

// The call commands of olvex-cli: accept, say, typing, push, inviteop, hangup.
// Call events are printed with the call's id. An accept connects on a thread
// of its own, so that the next command (a hangup, a quit) is read at once.
// Must outlive the engine, whose destruction still reports the calls it closes.
class CallCommands {
public:
    CallCommands(CliOutput output, std::string userName);
    void Attach(AgentClient& client) { client_ = &client; }
    // Keeps every call's lines there, as a call window shows them; a line received
    // is printed only once it is written.
    void SetArchive(std::shared_ptr<TranscriptArchive> archive) { archive_ = std::move(archive); }

    // Runs the command if `verb` is one of ours; false otherwise.
    bool Execute(std::string_view verb, std::string_view rest);
    // Before the engine goes: gives up the calls still connecting and waits for their accepts.
    void Shutdown();

private:
    struct Context {
        CallCommands* owner;
        int32_t callId;
        bool givenUp = false; // hung up or quit while connecting; under mutex_
        std::unique_ptr<CallRecorder> recorder;
    };

    void Accept(int32_t callId);
    void Connect(Context* context);
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
    // Every context lives as long as this object: a call's threads may still
    // hold one after its hangup.
    std::vector<std::unique_ptr<Context>> contexts_;
    std::map<int32_t, Context*> current_; // accepted or connecting calls by id
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Worker> accepts_;
    bool shuttingDown_ = false;
};

} // namespace olvex
