#include "demo_server.h"
#include "server_options.h"

#include <csignal>
#include <cstdio>

namespace {

olvex::demo::DemoServer* gServer = nullptr;

void OnSignal(int) {
    if (gServer)
        gServer->Stop();
}

} // namespace

int main(int argc, char** argv) {
    olvex::demo::ServerOptions options;
    std::string out;
    std::string error;
    int parsed = olvex::demo::ParseArguments(argc, argv, options, out, error);
    if (parsed == 1) {
        std::fputs(out.c_str(), stdout);
        return 0;
    }
    if (parsed != 0) {
        std::fprintf(stderr, "olvex-demo-server: %s\n", error.c_str());
        return 2;
    }

    olvex::demo::DemoServer server(options);
    if (server.Listen(error) != 0) {
        std::fprintf(stderr, "olvex-demo-server: %s\n", error.c_str());
        return 1;
    }
    gServer = &server;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("listening on %s:%d\n", options.host.c_str(), server.Port());
    std::fflush(stdout);
    int result = server.Run();
    gServer = nullptr;
    return result == 0 ? 0 : 1;
}
