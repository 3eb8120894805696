#include "frame_decoder.h"
#include "socket_channel.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace olvex::demo {
namespace {

std::string Frame(const std::string& payload) {
    std::string frame(size_t(kFrameHeaderSize), '\0');
    WriteFrameHeader(reinterpret_cast<unsigned char*>(frame.data()), int32_t(payload.size()));
    return frame + payload;
}

std::vector<std::string> Drain(FrameDecoder& decoder, int32_t& last) {
    std::vector<std::string> payloads;
    std::string payload;
    while ((last = decoder.Next(payload)) == 1)
        payloads.push_back(payload);
    return payloads;
}

TEST(FrameDecoderTest, ReassemblesFramesSplitAnywhere) {
    const std::vector<std::string> sent{"1006", std::string(70000, 'x'), "10032<~>"};
    std::string stream;
    for (const std::string& payload : sent)
        stream += Frame(payload);
    for (size_t chunk : {size_t(1), size_t(3), size_t(7), size_t(4096), stream.size()}) {
        FrameDecoder decoder(1 << 20);
        std::vector<std::string> received;
        int32_t last = 0;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            decoder.Append(std::string_view(stream).substr(at, chunk));
            auto got = Drain(decoder, last);
            received.insert(received.end(), got.begin(), got.end());
            ASSERT_EQ(last, 0);
        }
        EXPECT_EQ(received, sent) << "chunk " << chunk;
        EXPECT_FALSE(decoder.HasPartialFrame());
    }
}

TEST(FrameDecoderTest, BrokenStreamsStayBroken) {
    const std::vector<std::string> broken{
        "G",                               // wrong magic, seen at the first byte
        "<!x",                             // wrong magic at the third byte
        std::string("<!>\0\0\0\0", 7),     // empty payload
        std::string("<!>\x80\0\0\0", 7),   // negative length
        std::string("<!>\0\x10\0\x01", 7), // over the limit
    };
    for (const std::string& bytes : broken) {
        FrameDecoder decoder(1 << 20);
        decoder.Append(bytes);
        std::string payload;
        EXPECT_EQ(decoder.Next(payload), -4) << testing::PrintToString(bytes);
        decoder.Append(Frame("1006"));
        EXPECT_EQ(decoder.Next(payload), -4) << "no recovery after a broken frame";
    }
    FrameDecoder atLimit(16);
    atLimit.Append(Frame(std::string(16, 'a')) + Frame(std::string(17, 'a')));
    int32_t last = 0;
    EXPECT_EQ(Drain(atLimit, last).size(), 1u);
    EXPECT_EQ(last, -4);
}

} // namespace
} // namespace olvex::demo
