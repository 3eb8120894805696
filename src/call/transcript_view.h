#pragma once

#include "archive_types.h"
#include "records.h"
#include "wire_message.h"

#include <QColor>
#include <QTextEdit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace olvex {

// Colours of the transcript's line styles.
inline const QColor kOwnNameColour{255, 0, 0};
inline const QColor kOtherNameColour{0, 0, 255};
inline const QColor kTextColour{64, 64, 64};
inline const QColor kLinkColour{0, 0, 255};
inline const QColor kEventColour{0, 128, 128};

// The read-only transcript of a call. It only grows at its end, one line per
// append. Everything is inserted as plain text, so markup from the other side
// shows literally; addresses are underlined for the eye but never opened.
class TranscriptView : public QTextEdit {
    Q_OBJECT
public:
    explicit TranscriptView(QWidget* parent = nullptr);

    void AppendPlain(const QString& text, const QColor& colour);
    void AppendBold(const QString& text, const QColor& colour);
    void AppendStyled(const QString& text, const QColor& colour, bool underline, bool bold);

    // The line styles the call window writes.
    void AppendNameLine(const QString& name, bool own);
    void AppendEvent(const QString& text, LineKind kind = LineKind::Event);

    // Told of every line shown through the two calls above and AppendPlain: a name
    // line and the text under it come as one line, with the sender's name.
    using LineObserver =
        std::function<void(LineKind kind, const QString& name, bool own, const QString& text)>;
    void SetLineObserver(LineObserver observer) { lineObserver = std::move(observer); }

private:
    void ScrollToEnd();

    LineObserver lineObserver;
    QString pendingName;
    bool pendingOwn = false;
};

// Event texts. Names follow the participant's kind: "first last" for an
// operator, the first name for a visitor; any other kind gives an empty line.
std::string ParticipantEventName(const UserRecord& user);
std::string JoinedText(const UserRecord& user);
std::string LeftText(const UserRecord& user);
std::string InvitedText(const UserRecord& user);
std::string PushedUrlText(const std::string& url);
std::string TypingStatusText(const std::string& sender);
inline constexpr const char* kCallClosedText = "This call has been closed.";
inline constexpr const char* kYouClosedText = "You have closed this call.";

// Participants named in the title and announced when the list arrives: all
// but the operator, and only those present.
bool IsShownParticipant(const UserRecord& user, int32_t ownUserId);
// "Olvex Call - " and the shown participants' names, or "Olvex Call".
std::string CallTitle(const std::vector<UserRecord>& participants, int32_t ownUserId);

// A typing notice in the status line is cleared once it is more than 3 s old.
bool TypingNoticeStale(int64_t lastReceived, int64_t now);

// What a received chat item asks of the window; copied out of the message on
// the engine's thread so the window can apply it on its own.
struct ReceivedChatItem {
    enum class Action { Drop, ShowText, ShowTyping, ShowNotice };
    Action action = Action::Drop;
    std::string sender; // ShowText, ShowTyping
    std::string text;   // ShowText, ShowNotice
    // Text and notice lines flash a window that is not in front.
    bool Flashes() const { return action == Action::ShowText || action == Action::ShowNotice; }
};
ReceivedChatItem DecodeChatItem(const WireMessage& item);

// Writes a decoded item into the transcript: a blue name line and a grey text
// line, or a notice as an event line. Typing notices leave it alone.
void ShowReceivedItem(TranscriptView& view, const ReceivedChatItem& item);

} // namespace olvex
