#pragma once

#include "protocol.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::demo {

struct Account {
    std::string userName;
    std::string password;
    std::string firstName;
    std::string lastName;
};

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = protocol::kDefaultServerPort;
    std::vector<Account> accounts;
    int32_t latestVersion = 15;
    uint32_t seed = 1;
    int visitors = 25;                    // simulated visitors on the site at once
    double requestEvery = 40.0;           // seconds between visitors' chat requests; 0: none
    int churn = 0;                        // page moves per second for load runs; 0: natural pace
    size_t maxBacklog = size_t(32) << 20; // bytes queued for a client before it is dropped
    bool quiet = false;                   // nothing happens unless a client asks
    std::string tlsCert;                  // PEM; with tlsKey, clients must speak TLS
    std::string tlsKey;
};

std::vector<Account> BuiltInAccounts();

// Reads one account a line: user name, password, first name, then the last
// name (the rest of the line). Blank lines and lines starting with '#' are
// skipped. Returns false with a message in `error` for an unusable file.
bool LoadAccounts(const std::string& path, std::vector<Account>& accounts, std::string& error);

// 0 to run; 1 after --help (printed to `out`); 2 for bad arguments (message in `error`).
int ParseArguments(int argc, char** argv, ServerOptions& options, std::string& out,
                   std::string& error);

// Every option ParseArguments knows, --help included.
std::vector<std::string_view> OptionNames();

} // namespace olvex::demo
