#pragma once

#include "protocol.h"
#include "wire_message.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace olvex {

// The kinds of chat item the call window sends, typed.
enum class ChatItemKind : int32_t {
    Text = protocol::kItemText,
    Typing = protocol::kItemTyping,
    Notice = protocol::kItemNotice,
    UrlPush = protocol::kItemUrlPush,
};

// A chat item as the call window sends it: kind, sender and, unless absent, content.
WireMessage BuildChatItem(ChatItemKind kind, std::string_view sender,
                          std::optional<std::string_view> content = std::nullopt);

// Typed text goes out with every apostrophe turned into a backquote; the other
// side builds quoted strings from it.
std::string ReplaceApostrophes(std::string text);

// Bytes as in a form submission: blank to "+", letters, digits and "*-._" kept,
// every other byte as "%" and two lowercase hex digits.
std::string FormEncode(std::string_view text);

enum class UrlAction { Link, Image, Push };

// Puts "http://" in front of an address that does not start with a scheme the
// action accepts. The comparison is case-sensitive on purpose: "HTTP://x" is
// completed too.
std::string CompleteUrl(std::string url, UrlAction action);

// The HTML fragments sent for a link and an image; the URL should be completed.
std::string LinkFragment(const std::string& url);
std::string ImageFragment(const std::string& url);

// Lets a typing notice go out at the first key and then at most once per
// 3 seconds while keys keep coming. The clock gives whole seconds.
class TypingNoticeThrottle {
public:
    using Clock = std::function<int64_t()>;

    explicit TypingNoticeThrottle(Clock clock = SystemSeconds);

    // Called for every key other than Enter. True when a notice is due; the
    // time is taken even when the caller then has no call to send it on.
    bool KeyPressed();
    int64_t LastSent() const { return lastSent_; }

    static int64_t SystemSeconds();

private:
    Clock clock_;
    int64_t lastSent_ = 0; // 0: never
};

} // namespace olvex
