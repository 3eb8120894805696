#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace olvex::demo {

// Cuts a byte stream into frame payloads as bytes arrive, in any split.
// Holds at most one header and one payload of at most `maxPayload` bytes
// beyond what the caller has not yet taken out.
class FrameDecoder {
public:
    explicit FrameDecoder(int32_t maxPayload) : maxPayload_(maxPayload) {}

    void Append(std::string_view bytes) { buffer_.append(bytes); }
    // 1 and the next payload in `payload`; 0 when more bytes are needed;
    // -4 when the stream is broken (the decoder stays broken).
    int32_t Next(std::string& payload);
    // True while part of a frame has arrived but not the whole of it.
    bool HasPartialFrame() const { return buffer_.size() > offset_; }
    size_t Buffered() const { return buffer_.size() - offset_; }

private:
    int32_t maxPayload_;
    std::string buffer_;
    size_t offset_ = 0;
    bool broken_ = false;
};

} // namespace olvex::demo
