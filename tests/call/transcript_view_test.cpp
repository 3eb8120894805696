#include "composing.h"
#include "readable_colours.h"
#include "rtf_writer.h"
#include "transcript_view.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <gtest/gtest.h>

using namespace olvex;

namespace {

struct Span {
    QString text;
    QColor colour;
    bool bold;
    bool underline;
    bool anchor;
};

std::vector<std::vector<Span>> Lines(const QTextDocument& document) {
    std::vector<std::vector<Span>> lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        std::vector<Span> runs;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            runs.push_back({it.fragment().text(), PaperColour(f),
                            f.fontWeight() >= QFont::Bold, f.fontUnderline(), f.isAnchor()});
        }
        lines.push_back(runs);
    }
    return lines;
}

UserRecord User(int32_t id, int32_t kind, int32_t status, std::string first, std::string last) {
    UserRecord user;
    user.userId = id;
    user.kind = kind;
    user.status = status;
    user.firstName = std::move(first);
    user.lastName = std::move(last);
    return user;
}

} // namespace

TEST(TranscriptView, EachAppendIsOneLineInItsOwnStyle) {
    TranscriptView view;
    view.AppendNameLine("me", true);
    view.AppendPlain("hello", kTextColour);
    view.AppendNameLine("them", false);
    view.AppendPlain("http://x.example/", kLinkColour);
    view.AppendEvent("Ann has joined this call");
    view.AppendStyled("underlined", kTextColour, true, false);

    EXPECT_EQ(view.toPlainText(),
              "me:\nhello\nthem:\nhttp://x.example/\nAnn has joined this call\nunderlined\n");
    struct Style {
        QColor colour;
        bool bold, underline;
    } expected[] = {{{255, 0, 0}, true, false},   {{64, 64, 64}, false, false},
                    {{0, 0, 255}, true, false},   {{0, 0, 255}, false, true},
                    {{0, 128, 128}, true, false}, {{64, 64, 64}, false, true}};
    auto lines = Lines(*view.document());
    ASSERT_EQ(lines.size(), 7u); // the empty line after the last break
    EXPECT_TRUE(lines[6].empty());
    for (size_t i = 0; i < 6; ++i) {
        ASSERT_EQ(lines[i].size(), 1u) << i;
        EXPECT_EQ(lines[i][0].colour, expected[i].colour) << i;
        EXPECT_EQ(lines[i][0].bold, expected[i].bold) << i;
        EXPECT_EQ(lines[i][0].underline, expected[i].underline) << i;
    }
    EXPECT_EQ(view.document()->defaultFont().family(), "MS Sans Serif");
    EXPECT_EQ(view.document()->defaultFont().pointSize(), 9);
    EXPECT_TRUE(view.isReadOnly());
}

TEST(TranscriptView, MarkupFromTheOtherSideShowsLiterally) {
    TranscriptView view;
    const QString hostile = "<b>bold</b><img src='http://evil.example/x.png'><script>x()</script>"
                            "&amp;<a href='javascript:1'>y</a>";
    view.AppendPlain(hostile, kTextColour);
    EXPECT_EQ(view.toPlainText(), hostile + "\n");
    for (const auto& line : Lines(*view.document())) {
        for (const Span& run : line) {
            EXPECT_FALSE(run.bold) << run.text.toStdString();
            EXPECT_FALSE(run.anchor) << run.text.toStdString();
        }
    }
    EXPECT_EQ(view.toHtml().count("<img"), 0);
}

TEST(TranscriptView, AddressesAreUnderlinedButNotLinks) {
    TranscriptView view;
    view.AppendPlain("see www.x.example/a?b=1, or mail mailto:a@b.example.", kTextColour);
    auto line = Lines(*view.document()).front();
    std::vector<QString> underlined;
    for (const Span& run : line) {
        EXPECT_FALSE(run.anchor);
        EXPECT_EQ(run.colour, QColor(64, 64, 64));
        if (run.underline)
            underlined.push_back(run.text);
    }
    EXPECT_EQ(underlined, (std::vector<QString>{"www.x.example/a?b=1", "mailto:a@b.example"}));
    EXPECT_FALSE(view.textInteractionFlags() & Qt::LinksAccessibleByMouse);
    EXPECT_FALSE(view.textInteractionFlags() & Qt::LinksAccessibleByKeyboard);
}

