#include "demo_server_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace olvex::demo {

namespace {

using Clock = std::chrono::steady_clock;

// Reads the first line the server prints, within the time given.
std::string ReadLine(int fd, std::chrono::milliseconds wait) {
    std::string line;
    const auto deadline = Clock::now() + wait;
    while (line.find('\n') == std::string::npos && line.size() < 256) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            break;
        line += c;
    }
    return line;
}

} // namespace

DemoServerProcess::DemoServerProcess(const std::string& program,
                                     const std::vector<std::string>& arguments,
                                     std::chrono::milliseconds startWait) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    std::vector<std::string> words{program, "--listen", "127.0.0.1:0"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t pid = -1;
    int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    output_ = pipeFds[0];
    if (spawned != 0)
        return;
    pid_ = pid;

    const std::string prefix = "listening on 127.0.0.1:";
    std::string line = ReadLine(output_, startWait);
    if (line.rfind(prefix, 0) == 0)
        port_ = std::atoi(line.c_str() + prefix.size());
}

DemoServerProcess::~DemoServerProcess() {
    Stop();
    if (output_ >= 0)
        ::close(output_);
}

bool DemoServerProcess::IsRunning() {
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_)
        return true;
    pid_ = -1;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
}

int DemoServerProcess::Stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0)
        return exitStatus_;
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + grace;
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR))
            break;
        if (Clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        // Reaping has no wake-up descriptor; a short pause between looks is all there is.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exitStatus_;
}

} // namespace olvex::demo
