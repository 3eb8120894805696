#pragma once

#include <string>
#include <string_view>

namespace olvex {

// What the placeholders of a welcome message or a canned answer stand for when the line is
// sent. The texts are UTF-8; the names come from the network.
struct PlaceholderValues {
    std::string visitor;      // the visitor's name from the chat request
    std::string operatorName; // the operator's own first name
    std::string date;         // local, short format
    std::string time;         // local, short format
};

// Shown beside the fields that accept placeholders.
inline constexpr const char* kPlaceholderHint =
    "Placeholders, filled in when sent: {visitor} {operator} {date} {time}";

// Replaces {visitor}, {operator}, {date} and {time} in one pass: a value that itself holds
// braces is not expanded again. Any other brace is kept as written, and a text without
// placeholders comes back unchanged. Values are inserted with &, <, > and " written as
// entities, since chat lines may be HTML and names must never turn into markup.
std::string ExpandPlaceholders(std::string_view text, const PlaceholderValues& values);

} // namespace olvex
