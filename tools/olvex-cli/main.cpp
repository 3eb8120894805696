// olvex-cli: a headless operator client for scripting, monitoring and tests.
// Engine events go to stdout as one JSON object per line; commands come from
// stdin, one per line. With --verbose the engine's log goes to stderr, also as
// JSON lines.
#include "agent_client.h"
#include "cli_calls.h"
#include "delivery_thread.h"
#include "log_sink.h"
#include "operator_session.h"
#include "protocol.h"
#include "result_code.h"
#include "transcript_archive.h"

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

using olvex::AgentClient;
using olvex::OperatorSession;
using olvex::PageRecord;
using olvex::ResultText;
using olvex::UserRecord;
using Json = nlohmann::ordered_json; // "event" first, then the arguments in order
namespace ev = olvex::operator_event;

namespace {

// Event lines go to stdout through a writer thread: a reader that stops
// reading must not hold up the engine's threads, nor the commands waiting for
// them. Past kMaxQueued bytes the events wait for the reader after all.
class OutputWriter {
public:
    static constexpr size_t kMaxQueued = 64 * 1024 * 1024;

    OutputWriter() : thread_([this] { Run(); }) {}
    ~OutputWriter() { Finish(); }

    void Write(std::string line) {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return queued_ == 0 || queued_ + line.size() <= kMaxQueued; });
        queued_ += line.size();
        lines_.push_back(std::move(line));
        ready_.notify_one();
    }
    // Writes out what is queued, then ends the thread.
    void Finish() {
        {
            std::lock_guard lock(mutex_);
            finishing_ = true;
            ready_.notify_one();
        }
        if (thread_.joinable())
            thread_.join();
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [&] { return !lines_.empty() || finishing_; });
            if (lines_.empty())
                return;
            std::string line = std::move(lines_.front());
            lines_.pop_front();
            lock.unlock();
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
            lock.lock();
            queued_ -= line.size();
            room_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<std::string> lines_;
    size_t queued_ = 0;
    bool finishing_ = false;
    std::thread thread_;
};

OutputWriter* output = nullptr;
std::mutex errorMutex;

