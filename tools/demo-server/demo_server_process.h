#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace olvex::demo {

// Runs olvex-demo-server as a child process on a free loopback port, for
// tests and benchmarks. The child is always stopped (SIGTERM, then SIGKILL
// after a grace period) and reaped when this object goes.
class DemoServerProcess {
public:
    // `arguments` come after "--listen 127.0.0.1:0".
    DemoServerProcess(const std::string& program, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds startWait = std::chrono::seconds(10));
    ~DemoServerProcess();
    DemoServerProcess(const DemoServerProcess&) = delete;
    DemoServerProcess& operator=(const DemoServerProcess&) = delete;

    // The port the server listens on; 0 when it did not start.
    int Port() const { return port_; }
    bool IsRunning();
    // Sends SIGTERM and waits; returns the exit status, or -1 when it had to be killed.
    int Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int exitStatus_ = -1;
    int output_ = -1;
};

} // namespace olvex::demo
