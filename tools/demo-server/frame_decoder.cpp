#include "frame_decoder.h"

#include "result_code.h"
#include "socket_channel.h"

namespace olvex::demo {

int32_t FrameDecoder::Next(std::string& payload) {
    if (broken_)
        return ResultCode::BadFrame;
    const size_t available = buffer_.size() - offset_;
    if (available < size_t(kFrameHeaderSize)) {
        // Check the magic early so that garbage is refused without waiting for 7 bytes.
        static constexpr char kMagic[] = "<!>";
        for (size_t i = 0; i < available && i < 3; ++i) {
            if (buffer_[offset_ + i] != kMagic[i]) {
                broken_ = true;
                return ResultCode::BadFrame;
            }
        }
        return 0;
    }
    const auto* header = reinterpret_cast<const unsigned char*>(buffer_.data() + offset_);
    int32_t length = ParseFrameHeader(header);
    if (length <= 0 || length > maxPayload_) {
        broken_ = true;
        return ResultCode::BadFrame;
    }
    if (available - size_t(kFrameHeaderSize) < size_t(length))
        return 0;
    payload.assign(buffer_, offset_ + size_t(kFrameHeaderSize), size_t(length));
    offset_ += size_t(kFrameHeaderSize) + size_t(length);
    if (offset_ == buffer_.size()) {
        buffer_.clear();
        offset_ = 0;
    } else if (offset_ > 64 * 1024 && offset_ * 2 > buffer_.size()) {
        buffer_.erase(0, offset_);
        offset_ = 0;
    }
    return 1;
}

} // namespace olvex::demo
