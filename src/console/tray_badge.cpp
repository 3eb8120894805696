#include "tray_badge.h"

#include "readable_colours.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace olvex {

namespace {

constexpr int kIconSize = 64;
constexpr int kNamesShown = 5;
constexpr int kNameLength = 40;

// Names come from the network, and tray hosts may read a tooltip as markup: angle brackets
// and ampersands become look-alikes, and a long list or name is cut.
QString Names(const QStringList& names) {
    QStringList shown;
    for (qsizetype i = 0; i < names.size() && i < kNamesShown; ++i) {
        QString name = names[i].left(kNameLength);
        name.replace(QLatin1Char('<'), QChar(0x2039))
            .replace(QLatin1Char('>'), QChar(0x203A))
            .replace(QLatin1Char('&'), QChar(0xFF06));
        shown << name;
    }
    QString text = shown.join(QStringLiteral(", "));
    if (names.size() > kNamesShown)
        text += QStringLiteral(" and %1 more").arg(names.size() - kNamesShown);
    return text;
}

} // namespace

QString WaitingItems::ToolTipLines() const {
    QStringList lines;
    if (!requests.isEmpty())
        lines << QStringLiteral("Waiting for an answer: %1").arg(Names(requests));
    if (!unread.isEmpty())
        lines << QStringLiteral("Unread lines: %1").arg(Names(unread));
    return lines.join(QLatin1Char('\n'));
}

QIcon BadgedIcon(const QIcon& icon, int count) {
    if (count <= 0)
        return icon;
    QPixmap pixmap = icon.pixmap(kIconSize, kIconSize);
    if (pixmap.isNull()) {
        pixmap = QPixmap(kIconSize, kIconSize);
        pixmap.fill(Qt::transparent);
    }
    const QString text = count > 99 ? QStringLiteral("99+") : QString::number(count);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = pixmap.width();
    const qreal disc = side * (text.size() > 1 ? 0.62 : 0.55);
    const QRectF area(side - disc, side - disc, disc, disc);
    // The rim stays a pixel wide where the panel shrinks the icon to 22 pixels.
    const BadgeColours colours = TrayBadgeColours();
    const qreal rim = side / 16.0;
    painter.setPen(QPen(colours.rim, rim));
    painter.setBrush(colours.disc);
    painter.drawEllipse(area.adjusted(rim / 2, rim / 2, -rim / 2, -rim / 2));
    QFont font;
    font.setBold(true);
    font.setPixelSize(int(disc * (text.size() > 2 ? 0.38 : text.size() > 1 ? 0.5 : 0.66)));
    painter.setFont(font);
    painter.setPen(colours.text);
    painter.drawText(area, Qt::AlignCenter, text);
    painter.end();
    return QIcon(pixmap);
}

} // namespace olvex
