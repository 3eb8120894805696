#include "wire_message.h"

#include "result_code.h"
#include "socket_channel.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

namespace olvex {

namespace {
constexpr size_t kCodeSize = 4;

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
} // namespace

int32_t ParseDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t limit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < limit)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

WireMessage::WireMessage(int32_t code) {
    if (code == 0)
        return;
    char text[16];
    int n = std::snprintf(text, sizeof text, "%4d", code);
    data_.assign(text, size_t(n));
    hasBuffer_ = true;
    code_ = code;
}

int32_t WireMessage::AddText(const char* text) {
    return AddText(text ? std::string_view(text) : std::string_view());
}

int32_t WireMessage::AddText(std::string_view text) {
    if (IsEmpty())
        return ResultCode::MessageEmpty;
    size_t from = data_.size() < kCodeSize ? kCodeSize : data_.size();
    // A text holding the terminator reads back as several fields.
    if (text.find(kTerminator) != std::string_view::npos) {
        data_.append(text);
        data_.append(kTerminator);
        IndexFrom(terminators_.empty() ? from : terminators_.back() + kTerminator.size());
        return ResultCode::Ok;
    }
    data_.append(text);
    terminators_.push_back(static_cast<uint32_t>(data_.size()));
    data_.append(kTerminator);
    return ResultCode::Ok;
}

int32_t WireMessage::AddInt(int32_t value) {
    char text[16];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    (void)ec;
    return AddText(std::string_view(text, size_t(end - text)));
}

void WireMessage::IndexFrom(size_t position) {
    // Drop terminators at or after the restart point, then scan on.
    while (!terminators_.empty() && terminators_.back() >= position)
        terminators_.pop_back();
    const char* base = data_.data();
    const size_t size = data_.size();
    size_t pos = position;
    while (pos + kTerminator.size() <= size) {
        const void* hit = std::memchr(base + pos, '<', size - pos - 2);
        if (!hit)
            break;
        size_t at = size_t(static_cast<const char*>(hit) - base);
        if (base[at + 1] == '~' && base[at + 2] == '>') {
            terminators_.push_back(static_cast<uint32_t>(at));
            pos = at + kTerminator.size();
        } else {
            pos = at + 1;
        }
    }
}

std::string_view WireMessage::FieldView(int field) const {
    if (IsEmpty())
        return {};
    if (field < 1)
        field = 1;
    if (size_t(field) > terminators_.size())
        return {};
    size_t start = field == 1 ? kCodeSize : terminators_[size_t(field) - 2] + kTerminator.size();
    size_t end = terminators_[size_t(field) - 1];
    if (end <= start)
        return {};
    return std::string_view(data_).substr(start, end - start);
}

std::optional<std::string> WireMessage::GetText(int field) const {
    std::string_view view = FieldView(field);
    if (view.empty())
        return std::nullopt;
    return std::string(view);
}

int32_t WireMessage::GetInt(int field) const {
    std::string_view view = FieldView(field);
    if (view.empty())
        return ResultCode::MessageFormat;
    return ParseDecimal(view);
}

int32_t WireMessage::Send(SocketChannel& channel) const {
    if (IsEmpty())
        return ResultCode::MessageEmpty;
    return channel.Send(data_);
}

void WireMessage::Clear() {
    data_.clear();
    hasBuffer_ = false;
    code_ = 0;
    terminators_.clear();
}

int32_t WireMessage::Receive(SocketChannel& channel) {
    Clear();
    std::string payload;
    int32_t result = channel.Receive(payload);
    if (result <= 0)
        return result;
    return SetPayload(std::move(payload));
}

int32_t WireMessage::SetPayload(std::string payload) {
    Clear();
    data_ = std::move(payload);
    hasBuffer_ = !data_.empty();
    const auto length = static_cast<int32_t>(data_.size());
    if (data_.size() < kCodeSize)
        return length;
    IndexFrom(kCodeSize);

    // "%4d" over the first four characters: blanks, an optional sign, digits.
    std::string_view head(data_.data(), kCodeSize);
    size_t i = 0;
    while (i < head.size() && IsBlank(head[i]))
        ++i;
    size_t signAt = i;
    if (i < head.size() && (head[i] == '+' || head[i] == '-'))
        ++i;
    if (i < head.size() && head[i] >= '0' && head[i] <= '9') {
        int32_t value = ParseDecimal(head.substr(signAt));
        if (value < 0)
            return ResultCode::MessageFormat;
        code_ = value;
    }
    return length;
}

} // namespace olvex
