#include "composing.h"

#include <chrono>

namespace olvex {

WireMessage BuildChatItem(ChatItemKind kind, std::string_view sender,
                          std::optional<std::string_view> content) {
    WireMessage item(protocol::kChatItem);
    item.AddInt(static_cast<int32_t>(kind));
    item.AddText(sender);
    if (content)
        item.AddText(*content);
    return item;
}

std::string ReplaceApostrophes(std::string text) {
    for (char& c : text) {
        if (c == '\'')
            c = '`';
    }
    return text;
}

std::string FormEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ') {
            out += '+';
        } else if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                   (byte >= '0' && byte <= '9') || byte == '*' || byte == '-' || byte == '.' ||
                   byte == '_') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0f];
        }
    }
    return out;
}

std::string CompleteUrl(std::string url, UrlAction action) {
    auto startsWith = [&url](std::string_view prefix) { return url.starts_with(prefix); };
    bool keep = startsWith("http");
    if (action != UrlAction::Image)
        keep = keep || startsWith("ftp:") || startsWith("mail");
    return keep ? url : "http://" + url;
}

std::string LinkFragment(const std::string& url) {
    return "<a href='" + FormEncode(url) + "' target='_blank'>" + url + "</a>";
}

std::string ImageFragment(const std::string& url) {
    return "<img src='" + FormEncode(url) + "'></img>";
}

TypingNoticeThrottle::TypingNoticeThrottle(Clock clock) : clock_(std::move(clock)) {}

bool TypingNoticeThrottle::KeyPressed() {
    const int64_t now = clock_();
    // A clock set back must not silence the notices until it catches up again.
    if (lastSent_ != 0 && now >= lastSent_ && now - lastSent_ <= 2)
        return false;
    lastSent_ = now;
    return true;
}

int64_t TypingNoticeThrottle::SystemSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace olvex
