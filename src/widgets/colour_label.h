#pragma once

#include <QColor>
#include <QLabel>
#include <optional>

namespace olvex {

// A static text with its own text and background colours and font. Colours
// left unset follow the system's button text and button face colours.
class ColourLabel : public QLabel {
    Q_OBJECT
public:
    explicit ColourLabel(QWidget* parent = nullptr);
    explicit ColourLabel(const QString& text, QWidget* parent = nullptr);

    // An invalid colour goes back to the system colour.
    void SetTextColour(const QColor& colour);
    void SetBackgroundColour(const QColor& colour);
    QColor TextColour() const;
    QColor BackgroundColour() const;

    // Starts from the current font: `face` replaces the family unless empty;
    // `height` and `width` are in pixels, 0 for the default size and the
    // natural width; bold or normal weight.
    void SetFont(const QString& face, int height, int width, bool bold);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyTextColour();

    std::optional<QColor> textColour_;
    std::optional<QColor> backgroundColour_;
    bool applying_ = false;
};

} // namespace olvex
