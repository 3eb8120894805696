#include "icon_menu.h"

#include "colour_shift.h"
#include "readable_colours.h"
#include "system_look.h"

#include <QApplication>
#include <QBitmap>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <algorithm>

namespace olvex {
namespace {

constexpr int kIconSize = 16;
constexpr int kIconColumn = kIconSize + 8;
constexpr int kTextGap = 6;      // between the icon column and the text
constexpr int kShortcutGap = 24; // between the text and its shortcut
constexpr int kRightPad = 18;    // room for a sub-menu arrow
constexpr int kSeparatorHeight = 7;

// Draws the items of every IconMenu; other widgets get the application style.
class IconMenuStyle : public QProxyStyle {
public:
    static const IconMenu* MenuOf(const QWidget* widget) {
        return qobject_cast<const IconMenu*>(widget);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (const IconMenu* menu = MenuOf(widget)) {
            if (metric == PM_SmallIconSize)
                return kIconSize;
            if (menu->FlatLook()) {
                if (metric == PM_MenuPanelWidth)
                    return 1;
                // No margins, so the icon column runs from the top frame to the bottom one.
                if (metric == PM_MenuHMargin || metric == PM_MenuVMargin)
                    return 0;
            }
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type != CT_MenuItem || !item || !MenuOf(widget))
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        if (item->menuItemType == QStyleOptionMenuItem::Separator)
            return QSize(kIconColumn + 2 * kTextGap, kSeparatorHeight);
        const QFontMetrics fm(item->font);
        const QString label = item->text.section(QLatin1Char('\t'), 0, 0);
        const QString shortcut = item->text.section(QLatin1Char('\t'), 1);
        int width = kIconColumn + kTextGap + fm.horizontalAdvance(label) + kRightPad;
        if (!shortcut.isEmpty())
            width += kShortcutGap + fm.horizontalAdvance(shortcut);
        return QSize(width, std::max(kIconSize + 6, fm.height() + 6));
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const IconMenu* menu = MenuOf(widget);
        if (menu && menu->FlatLook()) {
            if (element == PE_PanelMenu) {
                painter->fillRect(option->rect, menu->BackgroundColour());
                return;
            }
            if (element == PE_FrameMenu) {
                painter->setPen(menu->palette().color(QPalette::Dark));
                painter->setBrush(Qt::NoBrush);
                painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
                return;
            }
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const IconMenu* menu = MenuOf(widget);
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (!menu || !item) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        if (element == CE_MenuEmptyArea) {
            painter->fillRect(option->rect, menu->FlatLook()
                                                ? menu->BackgroundColour()
                                                : menu->palette().color(QPalette::Button));
            return;
        }
        if (element != CE_MenuItem) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        painter->save();
        DrawItem(*menu, *item, painter);
        painter->restore();
    }

private:
    void DrawItem(const IconMenu& menu, const QStyleOptionMenuItem& item, QPainter* p) const {
        const QPalette& pal = menu.palette();
        const bool flat = menu.FlatLook();
        const bool enabled = item.state & State_Enabled;
        const bool selected = (item.state & State_Selected) && enabled;
        const QRect r = item.rect;
        const QRect iconRect(r.left(), r.top(), kIconColumn, r.height());
        const QRect textArea = r.adjusted(kIconColumn + kTextGap, 0, -kRightPad, 0);

        if (flat) {
            p->fillRect(r, menu.BackgroundColour());
            p->fillRect(iconRect, menu.IconColumnColour());
        } else {
            p->fillRect(r, pal.color(QPalette::Button));
        }

        if (item.menuItemType == QStyleOptionMenuItem::Separator) {
            const int y = r.top() + r.height() / 2;
            const int left = flat ? textArea.left() - 2 : r.left() + 2;
            p->setPen(pal.color(QPalette::Dark));
            p->drawLine(left, y, r.right() - 2, y);
            p->setPen(pal.color(QPalette::Light));
            p->drawLine(left, y + 1, r.right() - 2, y + 1);
            return;
        }

        QColor textColour = pal.color(QPalette::ButtonText);
        QColor behindText = flat ? menu.BackgroundColour() : pal.color(QPalette::Button);
        if (selected) {
            if (flat) {
                p->fillRect(r, menu.SelectedColour());
                p->setPen(pal.color(QPalette::Highlight));
                p->drawRect(r.adjusted(0, 0, -1, -1));
                behindText = menu.SelectedColour();
            } else {
                p->fillRect(r.adjusted(kIconColumn, 0, 0, 0), pal.color(QPalette::Highlight));
                textColour = pal.color(QPalette::HighlightedText);
                behindText = pal.color(QPalette::Highlight);
            }
        }
        textColour = ReadableOn(textColour, behindText);

        const bool checked = item.checkType != QStyleOptionMenuItem::NotCheckable && item.checked;
        const QRect iconBox =
            QRect(0, 0, kIconSize + 4, kIconSize + 4)
                .translated(iconRect.center() - QPoint((kIconSize + 4) / 2, (kIconSize + 4) / 2) +
                            QPoint(1, 1));
        if (!item.icon.isNull()) {
            const QPixmap pixmap = item.icon.pixmap(QSize(kIconSize, kIconSize),
                                                    enabled ? QIcon::Normal : QIcon::Disabled,
                                                    checked ? QIcon::On : QIcon::Off);
            const QSize shown = pixmap.deviceIndependentSize().toSize();
            p->drawPixmap(iconRect.center().x() - shown.width() / 2 + 1,
                          iconRect.center().y() - shown.height() / 2 + 1, pixmap);
            if (checked || (!flat && selected)) {
                // Classic look: a raised frame round the icon of the selected item,
                // a sunken one round a checked icon.
                const bool sunken = checked;
                p->setPen(pal.color(sunken ? QPalette::Dark : QPalette::Light));
                p->drawLine(iconBox.topLeft(), iconBox.topRight());
                p->drawLine(iconBox.topLeft(), iconBox.bottomLeft());
                p->setPen(pal.color(sunken ? QPalette::Light : QPalette::Dark));
                p->drawLine(iconBox.bottomLeft(), iconBox.bottomRight());
                p->drawLine(iconBox.topRight(), iconBox.bottomRight());
            }
        } else if (checked) {
            const QColor tick =
                enabled ? pal.color(QPalette::ButtonText) : pal.color(QPalette::Dark);
            p->setPen(QPen(tick, 2));
            const QPoint c = iconRect.center();
            p->drawLine(c + QPoint(-4, 0), c + QPoint(-1, 3));
            p->drawLine(c + QPoint(-1, 3), c + QPoint(4, -3));
        }

        const QString label = item.text.section(QLatin1Char('\t'), 0, 0);
        const QString shortcut = item.text.section(QLatin1Char('\t'), 1);
        p->setFont(item.font);
        auto drawText = [&](const QColor& colour, QPoint offset) {
            p->setPen(colour);
            p->drawText(textArea.translated(offset),
                        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, label);
            if (!shortcut.isEmpty())
                p->drawText(textArea.translated(offset), Qt::AlignRight | Qt::AlignVCenter,
                            shortcut);
        };
        if (enabled) {
            drawText(textColour, QPoint());
        } else if (flat) {
            drawText(pal.color(QPalette::Dark), QPoint());
        } else {
            drawText(pal.color(QPalette::Light), QPoint(1, 1));
            drawText(pal.color(QPalette::Dark), QPoint());
        }

        if (item.menuItemType == QStyleOptionMenuItem::SubMenu) {
            QStyleOption arrow = item;
            arrow.rect = QRect(r.right() - kRightPad + 4, r.top(), kRightPad - 8, r.height());
            arrow.palette.setColor(QPalette::ButtonText, textColour);
            proxy()->drawPrimitive(PE_IndicatorArrowRight, &arrow, p, nullptr);
        }
    }
};

QStyle* SharedMenuStyle() {
    // One style for every menu; it goes with the application.
    static QPointer<IconMenuStyle> style;
    if (!style) {
        style = new IconMenuStyle;
        style->setParent(qApp);
    }
    return style;
}

} // namespace

FlatMenuColours FlatMenuColoursFor(const QPalette& palette, int versionClass, bool classicTheme) {
    const bool modernLook = versionClass == 7 && !classicTheme;
    const QColor face = palette.color(QPalette::Active, QPalette::Button);
    const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    if (IsDarkPalette(palette)) {
        // Lightening toward white would put the light text of a dark scheme on a pale
        // selection: the shades go toward the dark background instead.
        auto toward = [&base](const QColor& from, double factor) {
            auto mix = [factor](int a, int b) { return a + static_cast<int>(factor * (b - a)); };
            return QColor(mix(from.red(), base.red()), mix(from.green(), base.green()),
                          mix(from.blue(), base.blue()));
        };
        return FlatMenuColours{base, face, toward(highlight, modernLook ? 0.3 : 0.45)};
    }
    return FlatMenuColours{base,
                           modernLook ? face : Lighten(face, 0.25),
                           Lighten(highlight, modernLook ? 0.7 : 0.85)};
}

QPixmap TransparentPixmap(const QPixmap& image, const QColor& transparent) {
    if (image.isNull() || !transparent.isValid())
        return image;
    QPixmap result = image;
    result.setMask(image.createMaskFromColor(transparent, Qt::MaskInColor));
    return result;
}

IconMenu::IconMenu(QWidget* parent) : QMenu(parent) {
    setStyle(SharedMenuStyle());
}

void IconMenu::Load(const std::vector<MenuItem>& items) {
    clear();
    for (const MenuItem& entry : items) {
        if (entry.separator) {
            addSeparator();
            continue;
        }
        QAction* action = addAction(entry.text);
        action->setData(entry.command);
        action->setEnabled(entry.enabled);
    }
}

void IconMenu::SetIcons(const QPixmap& strip, const std::vector<int>& commands,
                        const QColor& transparent, QSize cell) {
    if (strip.isNull() || cell.isEmpty())
        return;
    const QPixmap masked = TransparentPixmap(strip, transparent);
    // `cell` counts in the strip's device-independent pixels; a strip drawn for a dense
    // screen has more pixels per cell.
    const qreal ratio = strip.devicePixelRatio();
    const QSize pixels = (QSizeF(cell) * ratio).toSize();
    const int cells = strip.width() / pixels.width();
    for (int i = 0; i < static_cast<int>(commands.size()) && i < cells; ++i) {
        if (commands[i] == 0)
            continue;
        if (QAction* action = ActionFor(commands[i])) {
            QPixmap image = masked.copy(i * pixels.width(), 0, pixels.width(), pixels.height());
            image.setDevicePixelRatio(ratio);
            action->setIcon(QIcon(image));
        }
    }
}

void IconMenu::SetFlatLook(bool flat) {
    if (flatLook_ == flat)
        return;
    flatLook_ = flat;
    // The panel metrics differ between the looks, so the layout is redone.
    QEvent styleChange(QEvent::StyleChange);
    QCoreApplication::sendEvent(this, &styleChange);
    update();
}

int IconMenu::PopUp(const QPoint& globalPos) {
    return CommandOf(exec(globalPos));
}

int IconMenu::CommandOf(const QAction* action) {
    return action ? action->data().toInt() : 0;
}

QAction* IconMenu::ActionFor(int command) const {
    const QList<QAction*> all = actions();
    auto found = std::find_if(all.begin(), all.end(), [command](const QAction* action) {
        return !action->isSeparator() && CommandOf(action) == command;
    });
    return found == all.end() ? nullptr : *found;
}

QColor IconMenu::BackgroundColour() const {
    return FlatMenuColoursFor(palette(), WindowsVersionClass(), IsClassicTheme()).background;
}

QColor IconMenu::IconColumnColour() const {
    return FlatMenuColoursFor(palette(), WindowsVersionClass(), IsClassicTheme()).iconColumn;
}

QColor IconMenu::SelectedColour() const {
    return FlatMenuColoursFor(palette(), WindowsVersionClass(), IsClassicTheme()).selected;
}

} // namespace olvex
