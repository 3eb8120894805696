#include "flat_button.h"

#include "colour_shift.h"
#include "readable_colours.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <algorithm>

namespace olvex {
namespace {

constexpr int kImageTextGap = 2;

void DrawEdges(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p.setPen(topLeft);
    p.drawLine(r.left(), r.bottom() - 1, r.left(), r.top());
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.setPen(bottomRight);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.bottom(), r.right(), r.top());
}

} // namespace

QEvent::Type MenuCommandEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

FlatButton::FlatButton(QWidget* parent) : FlatButton(QString(), parent) {}

FlatButton::FlatButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    ResetColours();
    setMouseTracking(true);
    // Connected before anyone else can be, so the menu runs before the
    // parent hears of the click.
    connect(this, &QAbstractButton::clicked, this, &FlatButton::OnClicked);
}

QPalette FlatButton::SystemPalette() const {
    return QApplication::palette(this);
}

std::int32_t FlatButton::SetColour(int index, const QColor& colour) {
    if (index < 0 || index >= static_cast<int>(colours_.size()))
        return kBadColourIndex;
    colours_[index] = colour;
    update();
    return kDrawnOk;
}

std::int32_t FlatButton::ShiftColour(int index, int amount) {
    if (index < 0 || index >= static_cast<int>(colours_.size()))
        return kBadColourIndex;
    if (amount < -255 || amount > 255)
        return kBadShiftAmount;
    colours_[index] = olvex::ShiftColour(colours_[index], amount);
    update();
    return kDrawnOk;
}

QColor FlatButton::Colour(int index) const {
    if (index < 0 || index >= static_cast<int>(colours_.size()))
        return QColor();
    return colours_[index];
}

void FlatButton::ResetColours() {
    const QPalette pal = SystemPalette();
    seenSystemPalette_ = pal;
    const QColor face = pal.color(QPalette::Active, QPalette::Button);
    const QColor text = pal.color(QPalette::Active, QPalette::ButtonText);
    colours_ = {face, text, face, text, face, text};
    if (preset_)
        preset_(*this);
    update();
}

void FlatButton::SetPreset(std::function<void(FlatButton&)> preset) {
    preset_ = std::move(preset);
    ResetColours();
}

void FlatButton::SetImage(const QPixmap& image, const QColor& transparent) {
    image_ = TransparentPixmap(image, transparent);
    updateGeometry();
    update();
}

std::int32_t FlatButton::SetAlignment(int alignment) {
    if (alignment < 0 || alignment > 3)
        return kBadAlignment;
    alignment_ = alignment;
    updateGeometry();
    update();
    return kDrawnOk;
}

void FlatButton::SetFlat(bool flat) {
    flat_ = flat;
    setMouseTracking(flat);
    if (!flat)
        hovered_ = false;
    update();
}

void FlatButton::SetBorderWhenFlat(bool border) {
    borderWhenFlat_ = border;
    update();
}

void FlatButton::SetFocusRectWhenFlat(bool focusRect) {
    focusRectWhenFlat_ = focusRect;
    update();
}

void FlatButton::SetPressedOffset(QPoint offset) {
    pressedOffset_ = offset;
    update();
}

void FlatButton::SetMargins(QPoint margins) {
    margins_ = margins;
    updateGeometry();
    update();
}

void FlatButton::SetCheckMode(bool checkMode) {
    checkMode_ = checkMode;
    setCheckable(checkMode);
    update();
}

void FlatButton::SetCheck(int state) {
    if (checkMode_)
        setChecked(state == 1 || state == 2);
}

int FlatButton::GetCheck() const {
    return checkMode_ && isChecked() ? 1 : 0;
}

void FlatButton::SetMenu(const std::vector<MenuItem>& items, QObject* receiver, bool flatLook,
                         const QPixmap& icons, const std::vector<int>& iconCommands,
                         const QColor& transparent, QSize iconSize) {
    if (!menu_)
        menu_ = new IconMenu(this);
    menu_->Load(items);
    menu_->SetFlatLook(flatLook);
    menu_->SetIcons(icons, iconCommands, transparent, iconSize);
    receiver_ = receiver;
}

bool FlatButton::IsDrawnPressed() const {
    return isDown() || (checkMode_ && isChecked()) || menuShown_;
}

QColor FlatButton::CurrentBackground() const {
    if (hovered_ || IsDrawnPressed())
        return colours_[kHoverBackground];
    return hasFocus() ? colours_[kFocusBackground] : colours_[kRestBackground];
}

