#include "composing.h"

#include <gtest/gtest.h>

using namespace olvex;

TEST(FormEncode, KeepsUnreservedAndEscapesEveryOtherByteInLowercaseHex) {
    EXPECT_EQ(FormEncode("x y/z"), "x+y%2fz");
    EXPECT_EQ(FormEncode("http://a.example/p q?x=1&y='2'"),
              "http%3a%2f%2fa.example%2fp+q%3fx%3d1%26y%3d%272%27");
    EXPECT_EQ(FormEncode("AZaz09*-._"), "AZaz09*-._");
    EXPECT_EQ(FormEncode(std::string("\xc3\xa9\xff\x00~", 5)), "%c3%a9%ff%00%7e");
    EXPECT_EQ(FormEncode(""), "");
}

TEST(CompleteUrl, SchemesKeptOnlyWhereTheActionAcceptsThem) {
    struct Case {
        const char* typed;
        const char* link; // Link and Push
        const char* image;
    } cases[] = {
        {"www.example.com/a", "http://www.example.com/a", "http://www.example.com/a"},
        {"https://x.example", "https://x.example", "https://x.example"},
        {"ftp://files.example/f", "ftp://files.example/f", "http://ftp://files.example/f"},
        {"mailto:a@b.example", "mailto:a@b.example", "http://mailto:a@b.example"},
        {"HTTP://X.EXAMPLE", "http://HTTP://X.EXAMPLE", "http://HTTP://X.EXAMPLE"},
        {" http://x", "http:// http://x", "http:// http://x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(CompleteUrl(c.typed, UrlAction::Link), c.link);
        EXPECT_EQ(CompleteUrl(c.typed, UrlAction::Push), c.link);
        EXPECT_EQ(CompleteUrl(c.typed, UrlAction::Image), c.image);
    }
}

TEST(Fragments, TargetIsEncodedAndLinkTextIsNot) {
    EXPECT_EQ(LinkFragment("http://a.example/x y"),
              "<a href='http%3a%2f%2fa.example%2fx+y' target='_blank'>http://a.example/x y</a>");
    EXPECT_EQ(ImageFragment("http://a.example/i.png"),
              "<img src='http%3a%2f%2fa.example%2fi.png'></img>");
}

TEST(ReplaceApostrophes, EveryApostropheBecomesABackquote) {
    EXPECT_EQ(ReplaceApostrophes("it's <a href='x'>"), "it`s <a href=`x`>");
    EXPECT_EQ(ReplaceApostrophes("\"plain\""), "\"plain\"");
}

TEST(BuildChatItem, TypingNoticeHasNoContentField) {
    WireMessage typing = BuildChatItem(ChatItemKind::Typing, "ann");
    EXPECT_EQ(typing.Code(), 3003);
    EXPECT_EQ(typing.FieldCount(), 2);
    EXPECT_EQ(typing.GetInt(1), 2);
    EXPECT_EQ(typing.GetText(2), "ann");

    WireMessage text = BuildChatItem(ChatItemKind::Text, "ann", "hi <b>");
    EXPECT_EQ(text.FieldCount(), 3);
    EXPECT_EQ(text.GetText(3), "hi <b>");
}

TEST(TypingNoticeThrottle, FirstKeyThenAtMostOnePerThreeSeconds) {
    int64_t now = 1000;
    TypingNoticeThrottle throttle([&now] { return now; });
    std::vector<int64_t> sent;
    // A key held down from t=1000 to t=1010, repeating every second.
    for (; now <= 1010; ++now) {
        if (throttle.KeyPressed())
            sent.push_back(now);
    }
    EXPECT_EQ(sent, (std::vector<int64_t>{1000, 1003, 1006, 1009}));
}

TEST(TypingNoticeThrottle, ClockSetBackDoesNotSilenceNotices) {
    int64_t now = 5000;
    TypingNoticeThrottle throttle([&now] { return now; });
    EXPECT_TRUE(throttle.KeyPressed());
    now = 100;
    EXPECT_TRUE(throttle.KeyPressed());
    EXPECT_FALSE(throttle.KeyPressed());
    EXPECT_EQ(throttle.LastSent(), 100);
}
