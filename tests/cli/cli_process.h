#pragma once

// olvex-cli run as a child process, with its standard streams on pipes.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace olvex::test {

using Json = nlohmann::json;
using namespace std::chrono_literals;

// A child process with pipes on its three standard streams.
class Child {
public:
    explicit Child(std::vector<std::string> args) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
            ::pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
    }
    ~Child() {
        CloseInput();
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {out_, err_})
            if (fd >= 0)
                ::close(fd);
    }

    bool Started() const { return pid_ > 0; }
    // Ends the child at once, as a crash or a power cut would.
    void Kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    void WriteLine(const std::string& line) {
        std::string data = line + "\n";
        ASSERT_EQ(::write(in_, data.data(), data.size()), ssize_t(data.size()));
    }
    void CloseInput() {
        if (in_ >= 0)
            ::close(in_);
        in_ = -1;
    }
    // The next stdout line, or nothing at end of output or time-out.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = 5s) {
        return ReadLineFrom(out_, outBuffer_, timeout);
    }
    std::optional<Json> ReadEvent(std::chrono::milliseconds timeout = 5s) {
        auto line = ReadLine(timeout);
        if (!line)
            return std::nullopt;
        return Json::parse(*line); // throws, and fails the test, on invalid JSON
    }
    // Everything the child wrote to stderr until it closed it.
    std::string ReadAllErrors() {
        std::string all;
        while (auto line = ReadLineFrom(err_, errBuffer_, 5s))
            all += *line + "\n";
        return all;
    }
    // The exit status once stdout is closed.
    int Wait() {
        while (ReadLine())
            ;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static std::optional<std::string> ReadLineFrom(int fd, std::string& buffer,
                                                   std::chrono::milliseconds timeout) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (auto nl = buffer.find('\n'); nl != std::string::npos) {
                std::string line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, int(left.count())) <= 0)
                continue;
            char chunk[4096];
            ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return std::nullopt;
            buffer.append(chunk, size_t(n));
        }
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    std::string outBuffer_, errBuffer_;
};

} // namespace olvex::test
