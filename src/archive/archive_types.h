#pragma once

#include <cstdint>
#include <string>

namespace olvex {

// How a line was shown in the call window.
enum class LineKind : int32_t { Text = 1, Link = 2, Event = 3, Push = 4, Notice = 5 };

// Who a line is from. Event lines are from nobody.
enum class PartyKind : int32_t { None = 0, Visitor = 1, Operator = 2, Own = 3 };

struct ArchivedLine {
    int64_t time = 0; // milliseconds since the epoch
    std::string name; // the sender as shown, without the colon
    PartyKind party = PartyKind::None;
    LineKind kind = LineKind::Text;
    std::string text; // exactly as shown
};

// One call as the History window lists it.
struct ConversationSummary {
    int64_t id = 0;
    int32_t callId = 0;
    int64_t started = 0; // milliseconds since the epoch
    int64_t ended = 0;   // 0: the program stopped before the call ended
    std::string operatorName;
    std::string visitors;  // names joined by ", "
    std::string operators; // colleagues who took part, joined by ", "
    int64_t lineCount = 0;
    int64_t hits = 0; // lines matching the search it came from
};

// The schema this program writes; older files are migrated, newer ones left alone.
inline constexpr int kArchiveSchemaVersion = 1;

// $XDG_DATA_HOME/Olvex/history.sqlite, or ~/.local/share/Olvex/history.sqlite.
std::string HistoryFilePath();

int64_t ArchiveNowMs();

} // namespace olvex
