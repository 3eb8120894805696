#include "server_options.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace olvex::demo {
namespace {

class AccountsFileTest : public testing::Test {
protected:
    std::string Write(const std::string& text) {
        std::ofstream(path_) << text;
        return path_;
    }
    void TearDown() override { std::remove(path_.c_str()); }
    std::string path_ = testing::TempDir() + "accounts-" + std::to_string(::getpid()) + ".txt";
};

TEST_F(AccountsFileTest, ReadsAccountsSkippingCommentsAndBlankLines) {
    std::vector<Account> accounts;
    std::string error;
    ASSERT_TRUE(LoadAccounts(Write("# operators\n\ncarol secret Carol Van Dyke\r\n"
                                   "  dave pw Dave\n"),
                             accounts, error))
        << error;
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_EQ(accounts[0].userName, "carol");
    EXPECT_EQ(accounts[0].password, "secret");
    EXPECT_EQ(accounts[0].firstName, "Carol");
    EXPECT_EQ(accounts[0].lastName, "Van Dyke");
    EXPECT_EQ(accounts[1].lastName, "");
}

TEST_F(AccountsFileTest, RefusesUnusableFiles) {
    const std::vector<std::string> bad{
        "",                                    // no account at all
        "carol secret\n",                      // no first name
        "carol secret Carol X\ncarol b B B\n", // the same user twice
        "carol se<~>cret Carol X\n",           // would split the log-in fields
    };
    for (const std::string& text : bad) {
        std::vector<Account> accounts = BuiltInAccounts();
        std::string error;
        EXPECT_FALSE(LoadAccounts(Write(text), accounts, error)) << text;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(accounts.size(), 3u) << "a refused file changes nothing";
    }
    std::vector<Account> accounts;
    std::string error;
    EXPECT_FALSE(LoadAccounts(path_ + ".missing", accounts, error));
}

int Parse(std::vector<std::string> words, ServerOptions& options, std::string& out) {
    words.insert(words.begin(), "olvex-demo-server");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    std::string error;
    return ParseArguments(int(argv.size()), argv.data(), options, out, error);
}

TEST(ServerOptionsTest, ParsesOptionsAndRefusesBadValues) {
    ServerOptions options;
    std::string out;
    ASSERT_EQ(Parse({"--listen", "127.0.0.1:0", "--seed", "9", "--visitors", "10000",
                     "--request-every", "0.5", "--quiet", "--latest-version", "16"},
                    options, out),
              0);
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.seed, 9u);
    EXPECT_EQ(options.visitors, 10000);
    EXPECT_DOUBLE_EQ(options.requestEvery, 0.5);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.latestVersion, 16);
    EXPECT_EQ(options.accounts.size(), 3u);

    for (auto words : std::vector<std::vector<std::string>>{{"--listen", "127.0.0.1"},
                                                            {"--listen", "127.0.0.1:70000"},
                                                            {"--visitors", "-1"},
                                                            {"--request-every", "soon"},
                                                            {"--seed"},
                                                            {"--tls-cert", "c.pem"},
                                                            {"--tls-key", "k.pem"},
                                                            {"--verbose"}}) {
        ServerOptions ignored;
        EXPECT_EQ(Parse(words, ignored, out), 2) << words[0];
    }
}

TEST(ServerOptionsTest, HelpDocumentsEveryOption) {
    ServerOptions options;
    std::string out;
    ASSERT_EQ(Parse({"--help"}, options, out), 1);
    const auto names = OptionNames();
    EXPECT_EQ(names.size(), 12u);
    // Each option starts a line of its own, so a mention in another's text does not count.
    for (std::string_view option : names)
        EXPECT_NE(out.find("\n  " + std::string(option) + " "), std::string::npos) << option;
}

} // namespace
} // namespace olvex::demo