QColor FlatButton::CurrentTextColour() const {
    if (hovered_ || IsDrawnPressed())
        return colours_[kHoverText];
    return hasFocus() ? colours_[kFocusText] : colours_[kRestText];
}

QColor FlatButton::ShownTextColour() const {
    return ReadableOn(CurrentTextColour(), CurrentBackground());
}

QSize FlatButton::sizeHint() const {
    const QFontMetrics fm(font());
    const QSize textSize =
        text().isEmpty() ? QSize(0, fm.height()) : fm.size(Qt::TextShowMnemonic, text());
    const QSize imageSize = image_.isNull() ? QSize() : image_.deviceIndependentSize().toSize();
    const int gap = image_.isNull() ? 0 : kImageTextGap;
    if (alignment_ == kImageAbove) {
        return QSize(std::max(imageSize.width() + 2 * margins_.x(), textSize.width() + 12),
                     margins_.y() + imageSize.height() + gap + textSize.height() + 6);
    }
    return QSize(2 * margins_.x() + imageSize.width() + gap + textSize.width() + 12,
                 std::max(imageSize.height() + 2 * margins_.y(), textSize.height() + 10));
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette pal = SystemPalette();
    const bool pressed = IsDrawnPressed();
    const bool focused = hasFocus();
    QRect r = rect();

    if (!flat_ && (focused || isDefault())) {
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    p.fillRect(r, CurrentBackground());

    if (!flat_) {
        if (pressed) {
            p.setPen(pal.color(QPalette::Dark));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        } else {
            DrawEdges(p, r, pal.color(QPalette::Light), pal.color(QPalette::Shadow));
            DrawEdges(p, r.adjusted(1, 1, -1, -1), pal.color(QPalette::Midlight),
                      pal.color(QPalette::Dark));
        }
    } else if (borderWhenFlat_ && (hovered_ || pressed)) {
        if (pressed)
            DrawEdges(p, r, pal.color(QPalette::Dark), pal.color(QPalette::Light));
        else
            DrawEdges(p, r, pal.color(QPalette::Light), pal.color(QPalette::Dark));
    }

    const QPoint shift = pressed && !checkMode_ ? pressedOffset_ : QPoint();
    QRect textRect = r.adjusted(2, 2, -2, -2);
    if (!image_.isNull()) {
        const QSize size = image_.deviceIndependentSize().toSize();
        QPoint at;
        switch (alignment_) {
        case kImageAbove:
            at = QPoint(r.left() + (r.width() - size.width()) / 2, r.top() + margins_.y());
            textRect.setTop(at.y() + size.height() + kImageTextGap);
            break;
        case kImageRight:
            at = QPoint(r.right() + 1 - margins_.x() - size.width(),
                        r.top() + (r.height() - size.height()) / 2);
            textRect.setRight(at.x() - kImageTextGap);
            break;
        default:
            at = QPoint(r.left() + margins_.x(), r.top() + (r.height() - size.height()) / 2);
            textRect.setLeft(at.x() + size.width() + kImageTextGap);
            break;
        }
        QPixmap shown = image_;
        if (!isEnabled()) {
            QStyleOption option;
            option.initFrom(this);
            shown = style()->generatedIconPixmap(QIcon::Disabled, image_, &option);
        }
        p.drawPixmap(at + shift, shown);
    }

    const int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (isEnabled()) {
        p.setPen(ShownTextColour());
        p.drawText(textRect.translated(shift), flags, text());
    } else {
        p.setPen(pal.color(QPalette::Light));
        p.drawText(textRect.translated(shift + QPoint(1, 1)), flags, text());
        p.setPen(pal.color(QPalette::Dark));
        p.drawText(textRect.translated(shift), flags, text());
    }

    if (focused && (!flat_ || focusRectWhenFlat_)) {
        p.setPen(QPen(ShownTextColour(), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(3, 3, -4, -4));
    } else if (focused) {
        // A flat button shows the keyboard's place as well, in the text's colour: a change of
        // background alone is lost wherever the focus colour is the rest colour.
        p.setPen(QPen(ShownTextColour(), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(2, 2, -2, -2));
    }
}

void FlatButton::SetHovered(bool hovered) {
    if (hovered_ == hovered)
        return;
    hovered_ = hovered;
    update();
}

void FlatButton::enterEvent(QEnterEvent* event) {
    // A drag that started elsewhere does not light the button up.
    if (flat_ && isEnabled() && !(event->buttons() & Qt::LeftButton))
        SetHovered(true);
    QPushButton::enterEvent(event);
}

void FlatButton::leaveEvent(QEvent* event) {
    SetHovered(false);
    QPushButton::leaveEvent(event);
}

void FlatButton::mouseMoveEvent(QMouseEvent* event) {
    if (flat_ && isEnabled()) {
        const bool inside = rect().contains(event->position().toPoint());
        if (!inside)
            SetHovered(false);
        else if (!hovered_ && !(event->buttons() & Qt::LeftButton))
            SetHovered(true);
    }
    QPushButton::mouseMoveEvent(event);
}

void FlatButton::focusOutEvent(QFocusEvent* event) {
    SetHovered(false);
    QPushButton::focusOutEvent(event);
}

void FlatButton::changeEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled())
            SetHovered(false);
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            SetHovered(false);
        break;
    case QEvent::PaletteChange:
        // New system colours replace whatever the button was given, presets
        // included. A parent that only changed its own palette (a coloured
        // panel behind side bar buttons) is not a system change.
        if (SystemPalette() != seenSystemPalette_)
            ResetColours();
        break;
    default:
        break;
    }
    QPushButton::changeEvent(event);
}

