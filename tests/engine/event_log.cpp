#include "event_log.h"

#include <algorithm>

namespace olvex::test {

namespace {

EventLog& Log(void* data) {
    return *static_cast<EventLog*>(data);
}

std::string Describe(const UserRecord& u) {
    return std::to_string(u.userId) + " " + std::to_string(u.kind) + " " +
           std::to_string(u.status) + " " + u.firstName;
}

std::string Describe(const PageRecord& p) {
    return std::to_string(p.pageId) + " " + p.url;
}

std::string Text(const char* text) {
    return text ? text : "(null)";
}

} // namespace

void EventLog::Install(AgentClient& client) {
    AgentCallbacks cb;
    cb.OnLoggedIn = [](void* d) { Log(d).Add("LoggedIn"); };
    cb.OnDisconnected = [](void* d, int r) { Log(d).Add("Disconnected " + std::to_string(r)); };
    cb.OnStatusChanged = [](void* d, int s) { Log(d).Add("Status " + std::to_string(s)); };
    cb.OnUserListReceived = [](void* d) { Log(d).Add("UserList"); };
    cb.OnUserLoggedIn = [](void* d, const UserRecord& u) { Log(d).Add("UserIn " + Describe(u)); };
    cb.OnUserLoggedOut = [](void* d, const UserRecord& u) { Log(d).Add("UserOut " + Describe(u)); };
    cb.OnUserStatusChanged = [](void* d, const UserRecord& u) {
        Log(d).Add("UserStatus " + Describe(u));
    };
    cb.OnPageListReceived = [](void* d) { Log(d).Add("PageList"); };
    cb.OnPageEntered = [](void* d, const PageRecord& p) { Log(d).Add("PageIn " + Describe(p)); };
    cb.OnPageLeft = [](void* d, const PageRecord& p) { Log(d).Add("PageLeft " + Describe(p)); };
    cb.OnVisitorInvited = [](void* d, const PageRecord& p) {
        Log(d).Add("Invited " + Describe(p));
    };
    cb.OnCallRequest = [](void* d, int call, int from, int kind, const char* t1, const char* t2,
                          const char* t3) {
        Log(d).Add("Call " + std::to_string(call) + " " + std::to_string(from) + " " +
                   std::to_string(kind) + " " + Text(t1) + "|" + Text(t2) + "|" + Text(t3));
    };
    cb.OnServerError = [](void* d, int request, int error) {
        Log(d).Add("Error " + std::to_string(request) + " " + std::to_string(error));
    };
    client.SetCallbacks(this, cb);
}

void EventLog::Add(std::string line) {
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    cv_.notify_all();
    if (onEvent)
        onEvent(line);
}

std::vector<std::string> EventLog::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

int EventLog::CountOf(const std::string& line) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

bool EventLog::WaitFor(const std::string& line, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] {
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    });
}

void EventLog::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

} // namespace olvex::test
