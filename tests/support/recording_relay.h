#pragma once

#include <mutex>
#include <string>
#include <thread>

namespace olvex::test {

// A TCP relay on 127.0.0.1 that passes every connection on to `targetPort` and
// keeps a copy of every byte it passes, both ways: what an eavesdropper sees.
class RecordingRelay {
public:
    explicit RecordingRelay(int targetPort);
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    int Port() const { return port_; }
    std::string Recorded() const;

private:
    void Run();

    int targetPort_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::string recorded_;
    std::thread thread_;
};

} // namespace olvex::test
