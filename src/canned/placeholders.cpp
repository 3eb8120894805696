#include "placeholders.h"

#include <array>
#include <utility>

namespace olvex {

namespace {

void AppendEscaped(std::string& out, std::string_view value) {
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

} // namespace

std::string ExpandPlaceholders(std::string_view text, const PlaceholderValues& values) {
    const std::array<std::pair<std::string_view, const std::string*>, 4> keys{{
        {"{visitor}", &values.visitor},
        {"{operator}", &values.operatorName},
        {"{date}", &values.date},
        {"{time}", &values.time},
    }};
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t brace = text.find('{', i);
        if (brace == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, brace - i));
        i = brace;
        bool replaced = false;
        for (const auto& [key, value] : keys) {
            if (text.substr(i, key.size()) == key) {
                AppendEscaped(out, *value);
                i += key.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}

} // namespace olvex
