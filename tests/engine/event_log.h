#pragma once

#include "agent_client.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace olvex::test {

// Records every engine event as a short line ("Disconnected 2", "UserIn 5 ...")
// and lets a test wait for one.
class EventLog {
public:
    void Install(AgentClient& client);

    void Add(std::string line);
    std::vector<std::string> Lines() const;
    int CountOf(const std::string& line) const;
    // True when `line` was recorded within the time.
    bool WaitFor(const std::string& line,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    void Clear();

    // Runs on the engine's thread after each event is recorded; set it before
    // the thread starts.
    std::function<void(const std::string& line)> onEvent;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<std::string> lines_;
};

} // namespace olvex::test
