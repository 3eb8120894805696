// canned.dat cut short or spoilt at any byte: the store keeps the records before the damage,
// exactly as written, and never invents one.
#include "canned_answer_store.h"

#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace olvex {
namespace {

CannedAnswerStore Written() {
    CannedAnswerStore store;
    store.categories = {
        {"Greetings", {{"Hello", "Hello, how can I help?"}, {"Bye", "Thanks for\r\nchatting."}}},
        {"Empty", {}},
        {"Links", {{"Home", "<a href='http://example.net/'>Home</a>"}, {"", ""}}},
        {"Greetings", {{"Again", std::string(300, 'x')}}},
    };
    return store;
}

CannedAnswerStore LoadBytes(const std::string& bytes) {
    std::istringstream in(bytes);
    CannedAnswerStore store;
    store.Load(in);
    return store;
}

// `read` holds whole categories of `written` in order, the last perhaps with only its first
// answers.
::testing::AssertionResult IsPrefixOf(const CannedAnswerStore& read,
                                      const CannedAnswerStore& written) {
    const auto& r = read.categories;
    const auto& w = written.categories;
    if (r.size() > w.size())
        return ::testing::AssertionFailure() << r.size() << " categories, more than written";
    for (size_t i = 0; i < r.size(); ++i) {
        if (r[i].name != w[i].name)
            return ::testing::AssertionFailure() << "category " << i << " is " << r[i].name;
        const bool last = i + 1 == r.size();
        if (!last && r[i].answers != w[i].answers)
            return ::testing::AssertionFailure() << "answers of category " << i << " differ";
        if (r[i].answers.size() > w[i].answers.size() ||
            !std::equal(r[i].answers.begin(), r[i].answers.end(), w[i].answers.begin()))
            return ::testing::AssertionFailure() << "answers of category " << i << " differ";
    }
    return ::testing::AssertionSuccess();
}

size_t AnswerCount(const CannedAnswerStore& store) {
    size_t count = 0;
    for (const auto& category : store.categories)
        count += category.answers.size();
    return count;
}

TEST(DamagedCannedFile, EveryCutKeepsTheRecordsBeforeIt) {
    const CannedAnswerStore written = Written();
    const std::string whole = written.ToBytes();
    size_t categories = 0, answers = 0;
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        const CannedAnswerStore read = LoadBytes(whole.substr(0, cut));
        ASSERT_TRUE(IsPrefixOf(read, written)) << "cut at " << cut;
        // A longer file never yields less.
        ASSERT_GE(read.categories.size(), categories) << "cut at " << cut;
        ASSERT_GE(AnswerCount(read), answers) << "cut at " << cut;
        categories = read.categories.size();
        answers = AnswerCount(read);
    }
    // Only the end marker missing: everything is there.
    EXPECT_EQ(LoadBytes(whole.substr(0, whole.size() - 4)), written);
    EXPECT_EQ(LoadBytes(whole), written);
}

TEST(DamagedCannedFile, OverwrittenBytesNeverCrashOrInventRecords) {
    const CannedAnswerStore written = Written();
    const std::string whole = written.ToBytes();
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = whole;
        // Junk from some point on: what comes before it stays whole.
        const size_t from = 4 + random() % (bytes.size() - 4);
        for (size_t i = from; i < bytes.size(); ++i)
            bytes[i] = char(random());
        const CannedAnswerStore read = LoadBytes(bytes);
        const CannedAnswerStore before = LoadBytes(whole.substr(0, from));
        // The junk may only add to the last category read or look like new records; the
        // records wholly before the damage are all there, in order.
        ASSERT_GE(read.categories.size(), before.categories.size()) << "junk from " << from;
        for (size_t i = 0; i + 1 < before.categories.size(); ++i)
            ASSERT_EQ(read.categories[i], before.categories[i]) << "junk from " << from;
    }
}

} // namespace
} // namespace olvex
