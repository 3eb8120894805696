// Feeds arbitrary bytes to SocketChannel::Receive through a socket pair and
// reads frames until the stream fails.
#include "socket_channel.h"
#include "wire_message.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace std::chrono_literals;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    size_t written = 0;
    while (written < size) {
        ssize_t n = ::send(fds[1], data + written, size - written, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        written += size_t(n);
    }
    ::close(fds[1]); // the reader sees end of stream instead of waiting
    olvex::SocketChannel channel(5ms);
    channel.SetHeaderWait(5ms);
    channel.Adopt(fds[0]);
    olvex::WireMessage message;
    for (int i = 0; i < 10000; ++i) {
        int32_t result = message.Receive(channel);
        if (result <= 0 && result != -16)
            break;
        for (int field = 1; field <= message.FieldCount() + 1; ++field)
            (void)message.GetInt(field);
    }
    return 0;
}