TEST(ReceivedChatItems, OnlyCompleteItemsReachTheTranscript) {
    TranscriptView view;
    auto show = [&view](WireMessage item) {
        ReceivedChatItem decoded = DecodeChatItem(item);
        ShowReceivedItem(view, decoded);
        return decoded;
    };

    ReceivedChatItem text = show(BuildChatItem(ChatItemKind::Text, "Bob", "hi\nthere"));
    EXPECT_EQ(text.action, ReceivedChatItem::Action::ShowText);
    EXPECT_TRUE(text.Flashes());
    EXPECT_EQ(view.toPlainText(), "Bob:\nhi\nthere\n");

    // Empty text, empty sender, missing fields, pushes and unknown kinds: nothing.
    EXPECT_EQ(show(BuildChatItem(ChatItemKind::Text, "Bob", "")).action,
              ReceivedChatItem::Action::Drop);
    EXPECT_EQ(show(BuildChatItem(ChatItemKind::Text, "", "x")).action,
              ReceivedChatItem::Action::Drop);
    EXPECT_EQ(show(BuildChatItem(ChatItemKind::Text, "Bob")).action,
              ReceivedChatItem::Action::Drop);
    EXPECT_EQ(show(BuildChatItem(ChatItemKind::UrlPush, "Bob", "http%3a")).action,
              ReceivedChatItem::Action::Drop);
    WireMessage odd(3003);
    odd.AddText("seven");
    EXPECT_EQ(show(odd).action, ReceivedChatItem::Action::Drop);
    EXPECT_FALSE(show(WireMessage(3003)).Flashes());
    EXPECT_EQ(view.toPlainText(), "Bob:\nhi\nthere\n");

    ReceivedChatItem typing = show(BuildChatItem(ChatItemKind::Typing, "Bob"));
    EXPECT_EQ(typing.action, ReceivedChatItem::Action::ShowTyping);
    EXPECT_FALSE(typing.Flashes());
    EXPECT_EQ(TypingStatusText(typing.sender), "Bob is typing a message...");
    EXPECT_EQ(view.toPlainText(), "Bob:\nhi\nthere\n");

    // A notice ignores its sender field.
    ReceivedChatItem notice = show(BuildChatItem(ChatItemKind::Notice, "", "Queue full"));
    EXPECT_EQ(notice.action, ReceivedChatItem::Action::ShowNotice);
    EXPECT_TRUE(notice.Flashes());
    auto lines = Lines(*view.document());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3].front().text, "Queue full");
    EXPECT_TRUE(lines[3].front().bold);
    EXPECT_EQ(lines[3].front().colour, kEventColour);
}

TEST(EventTexts, NamesFollowTheParticipantKind) {
    const UserRecord op = User(7, 2, 1, "Ann", "Lee");
    const UserRecord visitor = User(9, 1, 1, "Guest 12", "ignored");
    const UserRecord other = User(4, 5, 1, "X", "Y");
    EXPECT_EQ(JoinedText(op), "Ann Lee has joined this call");
    EXPECT_EQ(LeftText(visitor), "Guest 12 has left this call");
    EXPECT_EQ(InvitedText(op), "Ann Lee has been invited to join this call");
    EXPECT_EQ(JoinedText(other), "");
    EXPECT_EQ(PushedUrlText("http://a.example"),
              "The http://a.example URL was pushed to the visitor.");
}

TEST(EventTexts, TitleNamesPresentParticipantsOtherThanTheOperator) {
    std::vector<UserRecord> participants = {
        User(1, 2, 1, "Me", "Self"),    User(7, 2, 2, "Ann", "Lee"),  User(8, 2, 0, "Gone", "Op"),
        User(9, 1, 1, "Guest", "Nope"), User(4, 5, 3, "Odd", "Kind"),
    };
    EXPECT_EQ(CallTitle(participants, 1), "Olvex Call - Ann Lee, Guest, Odd");
    EXPECT_EQ(CallTitle({participants[0], participants[2]}, 1), "Olvex Call");
    EXPECT_EQ(CallTitle({}, 1), "Olvex Call");
}

TEST(EventTexts, AnUndeliveredLineIsQuotedShortOnOneLineAndWholeCharacters) {
    EXPECT_EQ(NotDeliveredText("are you\tthere?\n"), "Not delivered: are you there? ");
    // Forty characters, then an ellipsis; a two-byte character is never cut in half.
    const std::string umlauts = "\xC3\xBC" + std::string(38, 'a') + "\xC3\xBC\xC3\xBC";
    EXPECT_EQ(NotDeliveredText(umlauts),
              "Not delivered: \xC3\xBC" + std::string(38, 'a') + "\xC3\xBC\xE2\x80\xA6");
    EXPECT_EQ(NotDeliveredText(std::string(40, 'b')), "Not delivered: " + std::string(40, 'b'));
}

TEST(TranscriptView, AWindowsLineBreakIsOneBreak) {
    TranscriptView view;
    view.AppendPlain("one\r\ntwo\rthree", kTextColour);
    EXPECT_EQ(view.toPlainText(), "one\ntwo\nthree\n");
}

TEST(TranscriptView, LinesReadOnADarkBackgroundAndKeepTheirColoursOnPaper) {
    TranscriptView view;
    view.setPalette(DarkPalette());
    view.AppendNameLine("Ann", true);
    view.AppendPlain("hello", kTextColour);
    view.AppendNameLine("Bob", false);
    view.AppendPlain("www.x.example", kLinkColour);
    view.AppendEvent("Bob has joined this call");
    auto shownOn = [&view](const QColor& base) {
        for (QTextBlock b = view.document()->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QColor shown = it.fragment().charFormat().foreground().color();
                EXPECT_GE(ContrastRatio(shown, base), kMinContrast)
                    << it.fragment().text().toStdString();
            }
        }
    };
    shownOn(DarkPalette().color(QPalette::Base));
    // Back to light: the same lines recoloured for white.
    view.setPalette(LightPalette());
    shownOn(LightPalette().color(QPalette::Base));
    // Files and paper get the colours the lines were written in.
    const auto lines = Lines(*view.document());
    EXPECT_EQ(lines[0].front().colour, kOwnNameColour);
    EXPECT_EQ(lines[3].front().colour, kLinkColour);
    const std::string rtf = WriteRtf(*view.document());
    EXPECT_NE(rtf.find("\\red255\\green0\\blue0;"), std::string::npos);
    EXPECT_NE(rtf.find("\\red0\\green128\\blue128;"), std::string::npos);
}
