// Every text the windows draw against what lies behind it, in the light and the dark scheme:
// at least 4.5:1, with the colours' hues kept.
#include "accessibility.h"
#include "flat_button.h"
#include "hyperlink_label.h"
#include "icon_menu.h"
#include "readable_colours.h"
#include "readable_item_delegate.h"

#include <QAccessible>
#include <QApplication>
#include <QStandardItemModel>
#include <QStyle>
#include <gtest/gtest.h>

using namespace olvex;

namespace {

// The colours of the lists' cells, the transcript's lines and the buttons' hover text.
const QColor kUsedColours[] = {
    {128, 0, 0}, {255, 0, 0}, {0, 0, 255}, {255, 0, 255}, {64, 64, 64},
    {0, 128, 128}, {0, 0, 200}, {0, 0, 238}, {85, 26, 139}, {0, 0, 0},
};

struct Scheme {
    const char* name;
    QPalette palette;
};

std::vector<Scheme> Schemes() {
    return {{"light", PaletteFor(ColourScheme::Light, LightPalette())},
            {"dark", PaletteFor(ColourScheme::Dark, LightPalette())},
            {"desktop", PaletteFor(ColourScheme::Desktop, QApplication::style()->standardPalette())},
            {"desktop made dark", PaletteFor(ColourScheme::Dark, QApplication::style()->standardPalette())}};
}

void ExpectReadable(const QColor& text, const QColor& background, const std::string& what) {
    EXPECT_GE(ContrastRatio(text, background), kMinContrast)
        << what << ": " << text.name().toStdString() << " on "
        << background.name().toStdString();
}

} // namespace

TEST(Contrast, ReadableOnKeepsTheHueAndMovesTheLightnessLeast) {
    // Pure red on white misses 4.5 by a little: a slightly darker red, not black.
    const QColor red = ReadableOn(QColor(255, 0, 0), Qt::white);
    EXPECT_GE(ContrastRatio(red, Qt::white), kMinContrast);
    EXPECT_EQ(red.hslHue(), 0);
    EXPECT_GT(red.red(), 200);
    // Already readable: untouched.
    EXPECT_EQ(ReadableOn(QColor(128, 0, 0), Qt::white), QColor(128, 0, 0));
    // Blue on a dark background goes lighter, still blue.
    const QColor blue = ReadableOn(QColor(0, 0, 255), QColor(30, 30, 32));
    EXPECT_GE(ContrastRatio(blue, QColor(30, 30, 32)), kMinContrast);
    EXPECT_EQ(blue.hslHue(), 240);
    // A grey in the middle of nowhere reaches the end with the most contrast.
    EXPECT_GE(ContrastRatio(ReadableOn(QColor(119, 119, 119), QColor(118, 118, 118)),
                            QColor(118, 118, 118)),
              kMinContrast);
    EXPECT_DOUBLE_EQ(ContrastRatio(Qt::black, Qt::white), 21.0);
}

TEST(Contrast, EveryTextReadsOnItsBackgroundInEveryScheme) {
    for (const Scheme& scheme : Schemes()) {
        const QPalette& p = scheme.palette;
        const std::string name = scheme.name;
        EXPECT_EQ(IsDarkPalette(p), name.find("dark") != std::string::npos) << name;
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            ExpectReadable(p.color(group, QPalette::WindowText), p.color(group, QPalette::Window),
                           name + " window");
            ExpectReadable(p.color(group, QPalette::Text), p.color(group, QPalette::Base),
                           name + " base");
            ExpectReadable(p.color(group, QPalette::ButtonText), p.color(group, QPalette::Button),
                           name + " button");
            ExpectReadable(p.color(group, QPalette::HighlightedText),
                           p.color(group, QPalette::Highlight), name + " selection");
        }
        // Coloured cells and transcript lines on the list and transcript backgrounds.
        for (const QColor& colour : kUsedColours) {
            for (QPalette::ColorRole behind :
                 {QPalette::Base, QPalette::AlternateBase, QPalette::Window}) {
                const QColor shown = ReadableOn(colour, p.color(behind));
                ExpectReadable(shown, p.color(behind), name + " cell");
                if (colour.hslSaturation() > 0) {
                    EXPECT_EQ(shown.hslHue(), colour.hslHue()) << name;
                }
            }
        }
        // The side bar and the caption: the highlight colour on the shade.
        ExpectReadable(ReadableOn(p.color(QPalette::Light), SideBarShade(p)), SideBarShade(p),
                       name + " side bar");
        // The menu's items, selected or not.
        const FlatMenuColours menu = FlatMenuColoursFor(p, 1, false);
        for (const QColor& behind : {menu.background, menu.selected})
            ExpectReadable(ReadableOn(p.color(QPalette::ButtonText), behind), behind,
                           name + " menu");
    }
}

