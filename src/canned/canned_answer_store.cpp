#include "canned_answer_store.h"

#include "data_directory.h"
#include "product_info.h"
#include "result_code.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace olvex {

namespace {

bool ReadInt32(std::istream& in, int32_t& value) {
    std::array<unsigned char, 4> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    if (in.gcount() != static_cast<std::streamsize>(bytes.size()))
        return false;
    const uint32_t raw = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                         uint32_t{bytes[3]} << 24;
    value = static_cast<int32_t>(raw);
    return true;
}

bool WriteInt32(std::ostream& out, int32_t value) {
    const auto raw = static_cast<uint32_t>(value);
    const std::array<char, 4> bytes{
        static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8 & 0xFF),
        static_cast<char>(raw >> 16 & 0xFF), static_cast<char>(raw >> 24 & 0xFF)};
    return static_cast<bool>(out.write(bytes.data(), bytes.size()));
}

// Bytes between the read position and the end, or -1 when the stream cannot tell.
std::streamoff BytesLeft(std::istream& in) {
    const std::streampos here = in.tellg();
    if (here == std::streampos(-1))
        return -1;
    in.seekg(0, std::ios::end);
    const std::streampos end = in.tellg();
    in.seekg(here);
    if (end == std::streampos(-1) || !in)
        return -1;
    return end - here;
}

// Writes all of the bytes or fails, retrying short and interrupted writes.
bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int32_t ReplaceFile(const std::string& path, const std::string& bytes) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target(path);
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), error);

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return ResultCode::FileSave;
    // mkstemp makes the file private; keep the mode the old file had instead.
    struct stat old {};
    ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);

    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return ResultCode::FileSave;
    }
    return ResultCode::Ok;
}

CannedAnswer Link(std::string title, const std::string& url) {
    std::string message = "<a href='" + url + "' target='_blank'>" + title + "</a>";
    return CannedAnswer{std::move(title), std::move(message)};
}

} // namespace

std::optional<std::string> ReadCountedString(std::istream& in) {
    int32_t length = 0;
    if (!ReadInt32(in, length) || length <= 0)
        return std::nullopt;

    // A damaged length must not allocate what the file does not hold; the
    // position ends where a short read would have left it.
    const std::streamoff left = BytesLeft(in);
    if (left >= 0 && length > left) {
        in.seekg(0, std::ios::end);
        in.setstate(std::ios::eofbit | std::ios::failbit);
        return std::nullopt;
    }

    // Streams that cannot tell their size are read in slices for the same reason.
    constexpr size_t kSlice = 64 * 1024;
    const auto wanted = static_cast<size_t>(length);
    std::string buffer;
    while (buffer.size() < wanted) {
        const size_t slice = std::min(kSlice, wanted - buffer.size());
        const size_t at = buffer.size();
        buffer.resize(at + slice);
        in.read(buffer.data() + at, static_cast<std::streamsize>(slice));
        if (in.gcount() != static_cast<std::streamsize>(slice))
            return std::nullopt;
    }
    buffer.resize(std::min(buffer.find('\0'), buffer.size()));
    return buffer;
}

int32_t WriteCountedString(std::ostream& out, std::optional<std::string_view> text) {
    if (!text)
        return WriteInt32(out, 0) ? 0 : -1;
    // Readers stop at the first zero, so nothing after one could come back.
    const std::string_view stored = text->substr(0, std::min(text->find('\0'), text->size()));
    if (stored.size() >= static_cast<size_t>(INT32_MAX))
        return -1;
    if (!WriteInt32(out, static_cast<int32_t>(stored.size() + 1)))
        return -1;
    if (!out.write(stored.data(), static_cast<std::streamsize>(stored.size())) || !out.put('\0'))
        return -1;
    return 0;
}

void CannedAnswerStore::LoadDefaults() {
    using namespace product;
    categories.clear();
    const std::string home = std::string("http://") + kVendorHost;
    categories.push_back(CannedCategory{
        "Links", {Link("Olvex Home", home + kOverviewPath), Link(kVendorSiteName, home)}});
    categories.push_back(CannedCategory{
        "Greetings",
        {{"Welcome", "Hello, thank you for calling me. How can I help you today?"},
         {"Good bye", "It's been a pleasure chatting with you, please do not hesitate to contact "
                      "me again with any questions."}}});
}

void CannedAnswerStore::Load(const std::string& path) {
    std::error_code error;
    std::ifstream in;
    if (!std::filesystem::is_directory(path, error))
        in.open(path, std::ios::binary);
    if (!in.is_open()) {
        LoadDefaults();
        return;
    }
    // Parse from memory: the reader asks for the bytes left before every
    // string, and each seek on a file stream would drop its buffer.
    std::ostringstream image(std::ios::binary);
    image << in.rdbuf();
    std::istringstream bytes(std::move(image).str(), std::ios::binary);
    Load(bytes);
}

void CannedAnswerStore::Load(std::istream& in) {
    categories.clear();
    int32_t header = 0;
    if (!ReadInt32(in, header) || header != CannedFileHeader)
        return;

    // The current category is always the last one read: a category whose name
    // cannot be read leaves the one before it current.
    int32_t marker = 0;
    while (ReadInt32(in, marker)) {
        if (marker == CannedCategoryMarker) {
            if (auto name = ReadCountedString(in))
                categories.push_back(CannedCategory{std::move(*name), {}});
        } else if (marker == CannedAnswerMarker) {
            auto title = ReadCountedString(in);
            if (!title)
                continue;
            auto message = ReadCountedString(in);
            if (!message || categories.empty())
                continue;
            categories.back().answers.push_back(
                CannedAnswer{std::move(*title), std::move(*message)});
        } else {
            break; // the end marker, or something this reader cannot know
        }
    }
}

int32_t CannedAnswerStore::Write(std::ostream& out) const {
    bool ok = WriteInt32(out, CannedFileHeader);
    for (const CannedCategory& category : categories) {
        ok = ok && WriteInt32(out, CannedCategoryMarker) &&
             WriteCountedString(out, category.name) == 0;
        for (const CannedAnswer& answer : category.answers) {
            ok = ok && WriteInt32(out, CannedAnswerMarker) &&
                 WriteCountedString(out, answer.title) == 0 &&
                 WriteCountedString(out, answer.message) == 0;
        }
    }
    ok = ok && WriteInt32(out, CannedEndMarker);
    return ok ? 0 : -1;
}

std::string CannedAnswerStore::ToBytes() const {
    std::ostringstream out(std::ios::binary);
    Write(out);
    return std::move(out).str();
}

int32_t CannedAnswerStore::Save(const std::string& path) const {
    std::ostringstream out(std::ios::binary);
    if (Write(out) != 0)
        return ResultCode::FileSave;
    return ReplaceFile(path, out.str());
}

std::string CannedFilePath() {
    return product::DataDirectory() + "/canned.dat";
}

} // namespace olvex
