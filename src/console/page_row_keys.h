#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace olvex {

// Folds a text's case for comparing. ASCII is folded without it; texts with other
// characters go through it when one is given (the console gives Qt's Unicode folding).
using FoldText = std::string (*)(std::string_view text);

std::string Folded(std::string_view text, FoldText fold);
// Whether `text` holds `foldedNeedle` (folded already), whatever the case.
bool ContainsFolded(std::string_view text, std::string_view foldedNeedle, FoldText fold);

// What a row is sorted by in one column: the column's value where it holds one, else its
// folded text. Rows with a value come before rows without one.
struct SortKey {
    bool hasValue = false;
    double value = 0;
    std::string text;
};
// Negative, zero or positive, as the first key sorts above, with, or below the second.
int Compare(const SortKey& first, const SortKey& second);

// The load time as the server wrote it, as a number that sorts: a time of day ("9:05",
// "21:05:30", "9:05:30 PM"), optionally after a date ("2024-06-11", "6/11/2024"), or a
// duration ("850 ms", "1.25 s", "2 min"); nothing for any other text.
std::optional<double> LoadTimeValue(std::string_view text);
// A dotted IPv4 address as a number; nothing for any other text.
std::optional<double> Ipv4Value(std::string_view text);

} // namespace olvex
