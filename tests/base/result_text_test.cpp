#include "result_code.h"

#include <gtest/gtest.h>
#include <utility>

using olvex::ResultText;

// Every code with a sentence of its own, worded exactly as the system words it (typos included).
TEST(ResultText, EveryCodeOfTheTable) {
    const char* connecting = "There was an error while connecting to the server.";
    const char* communicating = "There was an error while communicating with the server.";
    const char* opening = "There was an error while opening the socket.";
    const std::pair<int, const char*> table[] = {
        {-1, "There was an error while initializing the socket."},
        {-2, connecting},
        {-3, communicating},
        {-4, communicating},
        {-5, connecting},
        {-6, opening},
        {-7, opening},
        {-8, communicating},
        {-10, "The system failed to aquire the semaphore."},
        {-11, "The specified file could not be opened."},
        {-12, "The specified file could not be read."},
        {-13, "The specified file could not be saved."},
        {-14, "The specified file is corrupted."},
        {-15, "The socket message size is not valid."},
        {-16, "The socket message format is not valid."},
        {-17, "The socket message is empty or corrupted."},
        {-18, "The socket message type is not valid."},
        {-19, "The socket message parameters are not valid."},
        {-20, "The socket message command is not valid."},
        {-22, "The system failed to create a new thread."},
        {-23, "The application version is not valid."},
        {-24, "The supplied user credentials are not valid."},
        {-25, "The server reached the maximum number of connections."},
        {-27, "The specified user is not online."},
        {-28, "The chat session could not be found."},
        {-29, "The chat session invitation is not valid."},
        {-30, "The IP address could not be validated."},
        {-31, "The IP address could not be authenticated."},
        {-32, "The web page visitor could not be not found."},
        {-33, "The communication channel could not be found."},
        {-34, "The communication channel is already opened."},
        {-35, "You are already signed in to the Olvex server."},
        {-45, "The specified file already exists."},
        {-46, "The specified file could not be found."},
        {-100, "The server could not connect to the database."},
        {-101, "The server failed to execute the SQL command."},
    };
    for (const auto& [code, text] : table)
        EXPECT_STREQ(ResultText(code), text) << code;
}

TEST(ResultText, UnknownCodesGetTheDefault) {
    for (int code : {-9, -21, -26, -102, 0, 5, -1000000}) {
        EXPECT_STREQ(ResultText(code), "There was an unknown internal error.") << code;
    }
}
