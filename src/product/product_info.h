#pragma once

// Product facts shared by every part of the program: names, version and the
// addresses on the vendor's web site. Header only, no Qt.
namespace olvex::product {

inline constexpr const char* kName = "Olvex";
inline constexpr const char* kVersion = "1.4";
// The newest client version this build knows; a server announcing a higher one
// makes the console offer the download page.
inline constexpr int kClientVersion = 15;

// The vendor's web host and its site name (the domain), used for the home page,
// the reports, downloads and registration pages and the default canned links.
inline constexpr const char* kVendorHost = "www.olvex.example";
inline constexpr const char* kVendorSiteName = "olvex.example";
inline constexpr const char* kHomePageUrl = "http://www.olvex.example/";
inline constexpr const char* kOverviewPath = "/OlvexOverview.html";
inline constexpr const char* kReportsPath = "/OperatorReports.asp";
inline constexpr const char* kDownloadsPath = "/OlvexDownloads.html";
inline constexpr const char* kRegistrationPath = "/OlvexRegistrationFrm.asp";

// The vendor's chat server, the default of the ServerAddress setting (its port
// is protocol::kDefaultServerPort).
inline constexpr const char* kDefaultServerAddress = "chat.olvex.example";

} // namespace olvex::product
