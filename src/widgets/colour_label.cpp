#include "colour_label.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace olvex {

ColourLabel::ColourLabel(QWidget* parent) : ColourLabel(QString(), parent) {}

ColourLabel::ColourLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    ApplyTextColour();
}

void ColourLabel::SetTextColour(const QColor& colour) {
    textColour_ = colour.isValid() ? std::optional<QColor>(colour) : std::nullopt;
    ApplyTextColour();
}

void ColourLabel::SetBackgroundColour(const QColor& colour) {
    backgroundColour_ = colour.isValid() ? std::optional<QColor>(colour) : std::nullopt;
    update();
}

QColor ColourLabel::TextColour() const {
    return textColour_.value_or(
        QApplication::palette(this).color(QPalette::Active, QPalette::ButtonText));
}

QColor ColourLabel::BackgroundColour() const {
    return backgroundColour_.value_or(
        QApplication::palette(this).color(QPalette::Active, QPalette::Button));
}

void ColourLabel::SetFont(const QString& face, int height, int width, bool bold) {
    QFont f = font();
    if (!face.isEmpty())
        f.setFamily(face);
    height = std::abs(height);
    if (height > 0)
        f.setPixelSize(height);
    else
        f.setPointSizeF(QApplication::font(this).pointSizeF());
    f.setStretch(QFont::AnyStretch);
    if (width > 0) {
        // Qt widens fonts by a percentage of their natural average width.
        const int natural = std::max(1, QFontMetrics(f).averageCharWidth());
        f.setStretch(std::clamp(static_cast<int>(std::lround(100.0 * width / natural)), 1, 4000));
    }
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    setFont(f);
}

void ColourLabel::ApplyTextColour() {
    // QLabel draws with the palette, so the text colour goes there; the guard
    // keeps our own palette change from reading as a system colour change.
    applying_ = true;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, TextColour());
    setPalette(pal);
    applying_ = false;
    update();
}

void ColourLabel::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        p.fillRect(rect(), BackgroundColour());
    }
    QLabel::paintEvent(event);
}

void ColourLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange && !applying_)
        ApplyTextColour();
    QLabel::changeEvent(event);
}

} // namespace olvex