void Emit(const Json& event) {
    // Server texts are arbitrary bytes; invalid UTF-8 becomes U+FFFD rather
    // than broken JSON.
    output->Write(event.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Error(const std::string& text) {
    std::lock_guard lock(errorMutex);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

// "2026-12-08T14:02:46.123Z"
std::string UtcTimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
    return text;
}

// The engine's log lines, as the console would file them, on stderr.
void LogLine(void*, olvex::LogSource source, olvex::LogLevel level, std::string_view message) {
    Json line;
    line["time"] = UtcTimeStamp();
    line["level"] = olvex::LogLevelName(level);
    line["category"] = source == olvex::LogSource::Transport ? "olvex.transport" : "olvex.engine";
    line["message"] = std::string(message);
    std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::lock_guard lock(errorMutex);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

Json Event(const char* name) {
    return Json{{"event", name}};
}

Json With(Json event, const UserRecord& u) {
    event["userId"] = u.userId;
    event["auxNumber"] = u.auxNumber;
    event["kind"] = u.kind;
    event["status"] = u.status;
    event["host"] = u.host;
    event["firstName"] = u.firstName;
    event["lastName"] = u.lastName;
    return event;
}

Json With(Json event, const PageRecord& p) {
    event["pageId"] = p.pageId;
    event["auxNumber"] = p.auxNumber;
    event["visitorNumber"] = p.visitorNumber;
    event["url"] = p.url;
    event["title"] = p.title;
    event["referrer"] = p.referrer;
    event["loadTime"] = p.loadTime;
    event["ipAddress"] = p.ipAddress;
    return event;
}

// A list event carries the whole list as the engine held it.
template <class Snapshot> Json ListEvent(const char* name, const char* key, const Snapshot& list) {
    Json entries = Json::array();
    for (const auto& record : list)
        entries.push_back(With(Json::object(), *record));
    auto e = Event(name);
    e[key] = std::move(entries);
    return e;
}

Json TextOrNull(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

void Report(const char* command, int32_t result) {
    if (result < 0)
        Error(std::string(command) + ": " + ResultText(result));
}

// The operator's events as JSON lines, named after the engine's callbacks; the session's
// own steps print nothing, apart from the failures of the commands.
class EventPrinter : public olvex::OperatorObserver {
public:
    explicit EventPrinter(OperatorSession& session) : session_(session) {}

    void OnEvent(const olvex::OperatorEvent& event) override {
        std::visit([this](const auto& e) { Print(e); }, event);
    }

    // The log-in's result, once the session has reported it.
    ev::LoginFinished AwaitLogin() {
        std::unique_lock lock(mutex_);
        loggedIn_.wait(lock, [this] { return login_.has_value(); });
        return *login_;
    }

private:
    void Print(const ev::LoginFinished& e) {
        std::lock_guard lock(mutex_);
        login_ = e;
        loggedIn_.notify_all();
    }
    // Nobody to ask: the log-in goes on at once.
    void Print(const ev::NewVersionOffered&) { session_.AnswerNewVersion(); }
    void Print(const ev::ListsRequested& e) {
        Report("users", e.usersResult);
        Report("pages", e.pagesResult);
    }
    void Print(const ev::StatusFailed& e) { Report("status", e.result); }
    void Print(const ev::Connecting&) {}
    void Print(const ev::RetryScheduled&) {}
    void Print(const ev::InvitationsFinished&) {}
    void Print(const ev::KeepAliveFailed&) {}

    void Print(const ev::LoggedIn&) { Emit(Event("OnLoggedIn")); }
    void Print(const ev::Disconnected& e) {
        auto line = Event("OnDisconnected");
        line["reason"] = e.reason;
        Emit(line);
        // Why the connection ended by itself, such as a frame above the size cap.
        if (e.reason == olvex::DisconnectReason::ConnectionLost && e.result < 0)
            Error("connection: " + std::to_string(e.result) + " " + ResultText(e.result));
    }
    void Print(const ev::StatusChanged& e) {
        auto line = Event("OnStatusChanged");
        line["status"] = e.status;
        Emit(line);
    }
    void Print(const ev::UserListReceived& e) {
        Emit(ListEvent("OnUserListReceived", "users", e.users));
    }
    void Print(const ev::PageListReceived& e) {
        Emit(ListEvent("OnPageListReceived", "pages", e.pages));
    }
    void Print(const ev::UserLoggedIn& e) { Emit(With(Event("OnUserLoggedIn"), e.user)); }
    void Print(const ev::UserLoggedOut& e) { Emit(With(Event("OnUserLoggedOut"), e.user)); }
    void Print(const ev::UserStatusChanged& e) { Emit(With(Event("OnUserStatusChanged"), e.user)); }
    void Print(const ev::PageEntered& e) { Emit(With(Event("OnPageEntered"), *e.page)); }
    void Print(const ev::PageLeft& e) { Emit(With(Event("OnPageLeft"), *e.page)); }
    void Print(const ev::VisitorInvited& e) { Emit(With(Event("OnVisitorInvited"), *e.page)); }
    void Print(const ev::CallRequest& e) {
        auto line = Event("OnCallRequest");
        line["callId"] = e.callId;
        line["requesterId"] = e.requesterId;
        line["kind"] = e.kind;
        line["text1"] = TextOrNull(e.text1);
        line["text2"] = TextOrNull(e.text2);
        line["text3"] = TextOrNull(e.text3);
        Emit(line);
    }
    void Print(const ev::ServerError& e) {
        auto line = Event("OnServerError");
        line["requestCode"] = e.requestCode;
        line["errorCode"] = e.errorCode;
        Emit(line);
    }

    OperatorSession& session_;
    std::mutex mutex_;
    std::condition_variable loggedIn_;
    std::optional<ev::LoginFinished> login_;
};

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: olvex-cli --server HOST:PORT --user NAME --password PASS\n"
                 "                 [--history FILE] [--verbose] [--tls [--ca-file PATH]]\n"
                 "commands on stdin: status N | users | pages | invite PAGEID TEXT |\n"
                 "                   keepalive | logout | quit |\n"
                 "                   accept CALLID | say CALLID TEXT | typing CALLID |\n"
                 "                   push CALLID URL | inviteop CALLID USERID | hangup CALLID\n");
}

// Runs one command line; false when the program should end.
bool Execute(AgentClient& client, OperatorSession& session, olvex::CliCalls& calls,
             std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        return true;
    const auto space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    const bool noArgs = space == std::string::npos;

    if (verb == "quit" && noArgs)
        return false;
    if (verb == "logout" && noArgs) {
        session.Logout();
    } else if (verb == "users" && noArgs) {
        Report("users", client.RequestUserList());
    } else if (verb == "pages" && noArgs) {
        Report("pages", client.RequestPageList());
    } else if (verb == "keepalive" && noArgs) {
        Report("keepalive", client.SendKeepAlive());
    } else if (verb == "status") {
        auto status = ParseInt(rest);
        if (!status || *status < olvex::protocol::kStatusOnline ||
            *status > olvex::protocol::kStatusAway)
            Error("status: expected 1 (online), 2 (busy) or 3 (away)");
        else
            session.SetStatus(*status);
    } else if (verb == "invite") {
        const auto split = rest.find(' ');
        auto pageId = ParseInt(std::string_view(rest).substr(0, split));
        if (!pageId)
            Error("invite: expected PAGEID TEXT");
        else
            Report("invite", client.InviteVisitor(*pageId, split == std::string::npos
                                                               ? ""
                                                               : rest.c_str() + split + 1));
    } else if (!calls.Execute(verb, rest)) {
        Error("unknown command: " + line);
    }
    return true;
}

int Run(int argc, char** argv) {
    std::optional<std::string> server, user, password, history;
    olvex::TlsConfig tls;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--verbose")
            verbose = true;
        else if (arg == "--tls")
            tls.enabled = true;
        else if (i + 1 < argc && arg == "--ca-file")
            tls.caFile = argv[++i];
        else if (i + 1 < argc && arg == "--server")
            server = argv[++i];
        else if (i + 1 < argc && arg == "--user")
            user = argv[++i];
        else if (i + 1 < argc && arg == "--password")
            password = argv[++i];
        else if (i + 1 < argc && arg == "--history")
            history = argv[++i];
        else {
            Usage();
            return 2;
        }
    }
    if (!server || !user || !password || (!tls.caFile.empty() && !tls.enabled)) {
        Usage();
        return 2;
    }
    const auto colon = server->rfind(':');
    std::optional<int> port;
    if (colon != std::string::npos)
        port = ParseInt(std::string_view(*server).substr(colon + 1));
    if (!port || *port < 1 || *port > 65535) {
        Error("--server: expected HOST:PORT");
        return 2;
    }

    // Outlives the calls: their last lines are written when they go.
    std::shared_ptr<olvex::TranscriptArchive> archive;
    if (history) {
        olvex::TranscriptArchive::Options options;
        options.onFailure = [](const std::string& text) { Error(text); };
        archive = olvex::TranscriptArchive::Open(*history, options);
    }
    // Declared first: the engine's destruction still reports the calls it closes.
    olvex::CliCalls calls({Emit, Error, [](Json e, const UserRecord& u) { return With(e, u); }},
                          *user);
    calls.SetArchive(archive);
    AgentClient client;
    calls.Attach(client);
    if (verbose)
        client.logSink = {LogLine, nullptr, olvex::LogLevel::Debug};
    OperatorSession session(client);
    EventPrinter printer(session);
    // Hands the session's events to the printer on a thread of its own, batch by batch.
    olvex::DeliveryThread pump([&session, &printer] { session.Deliver(printer); });
    session.SetWake([&pump] { pump.Wake(); });
    olvex::OperatorConfig config;
    config.host = server->substr(0, colon);
    config.port = *port;
    config.user = *user;
    config.password = *password;
    config.tls = tls;
    session.Login(std::move(config));
    // The lists are requested by then, as the console does right after logging in.
    const ev::LoginFinished login = printer.AwaitLogin();
    if (login.result != 0) {
        session.Shutdown(); // before the pump its wake hook reaches goes
        Error(login.message);
        return 1;
    }

    std::string line;
    while (std::getline(std::cin, line)) {
        if (!Execute(client, session, calls, line))
            break;
    }
    calls.Shutdown();
    // The engine's end, reported as its destruction would, is the last operator event.
    session.Logout(olvex::DisconnectReason::Shutdown);
    pump.Finish();
    session.Shutdown();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    OutputWriter writer;
    output = &writer;
    const int code = Run(argc, argv);
    writer.Finish();
    return code;
}
