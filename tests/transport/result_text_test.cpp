#include "result_code.h"

#include <gtest/gtest.h>
#include <string>

using olvex::ResultText;

TEST(ResultText, CodesSharingASentence) {
    EXPECT_STREQ(ResultText(-2), ResultText(-5));
    EXPECT_STREQ(ResultText(-3), ResultText(-4));
    EXPECT_STREQ(ResultText(-4), ResultText(-8));
    EXPECT_STREQ(ResultText(-6), ResultText(-7));
    EXPECT_STREQ(ResultText(-2), "There was an error while connecting to the server.");
    EXPECT_STREQ(ResultText(-8), "There was an error while communicating with the server.");
}

TEST(ResultText, KeepsTheSystemsOwnWording) {
    EXPECT_STREQ(ResultText(-10), "The system failed to aquire the semaphore.");
    EXPECT_STREQ(ResultText(-32), "The web page visitor could not be not found.");
    EXPECT_STREQ(ResultText(-35), "You are already signed in to the Olvex server.");
    EXPECT_STREQ(ResultText(-24), "The supplied user credentials are not valid.");
}

TEST(ResultText, UnknownCodesGetTheDefault) {
    for (int code : {-9, -21, -26, -102, 0, 5, -1000000}) {
        EXPECT_STREQ(ResultText(code), "There was an unknown internal error.") << code;
    }
}