TEST(Contrast, DrawnButtonsReadInEveryStateAndFollowTheScheme) {
    const QPalette original = QApplication::palette();
    for (const Scheme& scheme : Schemes()) {
        QApplication::setPalette(scheme.palette);
        FlatButton toolbar("&Tool"), side("&Side");
        ApplyToolbarPreset(toolbar);
        ApplySideBarPreset(side);
        for (FlatButton* button : {&toolbar, &side}) {
            const std::string what = scheme.name + (" " + button->text().toStdString());
            ExpectReadable(button->ShownTextColour(), button->CurrentBackground(), what + " rest");
            button->setDown(true);
            ExpectReadable(button->ShownTextColour(), button->CurrentBackground(), what + " down");
            button->setDown(false);
        }
        // The strip behind the side bar's buttons is the scheme's, not the one they were made in.
        EXPECT_EQ(side.Colour(FlatButton::kRestBackground), SideBarShade(scheme.palette))
            << scheme.name;
    }
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
}

TEST(Contrast, ListCellsAreDrawnReadableOnTheirRow) {
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), QColor(255, 0, 255), Qt::ForegroundRole);
    for (const Scheme& scheme : Schemes()) {
        const QColor base = scheme.palette.color(QPalette::Base);
        const QColor shown = ReadableItemDelegate::CellTextColour(model.index(0, 0), base);
        ExpectReadable(shown, base, scheme.name);
        EXPECT_EQ(shown.hslHue(), 300);
    }
    model.setData(model.index(0, 0), QVariant(), Qt::ForegroundRole);
    EXPECT_FALSE(ReadableItemDelegate::CellTextColour(model.index(0, 0), Qt::white).isValid());
}

TEST(Contrast, LinksSearchHitsAndTheTrayBadgeRead) {
    const QPalette original = QApplication::palette();
    QWidget dialog;
    HyperlinkLabel link(QStringLiteral("https://example.com/"), &dialog);
    link.Attach();
    for (const Scheme& scheme : Schemes()) {
        // The label follows a switch made while it is open, in every state.
        QApplication::setPalette(scheme.palette);
        QCoreApplication::processEvents();
        const QColor window = scheme.palette.color(QPalette::Window);
        EXPECT_EQ(link.palette().color(QPalette::WindowText), link.ShownColour()) << scheme.name;
        ExpectReadable(link.ShownColour(), window, scheme.name + std::string(" link"));
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&link, &enter);
        EXPECT_EQ(link.palette().color(QPalette::WindowText), link.ShownColour()) << scheme.name;
        ExpectReadable(link.ShownColour(), window, scheme.name + std::string(" hovered link"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&link, &leave);
        ExpectReadable(ReadableOn(QColor(85, 26, 139), window), window,
                       scheme.name + std::string(" visited link"));
        // Links in rich text, in labels and in text boxes.
        for (QPalette::ColorRole link : {QPalette::Link, QPalette::LinkVisited})
            for (QPalette::ColorRole behind : {QPalette::Window, QPalette::Base})
                ExpectReadable(scheme.palette.color(link), scheme.palette.color(behind),
                               scheme.name + std::string(" rich text link"));

        // The History's search marker under the transcript's plain and coloured lines.
        const QColor marker = SearchHitBackground(scheme.palette);
        for (const QColor& line : {scheme.palette.color(QPalette::Text), QColor(0, 0, 255),
                                   QColor(255, 0, 0), QColor(128, 0, 0)})
            ExpectReadable(ReadableOn(line, marker), marker, scheme.name + std::string(" hit"));
    }
    QApplication::setPalette(original);
    QCoreApplication::processEvents();

    // The count on its disc, and the disc on light and dark panels (3:1 for shapes).
    const BadgeColours badge = TrayBadgeColours();
    ExpectReadable(badge.text, badge.disc, "badge count");
    for (const QColor& panel : {QColor(255, 255, 255), QColor(239, 239, 239)})
        EXPECT_GE(ContrastRatio(badge.disc, panel), 3.0) << panel.name().toStdString();
    for (const QColor& panel : {QColor(0, 0, 0), QColor(30, 30, 32), QColor(60, 60, 60)})
        EXPECT_GE(ContrastRatio(badge.rim, panel), 3.0) << panel.name().toStdString();
}

TEST(Accessibility, RolesAndAnnouncementsReachTheAccessibleInterface) {
    QWidget window;
    window.setWindowTitle("Olvex Call");
    SetAccessibleRole(window, QAccessible::AlertMessage);
    QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->role(), QAccessible::AlertMessage);
    EXPECT_EQ(alert->text(QAccessible::Name), "Olvex Call");

    // A role given after the interface was made still counts.
    QWidget late;
    ASSERT_EQ(QAccessible::queryAccessibleInterface(&late)->role(), QAccessible::Client);
    SetAccessibleRole(late, QAccessible::Notification);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&late)->role(), QAccessible::Notification);

    window.show();
    AnnouncePolitely(window, "Ann in Olvex Call - Ann: hello");
    AnnouncePolitely(window, "Ann is typing a message...");
    EXPECT_EQ(LastAnnouncement(window), "Ann is typing a message...");
    const auto announcers = window.findChildren<QWidget*>();
    ASSERT_EQ(announcers.size(), 1) << "one announcer per window, reused";
    QAccessibleInterface* said = QAccessible::queryAccessibleInterface(announcers.first());
    EXPECT_EQ(said->role(), QAccessible::Notification);
    EXPECT_EQ(said->text(QAccessible::Name), "Ann is typing a message...");
    EXPECT_FALSE(said->state().focusable);
}
