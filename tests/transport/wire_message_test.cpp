#include "result_code.h"
#include "wire_message.h"

#include <gtest/gtest.h>
#include <string>

using olvex::WireMessage;
using namespace std::string_literals;

namespace {
WireMessage Received(std::string payload) {
    WireMessage message;
    message.SetPayload(std::move(payload));
    return message;
}
} // namespace

TEST(WireMessage, BuildsPayloadsFieldByField) {
    WireMessage status(1003);
    status.AddInt(2);
    EXPECT_EQ(status.Payload(), "10032<~>");
    EXPECT_EQ(status.Length(), 8);

    WireMessage login(1001);
    login.AddText("abc");
    login.AddText("de");
    EXPECT_EQ(login.Length(), 15);
    EXPECT_EQ(login.Payload(), "1001abc<~>de<~>");

    WireMessage invite(4003);
    invite.AddInt(7);
    invite.AddText(static_cast<const char*>(nullptr));
    EXPECT_EQ(invite.Payload(), "40037<~><~>");

    WireMessage negative(9002);
    negative.AddInt(-24);
    EXPECT_EQ(negative.Payload(), "9002-24<~>");

    EXPECT_EQ(WireMessage(5001).Payload(), "5001");
    EXPECT_EQ(WireMessage(42).Payload(), "  42");
}

TEST(WireMessage, EmptyMessageRefusesFieldsAndSending) {
    WireMessage empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.AddText("x"), olvex::ResultCode::MessageEmpty);
    EXPECT_EQ(empty.AddInt(1), olvex::ResultCode::MessageEmpty);
    EXPECT_EQ(empty.Length(), 0);
    EXPECT_FALSE(empty.GetText(1).has_value());
    EXPECT_EQ(empty.GetInt(1), -16);
}

TEST(WireMessage, ReadsFieldsByNumber) {
    auto status = Received("10032<~>");
    EXPECT_EQ(status.Code(), 1003);
    EXPECT_EQ(status.GetInt(1), 2);
    EXPECT_EQ(status.GetInt(2), -16);
    EXPECT_EQ(status.GetInt(0), 2) << "numbers below 1 read field 1";

    auto answer = Received("9001<~>5<~>");
    EXPECT_EQ(answer.GetInt(1), -16) << "an empty field reads as missing";
    EXPECT_FALSE(answer.GetText(1).has_value());
    EXPECT_EQ(answer.GetInt(2), 5);

    auto letters = Received("abcd1<~>");
    EXPECT_EQ(letters.Code(), 0);
    EXPECT_EQ(letters.GetInt(1), 1);

    auto unterminated = Received("9001<~>1003<~>7");
    EXPECT_EQ(unterminated.GetInt(2), 1003);
    EXPECT_EQ(unterminated.GetInt(3), -16) << "a field without its terminator is absent";

    auto blanks = Received("9001  -12abc<~>+7<~>x<~>");
    EXPECT_EQ(blanks.GetInt(1), -12);
    EXPECT_EQ(blanks.GetInt(2), 7);
    EXPECT_EQ(blanks.GetInt(3), 0) << "no digits read as 0";
}

TEST(WireMessage, TerminatorInsideATextSplitsTheField) {
    WireMessage message(3003);
    message.AddText("a<~>b");
    message.AddText("c");
    EXPECT_EQ(*message.GetText(1), "a");
    EXPECT_EQ(*message.GetText(2), "b");
    EXPECT_EQ(*message.GetText(3), "c");
    EXPECT_EQ(message.FieldCount(), 3);

    // Near misses of the terminator stay inside their field.
    WireMessage tricky(3003);
    tricky.AddText("x<~");
    tricky.AddText("<");
    tricky.AddText("~>");
    EXPECT_EQ(*tricky.GetText(1), "x<~");
    EXPECT_EQ(*tricky.GetText(2), "<");
    EXPECT_EQ(*tricky.GetText(3), "~>");
    auto reread = Received(tricky.Payload());
    EXPECT_EQ(*reread.GetText(1), "x<~");
    EXPECT_EQ(*reread.GetText(3), "~>");
}

TEST(WireMessage, ReceivedCodeRules) {
    WireMessage message;
    EXPECT_EQ(message.SetPayload("-123<~>"), -16);
    EXPECT_EQ(message.SetPayload("  42"), 4);
    EXPECT_EQ(message.Code(), 42);
    EXPECT_EQ(message.SetPayload("900"), 3);
    EXPECT_EQ(message.Code(), 0);
    EXPECT_EQ(message.GetInt(1), -16);
    EXPECT_EQ(message.SetPayload("90011<~>"), 8);
    EXPECT_EQ(message.Code(), 9001) << "only the first four characters make the code";
    EXPECT_EQ(message.GetInt(1), 1);
}

TEST(WireMessage, IntegersOutsideTheRangeAreClamped) {
    auto big = Received("90019999999999999<~>-9999999999999<~>");
    EXPECT_EQ(big.GetInt(1), 2147483647);
    EXPECT_EQ(big.GetInt(2), -2147483647 - 1);
}

TEST(WireMessage, CopiesAreIndependent) {
    WireMessage original(3003);
    original.AddInt(1);
    WireMessage copy = original;
    copy.AddText("more");
    EXPECT_EQ(original.FieldCount(), 1);
    EXPECT_EQ(copy.FieldCount(), 2);
    EXPECT_EQ(*copy.GetText(2), "more");
}
