#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

// Record markers of canned.dat: 32-bit little-endian values.
inline constexpr int32_t CannedFileHeader = 80001;
inline constexpr int32_t CannedCategoryMarker = 80002;
inline constexpr int32_t CannedAnswerMarker = 80003;
inline constexpr int32_t CannedEndMarker = 80004;

struct CannedAnswer {
    std::string title;
    std::string message; // may hold HTML and line breaks

    bool operator==(const CannedAnswer&) const = default;
};

struct CannedCategory {
    std::string name; // need not be unique
    std::vector<CannedAnswer> answers;

    bool operator==(const CannedCategory&) const = default;
};

// The canned answers grouped by category, in file and display order. Each
// window that shows them loads its own copy; only the editor saves.
class CannedAnswerStore {
public:
    std::vector<CannedCategory> categories;

    // Fills the store from the file, or with the default set when the file
    // cannot be opened. A file with a wrong header gives an empty store; a
    // damaged one keeps whatever was read before the damage.
    void Load(const std::string& path);
    // The same from an already open stream (no defaults: the stream exists).
    void Load(std::istream& in);
    void LoadDefaults();

    // Replaces the file atomically: a temporary file in the same directory is
    // renamed over it once everything is written. Returns 0, or
    // ResultCode::FileSave with the old file untouched.
    int32_t Save(const std::string& path) const;
    // Writes the file image of the store. Returns 0, or -1 when a write fails
    // or a text is too long for its length field.
    int32_t Write(std::ostream& out) const;
    std::string ToBytes() const;

    bool operator==(const CannedAnswerStore&) const = default;
};

// One counted string: a 32-bit length N, then N bytes closed by a zero.
// Nothing when N is not positive or the stream ends inside the string; a
// length past the end of the stream consumes the rest without allocating it.
std::optional<std::string> ReadCountedString(std::istream& in);
// Writes the text up to its first zero byte, or N = 0 for no text.
// Returns 0, or -1 when a write fails.
int32_t WriteCountedString(std::ostream& out, std::optional<std::string_view> text);

// $XDG_DATA_HOME/Olvex/canned.dat, with ~/.local/share when XDG_DATA_HOME is unset.
std::string CannedFilePath();

} // namespace olvex
