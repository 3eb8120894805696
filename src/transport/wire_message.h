#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

class SocketChannel;

// One protocol message: a four-character command code followed by text
// fields, each closed by "<~>". Fields are numbered from 1.
//
// The positions of the terminators are found once, when the payload is set or
// grows, so reading every field of a large list answer stays linear.
class WireMessage {
public:
    static constexpr std::string_view kTerminator{"<~>"};

    // Code 0 makes an empty message (no payload), the target of Receive.
    explicit WireMessage(int32_t code = 0);

    // Appends the text and a terminator; a null text appends an empty field.
    // Returns 0, or -17 on an empty message.
    int32_t AddText(const char* text);
    int32_t AddText(std::string_view text);
    int32_t AddInt(int32_t value);

    // The field's text, or nothing when the field is missing or empty.
    std::optional<std::string> GetText(int field) const;
    // The same without a copy; empty when missing. Valid until the message changes.
    std::string_view FieldView(int field) const;
    // The field read as a decimal number (leading blanks, optional sign, digits
    // up to the first other character; 0 without digits), or -16 when missing.
    int32_t GetInt(int field) const;
    // Number of complete fields.
    int FieldCount() const { return static_cast<int>(terminators_.size()); }

    int32_t Send(SocketChannel& channel) const;
    // Replaces the contents with the next frame. Returns the payload length,
    // the channel's failure code, or -16 for a negative command code.
    int32_t Receive(SocketChannel& channel);
    // Takes a received payload as Receive does after the channel has delivered it.
    int32_t SetPayload(std::string payload);
    void Clear();

    int32_t Code() const { return code_; }
    int32_t Length() const { return static_cast<int32_t>(data_.size()); }
    bool IsEmpty() const { return !hasBuffer_ || data_.empty(); }
    const std::string& Payload() const { return data_; }

private:
    void IndexFrom(size_t position);

    std::string data_;
    bool hasBuffer_ = false;
    int32_t code_ = 0;
    std::vector<uint32_t> terminators_; // offset of each "<~>" in field order
};

// Reads a decimal integer the way the protocol does (see WireMessage::GetInt),
// clamping values outside the 32-bit range.
int32_t ParseDecimal(std::string_view text);

} // namespace olvex
