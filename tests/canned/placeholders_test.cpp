#include "placeholders.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

PlaceholderValues Values() {
    PlaceholderValues v;
    v.visitor = "Ann";
    v.operatorName = "Bob";
    v.date = "08/12/2026";
    v.time = "14:05";
    return v;
}

TEST(Placeholders, KnownKeysAreReplacedAndEverythingElseStaysAsWritten) {
    EXPECT_EQ(ExpandPlaceholders("Hi {visitor}, {operator} here. {date} {time}", Values()),
              "Hi Ann, Bob here. 08/12/2026 14:05");
    // Unknown keys, unclosed and doubled braces, other case: sent as written.
    EXPECT_EQ(ExpandPlaceholders("{name} {} {visitor {{visitor}} {Visitor} }{", Values()),
              "{name} {} {visitor {Ann} {Visitor} }{");
    EXPECT_EQ(ExpandPlaceholders("<a href='x'>it's</a> {", Values()), "<a href='x'>it's</a> {");
}

TEST(Placeholders, NamesAreTextAndAreNotExpandedAgain) {
    PlaceholderValues v = Values();
    v.visitor = "<b>{operator}</b> & \"Co\"";
    EXPECT_EQ(ExpandPlaceholders("Hi {visitor}!", v),
              "Hi &lt;b&gt;{operator}&lt;/b&gt; &amp; &quot;Co&quot;!");
    v.visitor.clear();
    EXPECT_EQ(ExpandPlaceholders("Hi {visitor}!", v), "Hi !");
}

} // namespace
} // namespace olvex
