#include "transcript_view.h"

#include "readable_colours.h"
#include "rtf_writer.h"

#include <QDateTime>
#include <QFont>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace olvex {

namespace {

// What counts as an address in the transcript. Trailing punctuation is left
// out so that "see www.x.example." underlines only the address.
const QRegularExpression& AddressPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"((?:(?:https?|ftp|file)://|mailto:|www\.)[^\s<>"]+)"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

qsizetype TrimmedAddressLength(const QString& text, qsizetype start, qsizetype length) {
    static const QString trailing = QStringLiteral(".,;:!?)]}'");
    while (length > 0 && trailing.contains(text.at(start + length - 1)))
        --length;
    return length;
}

void InsertWithAddresses(QTextCursor& cursor, const QString& text, const QTextCharFormat& format) {
    qsizetype done = 0;
    auto matches = AddressPattern().globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        const qsizetype start = match.capturedStart();
        const qsizetype length = TrimmedAddressLength(text, start, match.capturedLength());
        if (length == 0)
            continue;
        if (start > done)
            cursor.insertText(text.mid(done, start - done), format);
        // Underline only: no anchor, so nothing in the view can follow it.
        QTextCharFormat address = format;
        address.setFontUnderline(true);
        cursor.insertText(text.mid(start, length), address);
        done = start + length;
    }
    if (done < text.size())
        cursor.insertText(text.mid(done), format);
}

} // namespace

TranscriptView::TranscriptView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(false);
    setUndoRedoEnabled(false);
    // No LinksAccessibleByMouse: underlined addresses are for display only.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(9);
    document()->setDefaultFont(font);
}

void TranscriptView::AppendPlain(const QString& text, const QColor& colour) {
    AppendStyled(text, colour, false, false);
    if (lineObserver) {
        lineObserver(colour == kLinkColour ? LineKind::Link : LineKind::Text, pendingName,
                     pendingOwn, text);
    }
    pendingName.clear();
    pendingOwn = false;
}

void TranscriptView::AppendBold(const QString& text, const QColor& colour) {
    AppendStyled(text, colour, false, true);
}

void TranscriptView::AppendLine(const QString& text, const QColor& colour, bool bold,
                                int64_t time) {
    if (time == 0) {
        AppendStyled(text, colour, false, bold);
        return;
    }
    QTextCharFormat stamp;
    stamp.setForeground(kTimeColour);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    cursor.insertText(QDateTime::fromMSecsSinceEpoch(time).toString(QStringLiteral("HH:mm ")),
                      stamp);
    cursor.endEditBlock();
    AppendStyled(text, colour, false, bold);
}

void TranscriptView::AppendStyled(const QString& text, const QColor& colour, bool underline,
                                  bool bold) {
    // Only weight, underline and colour are set; face and size stay the
    // document's default.
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setFontUnderline(underline);
    format.setProperty(kPaperColourProperty, colour);
    format.setForeground(ShownColour(colour));

    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    InsertWithAddresses(cursor, text, format);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.endEditBlock();
    ScrollToEnd();
}

void TranscriptView::AppendNameLine(const QString& name, bool own, int64_t time) {
    AppendLine(name + QLatin1Char(':'), own ? kOwnNameColour : kOtherNameColour, true, time);
    pendingName = name;
    pendingOwn = own;
}

void TranscriptView::AppendEvent(const QString& text, LineKind kind, int64_t time) {
    AppendLine(text, kEventColour, true, time);
    if (lineObserver)
        lineObserver(kind, QString(), false, text);
}

QColor TranscriptView::ShownColour(const QColor& paper) const {
    return ReadableOn(paper, palette().color(QPalette::Active, QPalette::Base));
}

void TranscriptView::changeEvent(QEvent* event) {
    QTextEdit::changeEvent(event);
    if (event->type() != QEvent::PaletteChange)
        return;
    // Lines keep their colours' hues on a new background, lighter or darker as it needs.
    UsePaperColours(*document(), [this](const QColor& paper) { return ShownColour(paper); });
}

void TranscriptView::ScrollToEnd() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void ShowReceivedItem(TranscriptView& view, const ReceivedChatItem& item) {
    switch (item.action) {
    case ReceivedChatItem::Action::ShowText:
        view.AppendNameLine(QString::fromStdString(item.sender), false);
        view.AppendPlain(QString::fromStdString(item.text), kTextColour);
        break;
    case ReceivedChatItem::Action::ShowNotice:
        view.AppendEvent(QString::fromStdString(item.text), LineKind::Notice);
        break;
    default:
        break;
    }
}

void ShowArchivedLines(TranscriptView& view, const std::vector<ArchivedLine>& lines) {
    for (const ArchivedLine& line : lines) {
        switch (line.kind) {
        case LineKind::Text:
        case LineKind::Link:
            if (!line.name.empty())
                view.AppendNameLine(QString::fromStdString(line.name), line.party == PartyKind::Own,
                                    line.time);
            view.AppendPlain(QString::fromStdString(line.text),
                             line.kind == LineKind::Link ? kLinkColour : kTextColour);
            break;
        default:
            view.AppendEvent(QString::fromStdString(line.text), line.kind, line.time);
            break;
        }
    }
}

} // namespace olvex
