#pragma once

#include "archive_types.h"
#include "call_texts.h"

#include <QColor>
#include <QTextEdit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace olvex {

// Colours of the transcript's line styles, as saved and printed; the screen shows each as
// ShownColour makes it.
inline const QColor kOwnNameColour{255, 0, 0};
inline const QColor kOtherNameColour{0, 0, 255};
inline const QColor kTextColour{64, 64, 64};
inline const QColor kLinkColour{0, 0, 255};
inline const QColor kEventColour{0, 128, 128};
// A line's time: muted, and still over 4.5:1 against the white page.
inline const QColor kTimeColour{102, 102, 102};

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

    // The line styles the call window writes. A line with a time (milliseconds since the
    // epoch; 0: none) starts with it as the local HH:MM.
    void AppendNameLine(const QString& name, bool own, int64_t time = 0);
    void AppendEvent(const QString& text, LineKind kind = LineKind::Event, int64_t time = 0);

    // Told of every line shown through the two calls above and AppendPlain: a name
    // line and the text under it come as one line, with the sender's name.
    using LineObserver =
        std::function<void(LineKind kind, const QString& name, bool own, const QString& text)>;
    void SetLineObserver(LineObserver observer) { lineObserver = std::move(observer); }

    // A line style's colour as shown: readable on the view's background.
    QColor ShownColour(const QColor& paper) const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void ScrollToEnd();
    void AppendLine(const QString& text, const QColor& colour, bool bold, int64_t time);

    LineObserver lineObserver;
    QString pendingName;
    bool pendingOwn = false;
};

// Writes a decoded item into the transcript: a blue name line and a grey text
// line, or a notice as an event line. Typing notices leave it alone.
void ShowReceivedItem(TranscriptView& view, const ReceivedChatItem& item);

// Writes archived lines into a transcript as the call window showed them.
void ShowArchivedLines(TranscriptView& view, const std::vector<ArchivedLine>& lines);

} // namespace olvex
