#pragma once

#include "icon_menu.h"

#include <QColor>
#include <QEvent>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace olvex {

// Results of the FlatButton setters.
inline constexpr std::int32_t kDrawnOk = 0;
inline constexpr std::int32_t kBadColourIndex = 3;
inline constexpr std::int32_t kBadAlignment = 4;
inline constexpr std::int32_t kBadShiftAmount = 5;

// What a FlatButton posts to the window named with its menu when an item of
// the menu was chosen.
class MenuCommandEvent : public QEvent {
public:
    explicit MenuCommandEvent(int command) : QEvent(EventType()), command_(command) {}
    static QEvent::Type EventType();
    int Command() const { return command_; }

private:
    int command_;
};

// A push button that draws itself: flat until the mouse is over it, with six
// colours of its own, an image beside or above the text, an optional check
// mode and an optional pop-up menu. Deriving from QPushButton keeps the
// dialog's default-button handling.
class FlatButton : public QPushButton {
    Q_OBJECT
public:
    enum Colour {
        kHoverBackground = 0, // hovered or pressed
        kHoverText = 1,
        kRestBackground = 2,
        kRestText = 3,
        kFocusBackground = 4,
        kFocusText = 5,
    };
    enum ImageAlignment { kImageLeft = 0, kImageAbove = 1, kImageRight = 2 };

    explicit FlatButton(QWidget* parent = nullptr);
    explicit FlatButton(const QString& text, QWidget* parent = nullptr);

    std::int32_t SetColour(int index, const QColor& colour);
    // Adds `amount` (-255..255) to the three channels of a colour.
    std::int32_t ShiftColour(int index, int amount);
    // An invalid colour for an index out of range.
    QColor Colour(int index) const;
    // Every colour back to the system's button face and button text, then the preset's.
    void ResetColours();
    // A look made of the system colours: applied now and again after every change of them.
    void SetPreset(std::function<void(FlatButton&)> preset);

    void SetImage(const QPixmap& image, const QColor& transparent = QColor());
    QPixmap Image() const { return image_; }
    // 0..3 accepted; 3 is drawn like 0.
    std::int32_t SetAlignment(int alignment);
    int Alignment() const { return alignment_; }

    void SetFlat(bool flat);
    bool IsFlatLook() const { return flat_; }
    void SetBorderWhenFlat(bool border);
    void SetFocusRectWhenFlat(bool focusRect);
    void SetPressedOffset(QPoint offset);
    void SetMargins(QPoint margins);

    // In check mode a click toggles a checked state that draws as pressed.
    void SetCheckMode(bool checkMode);
    bool CheckMode() const { return checkMode_; }
    // States 1 and 2 count as checked; ignored outside check mode.
    void SetCheck(int state);
    int GetCheck() const;

    // A click pops up a menu made of `items` below the button; a chosen
    // command is posted as a MenuCommandEvent to `receiver` and also emitted.
    void SetMenu(const std::vector<MenuItem>& items, QObject* receiver, bool flatLook = true,
                 const QPixmap& icons = QPixmap(), const std::vector<int>& iconCommands = {},
                 const QColor& transparent = QColor(), QSize iconSize = QSize(16, 16));
    IconMenu* Menu() const { return menu_; }

    bool IsHovered() const { return hovered_; }
    // Whether the button draws as pressed now: held down, checked in check
    // mode, or its menu is open.
    bool IsDrawnPressed() const;
    // The colours the next paint uses for the background and the text.
    QColor CurrentBackground() const;
    QColor CurrentTextColour() const;
    // The text colour as painted: the current one made readable on the current background.
    QColor ShownTextColour() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void MenuCommand(int command);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetHovered(bool hovered);
    void OnClicked();
    void ShowMenu();
    QPalette SystemPalette() const;

    std::array<QColor, 6> colours_;
    QPalette seenSystemPalette_; // the system colours of the last reset
    QPixmap image_;
    int alignment_ = kImageLeft;
    bool flat_ = true;
    bool borderWhenFlat_ = true;
    bool focusRectWhenFlat_ = false;
    bool checkMode_ = false;
    bool hovered_ = false;
    bool menuShown_ = false;
    QPoint pressedOffset_{1, 1};
    QPoint margins_{3, 3};
    IconMenu* menu_ = nullptr;
    QPointer<QObject> receiver_;
    std::function<void(FlatButton&)> preset_;
};

// The looks the windows give their buttons. `image` may be null.
QColor ImageMaskColour(); // red 0, green 128, blue 128
void ApplyToolbarPreset(FlatButton& button, const QPixmap& image = QPixmap());
void ApplyDialogPreset(FlatButton& button, const QPixmap& image = QPixmap());
void ApplySideBarPreset(FlatButton& button, const QPixmap& image = QPixmap());
// The side bar's background in `palette`: its shadow colour, darkened where the light text on
// it would not read.
QColor SideBarShade(const QPalette& palette);
// The console's status button: "Online", "Busy" and "Away" posted to `console`.
void ApplyStatusPreset(FlatButton& button, QObject* console, int onlineCommand, int busyCommand,
                       int awayCommand, const QPixmap& image = QPixmap());
void ApplySendPreset(FlatButton& button, const QPixmap& image = QPixmap());

} // namespace olvex
