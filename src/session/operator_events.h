#pragma once

#include "records.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace olvex {

// What an operator's session reports, in the order it happened. Every event holds copies:
// the engine lends its records for the call only. Page records are shared with the engine's
// directory where it still holds them, so a busy site's page views are not copied twice.
namespace operator_event {

using UserSnapshot = std::vector<std::shared_ptr<const UserRecord>>;
using PageSnapshot = std::vector<std::shared_ptr<const PageRecord>>;

// The session's own steps.

// A log-in begins; `reconnecting` when it is a try of the session's own after a lost
// connection (the automatic log-in tried again at start is not).
struct Connecting {
    bool reconnecting = false;
};
// The server has taken the log-in; the lists are not yet requested. `status` is the one the
// operator had asked for: busy or away has already been sent again, before anything else.
struct LoggedIn {
    int32_t status = 1;
};
// The server knows a newer client. The log-in waits until AnswerNewVersion (or Shutdown).
struct NewVersionOffered {
    int32_t latestVersion = 0;
};
// The operator and page lists were asked for: the log-in is complete. The results are those
// of the two sends.
struct ListsRequested {
    int32_t usersResult = 0;
    int32_t pagesResult = 0;
};
// The log-in worker has ended: 0, or the failure with its text (with the reason of a TLS
// failure, which only that thread knows). `retrying` when another try follows
// (RetryScheduled says when); `cancelled` when the operator logged out or logged in anew
// while it ran.
struct LoginFinished {
    int32_t result = 0;
    std::string message;
    bool reconnecting = false;
    bool retrying = false;
    bool cancelled = false;
};
// The session will log in again by itself at `nextTry`, `delay` from when it was decided.
// `result` and `message` are the failure of the try before, 0 and empty right after the
// connection was lost; `atStart` while no log-in has been taken yet (the automatic log-in
// at start failed). `attempt` counts the tries from 1.
struct RetryScheduled {
    std::chrono::milliseconds delay{0};
    std::chrono::steady_clock::time_point nextTry;
    int attempt = 1;
    int32_t result = 0;
    std::string message;
    bool atStart = false;
};
struct StatusFailed {
    int32_t result = 0;
};
// The invitations of one Invite went out; `result` is negative when one failed (the rest
// were not sent).
struct InvitationsFinished {
    int32_t result = 0;
};
// No keep-alive went through in `attempts` tries: the session logs out.
struct KeepAliveFailed {
    int attempts = 0;
};

// The engine's events.

// `result` is the receive result that ended a lost connection (DisconnectResult), read when
// the event was raised. `reconnecting` when the session logs in again by itself.
struct Disconnected {
    int reason = 0;
    int32_t result = 0;
    bool reconnecting = false;
};
struct StatusChanged {
    int32_t status = 0;
};
struct UserListReceived {
    UserSnapshot users;
};
struct UserLoggedIn {
    UserRecord user;
};
struct UserLoggedOut {
    UserRecord user;
};
struct UserStatusChanged {
    UserRecord user;
};
struct PageListReceived {
    PageSnapshot pages;
};
struct PageEntered {
    std::shared_ptr<const PageRecord> page;
};
struct PageLeft {
    std::shared_ptr<const PageRecord> page;
};
struct VisitorInvited {
    std::shared_ptr<const PageRecord> page;
};
// A call request (kind protocol::kCallKindRequest) or transfer; absent texts stay absent.
struct CallRequest {
    int32_t callId = 0;
    int32_t requesterId = 0;
    int32_t kind = 0;
    std::optional<std::string> text1;
    std::optional<std::string> text2;
    std::optional<std::string> text3;
};
struct ServerError {
    int32_t requestCode = 0;
    int32_t errorCode = 0;
};

} // namespace operator_event

using OperatorEvent = std::variant<
    operator_event::Connecting, operator_event::LoggedIn, operator_event::NewVersionOffered,
    operator_event::ListsRequested, operator_event::LoginFinished, operator_event::RetryScheduled,
    operator_event::StatusFailed, operator_event::InvitationsFinished,
    operator_event::KeepAliveFailed, operator_event::Disconnected, operator_event::StatusChanged,
    operator_event::UserListReceived, operator_event::UserLoggedIn, operator_event::UserLoggedOut,
    operator_event::UserStatusChanged, operator_event::PageListReceived,
    operator_event::PageEntered, operator_event::PageLeft, operator_event::VisitorInvited,
    operator_event::CallRequest, operator_event::ServerError>;

// Whoever shows a session: the console, olvex-cli, the tests.
class OperatorObserver {
public:
    virtual ~OperatorObserver() = default;
    virtual void OnEvent(const OperatorEvent& event) = 0;
};

} // namespace olvex
