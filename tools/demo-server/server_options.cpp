#include "server_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

namespace olvex::demo {

namespace {

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

namespace {

// One command-line option: how --help shows it and what its value does. Help
// lines after the first are indented by the usage writer.
struct OptionEntry {
    std::string_view name;
    std::string_view value; // empty: a switch
    std::string_view help;
    // Takes the value; false with `error` set when it is refused.
    bool (*apply)(std::string_view value, ServerOptions& options, std::string& error);
};

bool Refuse(std::string& error, std::string_view text) {
    error = text;
    return false;
}

// Takes a whole number from `min` to `max` into `target`, or refuses with `refusal`.
template <typename T>
bool SetNumber(std::string_view text, long min, long max, T& target, std::string& error,
               std::string_view refusal) {
    long number = 0;
    if (!ParseInt(text, min, max, number))
        return Refuse(error, refusal);
    target = T(number);
    return true;
}

constexpr OptionEntry kOptions[] = {
    {"--listen", "HOST:PORT",
     "address to listen on (default 127.0.0.1:2020); port 0\n"
     "picks a free port. The chosen address is printed as\n"
     "\"listening on HOST:PORT\" once the server is ready.",
     [](std::string_view v, ServerOptions& o, std::string& error) {
         long number = 0;
         size_t colon = v.rfind(':');
         if (colon == std::string_view::npos || colon == 0 ||
             !ParseInt(v.substr(colon + 1), 0, 65535, number))
             return Refuse(error, "--listen expects HOST:PORT");
         o.host = std::string(v.substr(0, colon));
         o.port = int(number);
         return true;
     }},
    {"--accounts", "FILE",
     "operator accounts, one a line: user name, password,\n"
     "first name, last name (rest of the line), separated by\n"
     "blanks; '#' starts a comment line. Default accounts:\n"
     "demo/demo, alice/alice, bob/bob.",
     [](std::string_view v, ServerOptions& o, std::string& error) {
         return LoadAccounts(std::string(v), o.accounts, error);
     }},
    {"--latest-version", "N", "newest client version announced at log-in (default 15)",
     [](std::string_view v, ServerOptions& o, std::string& error) {
         return SetNumber(v, 0, 2147483647, o.latestVersion, error,
                          "--latest-version expects a number");
     }},
    {"--seed", "N",
     "seed of the simulation; equal seeds give equal visitors,\n"
     "pages and replies (default 1)",
     [](std::string_view v, ServerOptions& o, std::string& error) {
         return SetNumber(v, 0, 4294967295L, o.seed, error, "--seed expects a number");
     }},
    {"--visitors", "N",
     "visitors browsing the site at once (default 25,\n"
     "up to 100000); their page views fill the page list",
     [](std::string_view v, ServerOptions& o, std::string& error) {
         return SetNumber(v, 0, 100000, o.visitors, error,
                          "--visitors expects a number from 0 to 100000");
     }},
    {"--request-every", "SECONDS",
     "a visitor asks for a chat this often, offered to every\n"
     "operator who is online (default 40; 0: never)",
     [](std::string_view v, ServerOptions& o, std::string& error) {
         return ParseSeconds(v, o.requestEvery) || Refuse(error, "--request-every expects seconds");
     }},
    {"--churn", "N",
     "load mode: N page moves a second (each a page left and\n"
     "a page opened), replacing the natural browsing pace",
     [](std::string_view v, ServerOptions& o, std::string& error) {
         return SetNumber(v, 0, 10000000, o.churn, error, "--churn expects page moves per second");
     }},
    {"--max-backlog", "MIB",
     "a client that falls this far behind in reading is\n"
     "disconnected so that it slows nobody (default 32)",
     [](std::string_view v, ServerOptions& o, std::string& error) {
         long number = 0;
         if (!ParseInt(v, 1, 4096, number))
             return Refuse(error, "--max-backlog expects MiB from 1 to 4096");
         o.maxBacklog = size_t(number) << 20;
         return true;
     }},
    {"--tls-cert", "PEM",
     "serve TLS only, with this certificate (chain) file;\n"
     "needs --tls-key",
     [](std::string_view v, ServerOptions& o, std::string&) {
         o.tlsCert = v;
         return true;
     }},
    {"--tls-key", "PEM", "the private key of --tls-cert",
     [](std::string_view v, ServerOptions& o, std::string&) {
         o.tlsKey = v;
         return true;
     }},
    {"--quiet", "",
     "no simulation: visitors stay on their pages and ask for\n"
     "nothing; they still accept invitations and answer in\n"
     "calls, so tests can script every step",
     [](std::string_view, ServerOptions& o, std::string&) {
         o.quiet = true;
         return true;
     }},
};

constexpr std::string_view kHelpOption = "--help";

std::string Usage() {
    constexpr size_t kColumn = 26;
    std::string text = "usage: olvex-demo-server [OPTIONS]\n\n"
                       "A small Olvex chat server for demos, tests and benchmarks, with simulated\n"
                       "website visitors who browse pages, ask for chats and answer in calls.\n\n";
    auto add = [&](std::string_view name, std::string_view value, std::string_view help) {
        std::string left = "  " + std::string(name);
        if (!value.empty())
            left += " " + std::string(value);
        left.resize(std::max(left.size() + 1, kColumn), ' ');
        text += left;
        for (size_t from = 0; from <= help.size();) {
            size_t nl = std::min(help.find('\n', from), help.size());
            if (from > 0)
                text += std::string(kColumn, ' ');
            text.append(help.substr(from, nl - from)).append("\n");
            from = nl + 1;
        }
    };
    for (const OptionEntry& option : kOptions)
        add(option.name, option.value, option.help);
    add(kHelpOption, "", "show this text and exit");
    text += "\nSIGINT or SIGTERM stops the server.\n";
    return text;
}

} // namespace

int ParseArguments(int argc, char** argv, ServerOptions& options, std::string& out,
                   std::string& error) {
    options.accounts = BuiltInAccounts();
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == kHelpOption || arg == "-h") {
            out = Usage();
            return 1;
        }
        const auto* option =
            std::find_if(std::begin(kOptions), std::end(kOptions),
                         [&](const OptionEntry& entry) { return entry.name == arg; });
        if (option == std::end(kOptions)) {
            error = "unknown option " + std::string(arg) + " (see --help)";
            return 2;
        }
        std::string_view value;
        if (!option->value.empty()) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return 2;
            }
            value = argv[++i];
        }
        if (!option->apply(value, options, error))
            return 2;
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return 2;
    }
    return 0;
}

std::vector<std::string_view> OptionNames() {
    std::vector<std::string_view> names;
    for (const OptionEntry& option : kOptions)
        names.push_back(option.name);
    names.push_back(kHelpOption);
    return names;
}

} // namespace olvex::demo
