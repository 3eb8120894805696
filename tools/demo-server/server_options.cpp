#include "server_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

namespace olvex::demo {

namespace {

constexpr std::string_view kUsage = R"(usage: olvex-demo-server [OPTIONS]

A small Olvex chat server for demos, tests and benchmarks, with simulated
website visitors who browse pages, ask for chats and answer in calls.

  --listen HOST:PORT      address to listen on (default 127.0.0.1:2020); port 0
                          picks a free port. The chosen address is printed as
                          "listening on HOST:PORT" once the server is ready.
  --accounts FILE         operator accounts, one a line: user name, password,
                          first name, last name (rest of the line), separated by
                          blanks; '#' starts a comment line. Default accounts:
                          demo/demo, alice/alice, bob/bob.
  --latest-version N      newest client version announced at log-in (default 15)
  --seed N                seed of the simulation; equal seeds give equal visitors,
                          pages and replies (default 1)
  --visitors N            visitors browsing the site at once (default 25,
                          up to 100000); their page views fill the page list
  --request-every SECONDS a visitor asks for a chat this often, offered to every
                          operator who is online (default 40; 0: never)
  --churn N               load mode: N page moves a second (each a page left and
                          a page opened), replacing the natural browsing pace
  --max-backlog MIB       a client that falls this far behind in reading is
                          disconnected so that it slows nobody (default 32)
  --quiet                 no simulation: visitors stay on their pages and ask for
                          nothing; they still accept invitations and answer in
                          calls, so tests can script every step
  --help                  show this text and exit

SIGINT or SIGTERM stops the server.
)";

bool ParseInt(std::string_view text, long min, long max, long& value) {
    std::string copy(text);
    if (copy.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long parsed = std::strtol(copy.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max)
        return false;
    value = parsed;
    return true;
}

bool ParseSeconds(std::string_view text, double& value) {
    std::string copy(text);
    if (copy.empty())
        return false;
    char* end = nullptr;
    double parsed = std::strtod(copy.c_str(), &end);
    if (*end != '\0' || !std::isfinite(parsed) || parsed < 0 || parsed > 86400)
        return false;
    value = parsed;
    return true;
}

// Fields travel as protocol text: no terminator inside, and kept short.
bool UsableField(const std::string& text) {
    return !text.empty() && text.size() <= 64 && text.find("<~>") == std::string::npos;
}

} // namespace

std::vector<Account> BuiltInAccounts() {
    return {
        {"demo", "demo", "Dana", "Demo"},
        {"alice", "alice", "Alice", "Archer"},
        {"bob", "bob", "Bob", "Baker"},
    };
}

bool LoadAccounts(const std::string& path, std::vector<Account>& accounts, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot open accounts file " + path;
        return false;
    }
    std::vector<Account> loaded;
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        std::istringstream in(line);
        Account account;
        in >> account.userName >> account.password >> account.firstName;
        std::getline(in >> std::ws, account.lastName);
        while (!account.lastName.empty() &&
               (account.lastName.back() == ' ' || account.lastName.back() == '\t'))
            account.lastName.pop_back();
        if (!UsableField(account.userName) || !UsableField(account.password) ||
            !UsableField(account.firstName) ||
            (!account.lastName.empty() && !UsableField(account.lastName))) {
            error = path + ":" + std::to_string(number) + ": expected: user password first last";
            return false;
        }
        for (const Account& other : loaded) {
            if (other.userName == account.userName) {
                error = path + ":" + std::to_string(number) + ": user " + account.userName +
                        " listed twice";
                return false;
            }
        }
        loaded.push_back(std::move(account));
        if (loaded.size() > 10000) {
            error = path + ": too many accounts";
            return false;
        }
    }
    if (loaded.empty()) {
        error = path + ": no accounts";
        return false;
    }
    accounts = std::move(loaded);
    return true;
}

int ParseArguments(int argc, char** argv, ServerOptions& options, std::string& out,
                   std::string& error) {
    options.accounts = BuiltInAccounts();
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string_view& v) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        std::string_view v;
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            out = kUsage;
            return 1;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--listen") {
            if (!value(v))
                return 2;
            size_t colon = v.rfind(':');
            if (colon == std::string_view::npos || colon == 0 ||
                !ParseInt(v.substr(colon + 1), 0, 65535, number)) {
                error = "--listen expects HOST:PORT";
                return 2;
            }
            options.host = std::string(v.substr(0, colon));
            options.port = int(number);
        } else if (arg == "--accounts") {
            if (!value(v))
                return 2;
            if (!LoadAccounts(std::string(v), options.accounts, error))
                return 2;
        } else if (arg == "--latest-version") {
            if (!value(v) || !ParseInt(v, 0, 2147483647, number)) {
                error = "--latest-version expects a number";
                return 2;
            }
            options.latestVersion = int32_t(number);
        } else if (arg == "--seed") {
            if (!value(v) || !ParseInt(v, 0, 4294967295L, number)) {
                error = "--seed expects a number";
                return 2;
            }
            options.seed = uint32_t(number);
        } else if (arg == "--visitors") {
            if (!value(v) || !ParseInt(v, 0, 100000, number)) {
                error = "--visitors expects a number from 0 to 100000";
                return 2;
            }
            options.visitors = int(number);
        } else if (arg == "--request-every") {
            if (!value(v) || !ParseSeconds(v, options.requestEvery)) {
                error = "--request-every expects seconds";
                return 2;
            }
        } else if (arg == "--churn") {
            if (!value(v) || !ParseInt(v, 0, 10000000, number)) {
                error = "--churn expects page moves per second";
                return 2;
            }
            options.churn = int(number);
        } else if (arg == "--max-backlog") {
            if (!value(v) || !ParseInt(v, 1, 4096, number)) {
                error = "--max-backlog expects MiB from 1 to 4096";
                return 2;
            }
            options.maxBacklog = size_t(number) << 20;
        } else {
            error = "unknown option " + std::string(arg) + " (see --help)";
            return 2;
        }
    }
    return 0;
}

} // namespace olvex::demo
