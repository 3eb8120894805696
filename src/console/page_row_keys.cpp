#include "page_row_keys.h"

#include <algorithm>

namespace olvex {

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Reads a text from the left, one piece at a time; a piece that is not there leaves it as
// it was.
struct Scanner {
    std::string_view rest;

    bool AtEnd() const { return rest.empty(); }
    void SkipBlanks() {
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
    }
    bool Take(char c) {
        if (rest.empty() || rest.front() != c)
            return false;
        rest.remove_prefix(1);
        return true;
    }
    // Up to 15 digits, which a double holds exactly.
    std::optional<double> Integer() {
        size_t digits = 0;
        double value = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
            if (digits == 15)
                return {};
            value = value * 10 + (rest[digits] - '0');
            ++digits;
        }
        if (digits == 0)
            return {};
        rest.remove_prefix(digits);
        return value;
    }
    std::optional<double> Decimal() {
        auto value = Integer();
        if (!value || !Take('.'))
            return value;
        double scale = 0.1;
        while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') {
            *value += (rest.front() - '0') * scale;
            scale /= 10;
            rest.remove_prefix(1);
        }
        return value;
    }
    // A whole word, whatever its case.
    bool Word(std::string_view word) {
        if (rest.size() < word.size() || (rest.size() > word.size() && IsLetter(rest[word.size()])))
            return false;
        for (size_t i = 0; i < word.size(); ++i) {
            if (Lower(rest[i]) != word[i])
                return false;
        }
        rest.remove_prefix(word.size());
        return true;
    }
    bool AnyWord(std::initializer_list<std::string_view> words) {
        return std::any_of(words.begin(), words.end(), [this](auto word) { return Word(word); });
    }
    bool AtEndAfterBlanks() {
        SkipBlanks();
        return AtEnd();
    }
};

// A date as a count of days that sorts; day and month are not checked.
std::optional<double> DateValue(Scanner& in) {
    Scanner date = in;
    const auto first = date.Integer();
    if (!first || date.AtEnd())
        return {};
    const char separator = date.rest.front();
    if (separator != '-' && separator != '/')
        return {};
    date.Take(separator);
    const auto second = date.Integer();
    if (!second || !date.Take(separator))
        return {};
    const auto third = date.Integer();
    if (!third)
        return {};
    in = date;
    // 2024-06-11, or 6/11/2024 with the year last.
    const bool yearFirst = separator == '-';
    const double year = yearFirst ? *first : *third;
    const double month = yearFirst ? *second : *first;
    const double day = yearFirst ? *third : *second;
    return (year * 13 + month) * 32 + day;
}

std::optional<double> TimeOfDay(Scanner& in) {
    Scanner clock = in;
    auto hours = clock.Integer();
    if (!hours || !clock.Take(':'))
        return {};
    const auto minutes = clock.Integer();
    if (!minutes)
        return {};
    double seconds = 0;
    if (clock.Take(':')) {
        const auto read = clock.Decimal();
        if (!read)
            return {};
        seconds = *read;
    }
    clock.SkipBlanks();
    if (clock.AnyWord({"am", "a.m."}))
        *hours = *hours == 12 ? 0 : *hours;
    else if (clock.AnyWord({"pm", "p.m."}))
        *hours = (*hours == 12 ? 0 : *hours) + 12;
    in = clock;
    return *hours * 3600 + *minutes * 60 + seconds;
}

std::optional<double> Duration(Scanner& in) {
    const auto amount = in.Decimal();
    if (!amount)
        return {};
    in.SkipBlanks();
    double unit = 1;
    if (in.Word("ms"))
        unit = 0.001;
    else if (in.AnyWord({"min", "mins", "minute", "minutes"}))
        unit = 60;
    else
        in.AnyWord({"s", "sec", "secs", "second", "seconds"});
    return *amount * unit;
}

} // namespace

std::string Folded(std::string_view text, FoldText fold) {
    if (fold && !IsAscii(text))
        return fold(text);
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), Lower);
    return folded;
}

bool ContainsFolded(std::string_view text, std::string_view foldedNeedle, FoldText fold) {
    if (foldedNeedle.empty())
        return true;
    if (IsAscii(text)) {
        return std::search(text.begin(), text.end(), foldedNeedle.begin(), foldedNeedle.end(),
                           [](char c, char folded) { return Lower(c) == folded; }) != text.end();
    }
    return Folded(text, fold).find(foldedNeedle) != std::string::npos;
}

int Compare(const SortKey& first, const SortKey& second) {
    if (first.hasValue != second.hasValue)
        return first.hasValue ? -1 : 1;
    if (first.hasValue && first.value != second.value)
        return first.value < second.value ? -1 : 1;
    const int texts = first.text.compare(second.text);
    return texts < 0 ? -1 : texts > 0 ? 1 : 0;
}

std::optional<double> LoadTimeValue(std::string_view text) {
    Scanner in{text};
    in.SkipBlanks();
    const auto days = DateValue(in);
    if (days) {
        in.SkipBlanks();
        in.Take('T');
        if (in.AtEndAfterBlanks())
            return *days * 86400;
    }
    if (const auto time = TimeOfDay(in)) {
        if (!in.AtEndAfterBlanks())
            return {};
        return days.value_or(0) * 86400 + *time;
    }
    if (days)
        return {};
    const auto duration = Duration(in);
    if (!duration || !in.AtEndAfterBlanks())
        return {};
    return duration;
}

std::optional<double> Ipv4Value(std::string_view text) {
    Scanner in{text};
    in.SkipBlanks();
    double value = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && !in.Take('.'))
            return {};
        const size_t before = in.rest.size();
        const auto number = in.Integer();
        if (!number || *number > 255 || before - in.rest.size() > 3)
            return {};
        value = value * 256 + *number;
    }
    if (!in.AtEndAfterBlanks())
        return {};
    return value;
}

} // namespace olvex
