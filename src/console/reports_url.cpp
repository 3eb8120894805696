#include "reports_url.h"

#include "product_info.h"

#include <QUrl>

namespace olvex {

QString ReportsUrl(const std::string& username, const std::string& password, bool secure) {
    const auto encode = [](const std::string& value) {
        return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(value)));
    };
    return (secure ? QStringLiteral("https://") : QStringLiteral("http://")) +
           QLatin1String(product::kVendorHost) + QLatin1String(product::kReportsPath) +
           QStringLiteral("?username=") + encode(username) + QStringLiteral("&password=") +
           encode(password);
}

} // namespace olvex