void FlatButton::OnClicked() {
    if (checkMode_ || !menu_)
        return;
    ShowMenu();
}

void FlatButton::ShowMenu() {
    QPointer<FlatButton> self(this);
    menuShown_ = true;
    repaint();
    const int command = menu_->PopUp(mapToGlobal(QPoint(0, height())));
    if (!self)
        return;
    menuShown_ = false;
    repaint();
    if (command == 0)
        return;
    if (receiver_)
        QCoreApplication::postEvent(receiver_, new MenuCommandEvent(command));
    emit MenuCommand(command);
}

QColor ImageMaskColour() {
    return QColor(0, 128, 128);
}

namespace {

void ToolbarColours(FlatButton& button) {
    button.ShiftColour(FlatButton::kHoverBackground, 20);
    button.SetColour(FlatButton::kHoverText, QColor(0, 0, 200));
}

// The grey strip's colours, with the strip darkened where its light text would not read.
void SideBarColours(FlatButton& button) {
    const QPalette pal = QApplication::palette(&button);
    const QColor highlight = pal.color(QPalette::Active, QPalette::Light);
    const QColor shadow = SideBarShade(pal);
    button.SetColour(FlatButton::kFocusBackground, shadow);
    button.SetColour(FlatButton::kRestBackground, shadow);
    button.SetColour(FlatButton::kFocusText, ReadableOn(highlight, shadow));
    button.SetColour(FlatButton::kRestText, ReadableOn(highlight, shadow));
    button.SetColour(FlatButton::kHoverBackground, shadow);
    button.ShiftColour(FlatButton::kHoverBackground, 20);
    button.SetColour(FlatButton::kHoverText, QColor(0, 0, 200));
}

} // namespace

QColor SideBarShade(const QPalette& palette) {
    // A dark scheme keeps its dark strip: the text lightens instead.
    if (IsDarkPalette(palette))
        return palette.color(QPalette::Active, QPalette::Dark);
    return ReadableOn(palette.color(QPalette::Active, QPalette::Dark),
                      palette.color(QPalette::Active, QPalette::Light));
}

void ApplyToolbarPreset(FlatButton& button, const QPixmap& image) {
    if (!image.isNull())
        button.SetImage(image, ImageMaskColour());
    button.SetPreset(ToolbarColours);
    button.SetAlignment(FlatButton::kImageAbove);
}

void ApplyDialogPreset(FlatButton& button, const QPixmap& image) {
    ApplyToolbarPreset(button, image);
    button.SetAlignment(FlatButton::kImageLeft);
}

void ApplySideBarPreset(FlatButton& button, const QPixmap& image) {
    if (!image.isNull())
        button.SetImage(image, ImageMaskColour());
    button.SetPreset(SideBarColours);
    button.SetAlignment(FlatButton::kImageAbove);
}

void ApplyStatusPreset(FlatButton& button, QObject* console, int onlineCommand, int busyCommand,
                       int awayCommand, const QPixmap& image) {
    ApplyToolbarPreset(button, image);
    button.SetMenu({{QStringLiteral("Online"), onlineCommand},
                    {QStringLiteral("Busy"), busyCommand},
                    {QStringLiteral("Away"), awayCommand}},
                   console, true);
    button.Menu()->setTitle(QStringLiteral("Status"));
}

void ApplySendPreset(FlatButton& button, const QPixmap& image) {
    ApplyToolbarPreset(button, image);
    button.SetFlat(false);
}

} // namespace olvex
