#include "visitor_context.h"

#include <QDateTime>
#include <QUrl>
#include <algorithm>

namespace olvex {

namespace {

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

bool VisitorTrail::Update(const std::vector<PageRecord>& pages, int64_t nowMs) {
    if (pages.empty()) {
        // Seen before and now without a page: gone. The last page stays on show.
        const bool changed = current && !left;
        left = current.has_value();
        return changed;
    }
    const PageRecord& now = pages.back();
    if (firstSeen == 0)
        firstSeen = nowMs;
    if (std::find(seen.begin(), seen.end(), now.pageId) == seen.end())
        seen.push_back(now.pageId);
    const bool changed = !current || left || current->pageId != now.pageId ||
                         current->url != now.url || current->title != now.title ||
                         current->referrer != now.referrer;
    current = now;
    left = false;
    return changed;
}

QString PageLinkHtml(const std::string& url, const std::string& title) {
    const QString address = FromBytes(url);
    const QString shown = (title.empty() ? address : FromBytes(title)).toHtmlEscaped();
    const QUrl parsed(address);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QStringLiteral("<b>%1</b><br>%2").arg(shown, address.toHtmlEscaped());
    const QString href = QString::fromUtf8(parsed.toEncoded()).toHtmlEscaped();
    return QStringLiteral("<b>%1</b><br><a href=\"%2\">%3</a>")
        .arg(shown, href, address.toHtmlEscaped());
}

QString DurationText(int64_t ms) {
    const int64_t minutes = std::max<int64_t>(ms, 0) / 60'000;
    if (minutes < 1)
        return QStringLiteral("under a minute");
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString EarlierChatsText(const std::vector<ConversationSummary>& earlier) {
    if (earlier.empty())
        return {};
    int64_t last = 0;
    for (const ConversationSummary& c : earlier)
        last = std::max(last, c.started);
    const QString date = QDateTime::fromMSecsSinceEpoch(last).toString(QStringLiteral("yyyy-MM-dd"));
    if (earlier.size() == 1)
        return QStringLiteral("1 earlier chat, on %1").arg(date);
    return QStringLiteral("%1 earlier chats, last on %2").arg(earlier.size()).arg(date);
}

} // namespace olvex
