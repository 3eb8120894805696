#include "canned_answer_store.h"
#include "product_info.h"
#include "result_code.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace olvex;
namespace fs = std::filesystem;

namespace {

std::string Int(int32_t value) {
    const auto raw = static_cast<uint32_t>(value);
    return {static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8 & 0xFF),
            static_cast<char>(raw >> 16 & 0xFF), static_cast<char>(raw >> 24 & 0xFF)};
}

std::string Counted(const std::string& text) {
    return Int(static_cast<int32_t>(text.size() + 1)) + text + '\0';
}

std::string Category(const std::string& name) {
    return Int(CannedCategoryMarker) + Counted(name);
}

std::string Answer(const std::string& title, const std::string& message) {
    return Int(CannedAnswerMarker) + Counted(title) + Counted(message);
}

CannedAnswerStore FromBytes(const std::string& bytes) {
    std::istringstream in(bytes, std::ios::binary);
    CannedAnswerStore store;
    store.Load(in);
    return store;
}

class CannedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("olvex_canned_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "canned.dat").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string ReadFile() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir;
    std::string path;
};

} // namespace

TEST(CannedFormat, OneAnswerIsTheThirtyFourByteExample) {
    CannedAnswerStore store;
    store.categories.push_back({"A", {{"T", "M"}}});
    const std::string expected("\x81\x38\x01\x00\x82\x38\x01\x00\x02\x00\x00\x00\x41\x00"
                               "\x83\x38\x01\x00\x02\x00\x00\x00\x54\x00\x02\x00\x00\x00\x4D\x00"
                               "\x84\x38\x01\x00",
                               34);
    EXPECT_EQ(store.ToBytes(), expected);
    EXPECT_EQ(FromBytes(expected), store);
}

TEST(CannedFormat, CountedStrings) {
    std::ostringstream out;
    EXPECT_EQ(WriteCountedString(out, std::nullopt), 0);
    EXPECT_EQ(WriteCountedString(out, ""), 0);
    EXPECT_EQ(WriteCountedString(out, std::string("ab\0cd", 5)), 0); // readers stop at the zero
    EXPECT_EQ(out.str(), Int(0) + Int(1) + std::string(1, '\0') + Int(3) + std::string("ab\0", 3));

    // The text ends at the first zero and never runs past the length.
    std::istringstream in(Int(6) + std::string("xy\0zzz", 6) + Int(2) + "pq");
    EXPECT_EQ(ReadCountedString(in), "xy");
    EXPECT_EQ(ReadCountedString(in), "pq");
    EXPECT_EQ(ReadCountedString(in), std::nullopt);
}

TEST(CannedFormat, HugeLengthFailsWithoutReadingPastTheEnd) {
    std::string bytes = Int(0x7FFFFFF0) + std::string(46, 'x');
    std::istringstream in(bytes);
    EXPECT_EQ(ReadCountedString(in), std::nullopt);
    EXPECT_TRUE(in.eof()); // like a short read: nothing left to take as a marker

    // In a file: the category before it stays, nothing after it is read.
    const std::string file = Int(CannedFileHeader) + Category("Kept") + Int(CannedAnswerMarker) +
                             Int(INT32_MAX) + std::string(20, 'y');
    const CannedAnswerStore store = FromBytes(file);
    ASSERT_EQ(store.categories.size(), 1u);
    EXPECT_EQ(store.categories[0], (CannedCategory{"Kept", {}}));
}

TEST(CannedFormat, HeaderDecidesBetweenEmptyAndContent) {
    EXPECT_TRUE(FromBytes("").categories.empty());
    EXPECT_TRUE(FromBytes(Int(CannedFileHeader).substr(0, 3)).categories.empty());
    EXPECT_TRUE(FromBytes(Int(80005) + Category("X") + Int(CannedEndMarker)).categories.empty());
    EXPECT_TRUE(FromBytes(Int(CannedFileHeader) + Int(CannedEndMarker)).categories.empty());
}

TEST(CannedFormat, DamagedRecordsAreSkipped) {
    const std::string file =
        Int(CannedFileHeader) + Answer("Orphan", "before any category") + Category("First") +
        Answer("a", "1") + Int(CannedCategoryMarker) +
        Int(0) // name unreadable: First stays current
        + Answer("b", "2") + Int(CannedAnswerMarker) + Int(-5) // title unreadable
        + Category("Second") + Int(CannedAnswerMarker) + Counted("no message") + Int(0) +
        Category("Second") + Answer("c", "3") + Int(CannedEndMarker) + Category("After end");
    const CannedAnswerStore store = FromBytes(file);
    ASSERT_EQ(store.categories.size(), 3u);
    EXPECT_EQ(store.categories[0], (CannedCategory{"First", {{"a", "1"}, {"b", "2"}}}));
    EXPECT_EQ(store.categories[1], (CannedCategory{"Second", {}}));
    EXPECT_EQ(store.categories[2], (CannedCategory{"Second", {{"c", "3"}}}));
}

