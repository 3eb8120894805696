#pragma once

#include <QColor>
#include <QMenu>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <vector>

class QPalette;

namespace olvex {

// One entry of a menu description: a command with its text, or a separator.
struct MenuItem {
    QString text;
    int command = 0;
    bool separator = false;
    bool enabled = true;
};

// The shades of the flat look.
struct FlatMenuColours {
    QColor background;
    QColor iconColumn;
    QColor selected;
};

// The flat look's shades from the system colours in `palette`; the newest
// desktop look of the old systems (class 7, not classic) keeps the plain
// button face beside the icons and a stronger selection.
FlatMenuColours FlatMenuColoursFor(const QPalette& palette, int versionClass, bool classicTheme);

// `image` with every pixel of `transparent` see-through. An invalid colour
// leaves the image as it is.
QPixmap TransparentPixmap(const QPixmap& image, const QColor& transparent);

// A pop-up menu drawn by us: an icon column on the left and the system's menu
// font, in the flat look or the classic raised one. Each item carries the
// command number it was loaded with.
class IconMenu : public QMenu {
    Q_OBJECT
public:
    explicit IconMenu(QWidget* parent = nullptr);

    // Replaces the items with `items`, in order.
    void Load(const std::vector<MenuItem>& items);
    // Gives the items the icons of a strip of `cell`-sized images: the i-th
    // image goes to the item of commands[i]; 0 there skips an image.
    void SetIcons(const QPixmap& strip, const std::vector<int>& commands, const QColor& transparent,
                  QSize cell = QSize(16, 16));

    void SetFlatLook(bool flat);
    bool FlatLook() const { return flatLook_; }

    // Pops the menu up with its top left corner at `globalPos` and waits for
    // the choice; returns its command, or 0 when the menu was dismissed.
    int PopUp(const QPoint& globalPos);

    // The command of an item, 0 for none.
    static int CommandOf(const QAction* action);
    QAction* ActionFor(int command) const;

    // The shades this menu paints with right now.
    QColor BackgroundColour() const;
    QColor IconColumnColour() const;
    QColor SelectedColour() const;

private:
    bool flatLook_ = true;
};

} // namespace olvex
