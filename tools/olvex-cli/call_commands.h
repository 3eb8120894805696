#pragma once

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

    // Runs the command if `verb` is one of ours; false otherwise.
    bool Execute(std::string_view verb, std::string_view rest);

private:
    struct Context {
        CallCommands* owner;
        int32_t callId;
    };

    void Accept(int32_t callId);
    void QueueChatItem(int32_t callId, int32_t kind, const std::string* text);
    void Fail(std::string_view verb, int32_t result);
    // The start of an event line: its name, then the call's id.
    static nlohmann::ordered_json Event(const Context& context, const char* name);

    const CliOutput output_;
    const std::string userName_;
    AgentClient* client_ = nullptr;
    std::mutex mutex_;
    std::map<int32_t, std::unique_ptr<Context>> contexts_;
};

} // namespace olvex