TEST(CannedFormat, EarlyEndOrUnknownMarkerKeepsWhatWasRead) {
    const std::string start = Int(CannedFileHeader) + Category("C") + Answer("t", "m");
    const CannedCategory expected{"C", {{"t", "m"}}};
    for (const std::string& file :
         {start, start + Int(CannedAnswerMarker).substr(0, 2),
          start + Int(CannedAnswerMarker) + Counted("t2") + Int(9) + "abc",
          start + Int(12345) + Answer("hidden", "x")}) {
        const CannedAnswerStore store = FromBytes(file);
        ASSERT_EQ(store.categories.size(), 1u);
        EXPECT_EQ(store.categories[0], expected);
    }
}

TEST_F(CannedFileTest, MissingFileGivesDefaultsAndCreatesNothing) {
    CannedAnswerStore store;
    store.Load(path);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(store.categories.size(), 2u);
    const CannedCategory& links = store.categories[0];
    EXPECT_EQ(links.name, "Links");
    ASSERT_EQ(links.answers.size(), 2u);
    EXPECT_EQ(links.answers[0].title, "Olvex Home");
    EXPECT_EQ(links.answers[0].message, std::string("<a href='http://") + product::kVendorHost +
                                            "/OlvexOverview.html' target='_blank'>Olvex Home</a>");
    EXPECT_EQ(links.answers[1].title, product::kVendorSiteName);
    EXPECT_EQ(links.answers[1].message, std::string("<a href='http://") + product::kVendorHost +
                                            "' target='_blank'>" + product::kVendorSiteName +
                                            "</a>");
    EXPECT_EQ(store.categories[1].name, "Greetings");
    ASSERT_EQ(store.categories[1].answers.size(), 2u);
    EXPECT_EQ(store.categories[1].answers[0].title, "Welcome");
    EXPECT_EQ(store.categories[1].answers[1].title, "Good bye");

    // A directory in the file's place cannot be opened as the file either.
    fs::create_directory(path);
    CannedAnswerStore again;
    again.Load(path);
    EXPECT_EQ(again, store);
}

TEST_F(CannedFileTest, EmptyFileGivesAnEmptyStoreAndStaysAsItIs) {
    std::ofstream(path, std::ios::binary).close();
    CannedAnswerStore store;
    store.Load(path);
    EXPECT_TRUE(store.categories.empty());
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(CannedFileTest, SaveLoadSaveIsByteForByteStable) {
    CannedAnswerStore store;
    store.categories = {
        {"Sales", {{"Price", "<b>Prices</b>\r\nsee <a href='x'>here</a>\n"}, {"", ""}}},
        {"Empty", {}},
        {"Sales", {{"Caf\xc3\xa9", "not UTF-8: \xff\xfe"}}},
        {"", {{"t", "m"}}},
    };
    ASSERT_EQ(store.Save(path), 0);
    const std::string first = ReadFile();
    EXPECT_EQ(first, store.ToBytes());

    CannedAnswerStore loaded;
    loaded.Load(path);
    EXPECT_EQ(loaded, store);
    ASSERT_EQ(loaded.Save(path), 0);
    EXPECT_EQ(ReadFile(), first);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
        << "no temporary file is left behind";
}

TEST_F(CannedFileTest, SaveCreatesTheDataDirectory) {
    const std::string nested = (dir / "data" / "Olvex" / "canned.dat").string();
    CannedAnswerStore store;
    store.LoadDefaults();
    ASSERT_EQ(store.Save(nested), 0);
    CannedAnswerStore loaded;
    loaded.Load(nested);
    EXPECT_EQ(loaded, store);
}

TEST_F(CannedFileTest, FailedSaveLeavesEverythingAsItWas) {
    CannedAnswerStore store;
    store.LoadDefaults();

    // The target is a directory that rename cannot replace.
    fs::create_directory(path);
    std::ofstream(dir / "canned.dat" / "inside") << "keep";
    EXPECT_EQ(store.Save(path), ResultCode::FileSave);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // The directory cannot exist because a file holds its name.
    std::ofstream(dir / "blocker") << "x";
    EXPECT_EQ(store.Save((dir / "blocker" / "canned.dat").string()), ResultCode::FileSave);
}

TEST(CannedFilePath, FollowsXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/tmp/xdg-data/", 1);
    EXPECT_EQ(CannedFilePath(), "/tmp/xdg-data/Olvex/canned.dat");
    ::unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (home && *home && std::string(home) != "/") {
        EXPECT_EQ(CannedFilePath(), std::string(home) + "/.local/share/Olvex/canned.dat");
    }
    if (saved)
        ::setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
}
