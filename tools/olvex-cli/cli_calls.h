#pragma once

#include "delivery_thread.h"
#include "records.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

class AgentClient;
class TranscriptArchive;

// How olvex-cli writes: one JSON event per stdout line, errors on stderr.
struct CliOutput {
    void (*emit)(const nlohmann::ordered_json& event);
    void (*error)(const std::string& text);
    nlohmann::ordered_json (*withUser)(nlohmann::ordered_json event, const UserRecord& user);
};

// The call commands of olvex-cli: accept, say, typing, push, inviteop, hangup, each call a
// CallSession. Its events are printed with the call's id by a thread of this object, so
// an accept returns at once and the next command (a hangup, a quit) is read meanwhile.
class CliCalls {
public:
    CliCalls(CliOutput output, std::string userName);
    ~CliCalls();
    CliCalls(const CliCalls&) = delete;
    CliCalls& operator=(const CliCalls&) = delete;

    void Attach(AgentClient& client) { client_ = &client; }
    // Keeps every call's lines there, as a call window does; a line received is printed
    // only once it is written.
    void SetArchive(std::shared_ptr<TranscriptArchive> archive) { archive_ = std::move(archive); }

    // Runs the command if `verb` is one of ours; false otherwise.
    bool Execute(std::string_view verb, std::string_view rest);
    // Before the engine goes: gives up the calls still connecting, removes the others and
    // prints what they reported.
    void Shutdown();

private:
    struct Call;

    void Accept(int32_t callId);
    void Hangup(int32_t callId);
    std::shared_ptr<Call> Find(int32_t callId);
    void Fail(std::string_view verb, int32_t result) const;
    // On the printing thread: every call's events.
    void Print();

    const CliOutput output_;
    const std::string userName_;
    AgentClient* client_ = nullptr;
    std::shared_ptr<TranscriptArchive> archive_;

    // Never held while a session is called: the session's wake hook takes it under the
    // session's own locks.
    std::mutex mutex_;
    bool shuttingDown_ = false;
    std::map<int32_t, std::shared_ptr<Call>> current_; // accepted or connecting calls by id
    // Every call accepted, hung up or not, until Shutdown: a hangup's reports come after it.
    std::vector<std::shared_ptr<Call>> calls_;
    // Delivers every call's events whenever one has some; last, so it starts last.
    DeliveryThread printer_;
};

} // namespace olvex
