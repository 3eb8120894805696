#pragma once

#include <string>

namespace olvex::test {

// Certificates made for one run, as PEM files in a fresh temporary folder that
// goes away with the object. Keys are P-256.
struct TestPki {
    TestPki();
    ~TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

    std::string dir;
    std::string caFile;            // the authority that signed the server certificates below
    std::string otherCaFile;       // an authority that signed none of them
    std::string keyFile;           // the key of every server certificate
    std::string certFile;          // valid, for "localhost" and 127.0.0.1
    std::string expiredCertFile;   // the same names, expired yesterday
    std::string otherHostCertFile; // valid, for "chat.example" only
};

} // namespace olvex::test
