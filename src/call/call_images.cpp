#include "call_images.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

namespace olvex {

namespace {
QString PathOf(const QString& name) {
    return QStringLiteral(":/call/%1.svg").arg(name);
}
} // namespace

QPixmap CallImage(const QString& name, int side) {
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap picture(QSize(side, side) * ratio);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(PathOf(name));
    if (renderer.isValid()) {
        QPainter painter(&picture);
        renderer.render(&painter);
    }
    picture.setDevicePixelRatio(ratio);
    return picture;
}

QIcon CallIcon(const QString& name) {
    QIcon icon;
    for (int side : {16, 32})
        icon.addPixmap(CallImage(name, side));
    return icon;
}

QIcon CallProgramIcon() {
    return QIcon(QStringLiteral(":/call/olvex.svg"));
}

} // namespace olvex
