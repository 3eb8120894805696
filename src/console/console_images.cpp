#include "console_images.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <vector>

static void InitResourcesOutsideNamespace() {
    Q_INIT_RESOURCE(olvex);
}

namespace olvex {

namespace {

// Cuts a strip of 16x16 pictures, drawn at twice the size for sharp high-density screens.
std::vector<QIcon> CutStrip(const QString& file, int count) {
    InitConsoleResources();
    constexpr int kSide = 16;
    constexpr int kScale = 2;
    QImage strip(count * kSide * kScale, kSide * kScale, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QSvgRenderer renderer(file);
    {
        QPainter painter(&strip);
        renderer.render(&painter);
    }
    std::vector<QIcon> icons;
    for (int i = 0; i < count; ++i) {
        QPixmap picture =
            QPixmap::fromImage(strip.copy(i * kSide * kScale, 0, kSide * kScale, kSide * kScale));
        picture.setDevicePixelRatio(kScale);
        icons.emplace_back(picture);
    }
    return icons;
}

} // namespace

void InitConsoleResources() {
    static const bool done = [] {
        InitResourcesOutsideNamespace();
        return true;
    }();
    (void)done;
}

QIcon ProgramIcon(bool connected) {
    InitConsoleResources();
    return QIcon(connected ? QStringLiteral(":/icons/olvex.svg")
                           : QStringLiteral(":/icons/olvex_grey.svg"));
}

QIcon ListImage(int index) {
    static const std::vector<QIcon> images =
        CutStrip(QStringLiteral(":/icons/list_images.svg"), kListImageCount);
    if (index < 0 || index >= kListImageCount)
        return QIcon();
    return images[static_cast<size_t>(index)];
}

QIcon StatusMenuImage(int index) {
    static const std::vector<QIcon> images =
        CutStrip(QStringLiteral(":/icons/status_images.svg"), 3);
    if (index < 0 || index >= 3)
        return QIcon();
    return images[static_cast<size_t>(index)];
}

QIcon ButtonImage(const QString& name) {
    InitConsoleResources();
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
}

} // namespace olvex
