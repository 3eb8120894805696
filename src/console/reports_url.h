#pragma once

#include <QString>
#include <string>

namespace olvex {

inline constexpr const char* kBlankPage = "about:blank";

// The operator's reports page on the vendor's site. The user name and password are
// percent-encoded, so that "&", "#", "+" or a blank reach the server unchanged. With
// `secure` (TLS to the chat server) the page is fetched over https.
QString ReportsUrl(const std::string& username, const std::string& password, bool secure = false);

} // namespace olvex
