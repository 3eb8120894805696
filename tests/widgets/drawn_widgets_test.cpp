#include "colour_label.h"
#include "colour_shift.h"
#include "flat_button.h"
#include "icon_menu.h"
#include "readable_colours.h"
#include "system_look.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace olvex;

namespace {

QColor Rgb(int r, int g, int b) {
    return QColor(r, g, b);
}

QColor PixelAt(QWidget& widget, QPoint at) {
    return widget.grab().toImage().pixelColor(at);
}

// Pixels within a small distance of `colour`: text edges are blended.
int CountPixels(const QImage& image, const QColor& colour, int tolerance = 0) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += std::abs(c.red() - colour.red()) <= tolerance &&
                     std::abs(c.green() - colour.green()) <= tolerance &&
                     std::abs(c.blue() - colour.blue()) <= tolerance;
        }
    }
    return count;
}

void SendEnter(QWidget& widget, Qt::MouseButtons held = Qt::NoButton) {
    if (held == Qt::NoButton) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(&widget, &enter);
    } else {
        // A move with the button held stands in for an enter during a drag.
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)),
                         Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(&widget, &move);
    }
}

void SendMove(QWidget& widget, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), widget.mapToGlobal(QPointF(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// Six colours that are easy to tell apart on grabbed pixels.
void GiveDistinctColours(FlatButton& button) {
    const QColor colours[6] = {Rgb(250, 0, 0),   Rgb(0, 0, 250),   Rgb(0, 250, 0),
                               Rgb(250, 250, 0), Rgb(0, 250, 250), Rgb(250, 0, 250)};
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(button.SetColour(i, colours[i]), kDrawnOk);
}

struct CommandSink : QObject {
    std::vector<int> commands;
    bool event(QEvent* e) override {
        if (e->type() == MenuCommandEvent::EventType()) {
            commands.push_back(static_cast<MenuCommandEvent*>(e)->Command());
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(ColourArithmetic, LightenMovesEachChannelTowardWhiteAndTruncates) {
    EXPECT_EQ(Lighten(Rgb(200, 100, 50), 0.25), Rgb(213, 138, 101));
    EXPECT_EQ(Lighten(Rgb(0, 0, 0), 0.5), Rgb(127, 127, 127));
    EXPECT_EQ(Lighten(Rgb(10, 20, 30), 1.0), Rgb(255, 255, 255));
    EXPECT_EQ(Lighten(Rgb(255, 255, 255), 0.7), Rgb(255, 255, 255));
}

TEST(ColourArithmetic, LightenIgnoresFactorsOutsideZeroToOne) {
    const QColor colour = Rgb(12, 34, 56);
    for (double factor : {0.0, -0.5, 1.0001, 2.0, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity()})
        EXPECT_EQ(Lighten(colour, factor), colour) << factor;
}

TEST(ColourArithmetic, ShiftKeepsTheSameAmountOnEveryChannelWithinRange) {
    EXPECT_EQ(ShiftColour(Rgb(212, 208, 200), 20), Rgb(232, 228, 220));
    EXPECT_EQ(ShiftColour(Rgb(10, 50, 90), -5), Rgb(5, 45, 85));
    // Reduced so that the brightest channel just reaches 255 and the hue survives.
    EXPECT_EQ(ShiftColour(Rgb(250, 100, 0), 20), Rgb(255, 105, 5));
    EXPECT_EQ(ShiftColour(Rgb(10, 50, 90), -255), Rgb(0, 40, 80));
    EXPECT_EQ(ShiftColour(Rgb(255, 0, 0), 30), Rgb(255, 0, 0));
}

TEST(ColourArithmetic, ButtonSettersReportBadIndexAmountAndAlignment) {
    FlatButton button("x");
    const QColor before = button.Colour(0);
    EXPECT_EQ(button.SetColour(6, Qt::red), kBadColourIndex);
    EXPECT_EQ(button.SetColour(-1, Qt::red), kBadColourIndex);
    EXPECT_EQ(button.ShiftColour(6, 10), kBadColourIndex);
    EXPECT_EQ(button.ShiftColour(7, 300), kBadColourIndex);
    EXPECT_EQ(button.ShiftColour(0, 256), kBadShiftAmount);
    EXPECT_EQ(button.ShiftColour(0, -256), kBadShiftAmount);
    EXPECT_EQ(button.Colour(0), before);
    EXPECT_FALSE(button.Colour(6).isValid());

    ASSERT_EQ(button.SetColour(5, Rgb(100, 100, 100)), kDrawnOk);
    EXPECT_EQ(button.ShiftColour(5, 255), kDrawnOk);
    EXPECT_EQ(button.Colour(5), Rgb(255, 255, 255));
    EXPECT_EQ(button.ShiftColour(5, -255), kDrawnOk);
    EXPECT_EQ(button.Colour(5), Rgb(0, 0, 0));

    EXPECT_EQ(button.SetAlignment(4), kBadAlignment);
    EXPECT_EQ(button.SetAlignment(-1), kBadAlignment);
    EXPECT_EQ(button.SetAlignment(3), kDrawnOk);
    EXPECT_EQ(button.Alignment(), 3);
}

TEST(SystemLook, VersionClassesAndClassicTheme) {
    EXPECT_EQ(ClassifyWindowsVersion(false, 3, 95), 0);
    EXPECT_EQ(ClassifyWindowsVersion(false, 4, 0), 2);
    EXPECT_EQ(ClassifyWindowsVersion(false, 4, 10), 3);
    EXPECT_EQ(ClassifyWindowsVersion(false, 4, 90), 4);
    EXPECT_EQ(ClassifyWindowsVersion(true, 3, 51), 1);
    EXPECT_EQ(ClassifyWindowsVersion(true, 4, 0), 5);
    EXPECT_EQ(ClassifyWindowsVersion(true, 5, 0), 6);
    EXPECT_EQ(ClassifyWindowsVersion(true, 5, 1), 7);
    EXPECT_EQ(ClassifyWindowsVersion(true, 5, 2), 1);
    EXPECT_EQ(ClassifyWindowsVersion(true, 10, 0), 1);

    EXPECT_TRUE(IsClassicThemeFile("C:\\WINDOWS\\Resources\\Themes\\windows classic.THEME"));
    EXPECT_FALSE(IsClassicThemeFile("C:\\WINDOWS\\Resources\\Themes\\Luna.theme"));
    EXPECT_FALSE(IsClassicThemeFile("Windows Classic.theme.bak"));
    EXPECT_FALSE(IsClassicThemeFile(QString()));
#ifndef Q_OS_WIN
    EXPECT_EQ(WindowsVersionClass(), 1);
    EXPECT_FALSE(IsClassicTheme());
#endif
}

TEST(FlatButtonLook, BackgroundAndTextFollowRestHoverAndPressed) {
    FlatButton button("Go");
    button.resize(120, 40);
    GiveDistinctColours(button);
    const QPoint corner(6, 6); // clear of text and frame

    EXPECT_EQ(PixelAt(button, corner), button.Colour(FlatButton::kRestBackground));
    EXPECT_EQ(button.CurrentTextColour(), button.Colour(FlatButton::kRestText));

    SendEnter(button);
    ASSERT_TRUE(button.IsHovered());
    EXPECT_EQ(PixelAt(button, corner), button.Colour(FlatButton::kHoverBackground));
    EXPECT_EQ(button.CurrentTextColour(), button.Colour(FlatButton::kHoverText));
    const QImage hovered = button.grab().toImage();
    // Painted readable on the hover colour: the text colour with its lightness moved.
    EXPECT_GT(CountPixels(hovered, button.ShownTextColour(), 60), 0);
    // The thin raised border of a hovered flat button.
    EXPECT_EQ(hovered.pixelColor(0, 0), QApplication::palette(&button).color(QPalette::Light));

    SendMove(button, QPoint(500, 5));
    EXPECT_FALSE(button.IsHovered());
    EXPECT_EQ(PixelAt(button, corner), button.Colour(FlatButton::kRestBackground));

    button.setDown(true);
    EXPECT_TRUE(button.IsDrawnPressed());
    EXPECT_EQ(PixelAt(button, corner), button.Colour(FlatButton::kHoverBackground));
    EXPECT_EQ(button.CurrentTextColour(), button.Colour(FlatButton::kHoverText));
    button.setDown(false);

    // No frame at rest on a flat button.
    EXPECT_EQ(PixelAt(button, QPoint(0, 0)), button.Colour(FlatButton::kRestBackground));
}

TEST(FlatButtonLook, FocusedButtonUsesItsFocusColours) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* first = new FlatButton("One");
    auto* second = new FlatButton("Two");
    layout->addWidget(first);
    layout->addWidget(second);
    GiveDistinctColours(*second);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    first->setFocus();
    EXPECT_EQ(PixelAt(*second, QPoint(6, 6)), second->Colour(FlatButton::kRestBackground));
    second->setFocus();
    ASSERT_TRUE(second->hasFocus());
    EXPECT_EQ(PixelAt(*second, QPoint(6, 6)), second->Colour(FlatButton::kFocusBackground));
    EXPECT_EQ(second->CurrentTextColour(), second->Colour(FlatButton::kFocusText));

    // Losing the focus or the window being disabled ends a hover.
    SendEnter(*second);
    ASSERT_TRUE(second->IsHovered());
    first->setFocus();
    EXPECT_FALSE(second->IsHovered());
    SendEnter(*second);
    second->setEnabled(false);
    EXPECT_FALSE(second->IsHovered());
    // A disabled button does not light up either.
    SendEnter(*second);
    EXPECT_FALSE(second->IsHovered());
}

TEST(FlatButtonLook, DisabledTextIsEmbossedNotInTheTextColour) {
    FlatButton button("Disabled text");
    button.resize(140, 40);
    GiveDistinctColours(button);
    button.setEnabled(false);
    const QImage image = button.grab().toImage();
    const QPalette pal = QApplication::palette(&button);
    EXPECT_EQ(CountPixels(image, button.Colour(FlatButton::kRestText), 60), 0);
    EXPECT_GT(CountPixels(image, pal.color(QPalette::Dark)), 0);
    EXPECT_GT(CountPixels(image, pal.color(QPalette::Light)), 0);
}

TEST(FlatButtonLook, HoverNeedsAFlatButtonAndNoDragInProgress) {
    FlatButton button("x");
    button.resize(80, 30);
    SendEnter(button, Qt::LeftButton);
    EXPECT_FALSE(button.IsHovered());

    button.SetFlat(false);
    SendEnter(button);
    EXPECT_FALSE(button.IsHovered());
    // A raised 3D frame at rest, a black one round the default button.
    EXPECT_EQ(PixelAt(button, QPoint(0, 0)), QApplication::palette(&button).color(QPalette::Light));
    button.setDefault(true);
    EXPECT_EQ(PixelAt(button, QPoint(0, 0)), QColor(Qt::black));
}

TEST(FlatButtonLook, CheckModeTogglesAndDrawsAsPressed) {
    FlatButton button("Check");
    button.resize(100, 30);
    GiveDistinctColours(button);
    button.SetCheck(1);
    EXPECT_EQ(button.GetCheck(), 0) << "outside check mode";

    button.SetCheckMode(true);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(button.GetCheck(), 1);
    EXPECT_EQ(PixelAt(button, QPoint(6, 6)), button.Colour(FlatButton::kHoverBackground));
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(button.GetCheck(), 0);
    button.SetCheck(2);
    EXPECT_EQ(button.GetCheck(), 1);
    button.SetCheck(0);
    EXPECT_EQ(button.GetCheck(), 0);
    button.SetCheck(3);
    EXPECT_EQ(button.GetCheck(), 0);
}

TEST(FlatButtonLook, SystemColourChangeReappliesPresetsOverTheNewColours) {
    FlatButton toolbar("Tool"), side("Side");
    ApplyToolbarPreset(toolbar);
    ApplySideBarPreset(side);
    const QPalette original = QApplication::palette();
    const QColor face = original.color(QPalette::Button);
    EXPECT_EQ(toolbar.Colour(0), ShiftColour(face, 20));
    EXPECT_EQ(toolbar.Colour(1), Rgb(0, 0, 200));
    EXPECT_EQ(toolbar.Alignment(), FlatButton::kImageAbove);
    EXPECT_EQ(side.Colour(2), SideBarShade(original));
    EXPECT_GE(ContrastRatio(side.Colour(5), side.Colour(4)), kMinContrast);

    QPalette changed = original;
    changed.setColor(QPalette::Button, Rgb(10, 20, 30));
    changed.setColor(QPalette::ButtonText, Rgb(240, 230, 220));
    QApplication::setPalette(changed);
    // The change reaches the widgets through the event loop.
    QTRY_COMPARE_WITH_TIMEOUT(toolbar.Colour(2), Rgb(10, 20, 30), 2000);
    for (int i = 2; i < 6; ++i)
        EXPECT_EQ(toolbar.Colour(i), i % 2 ? Rgb(240, 230, 220) : Rgb(10, 20, 30)) << i;
    EXPECT_EQ(toolbar.Colour(0), ShiftColour(Rgb(10, 20, 30), 20));
    EXPECT_EQ(toolbar.Colour(1), Rgb(0, 0, 200));
    EXPECT_EQ(side.Colour(2), SideBarShade(changed));
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
}

TEST(FlatButtonMenu, ChosenCommandIsPostedBeforeTheParentHearsTheClick) {
    QWidget window;
    auto* button = new FlatButton("Status", &window);
    button->resize(80, 30);
    CommandSink sink;
    ApplyStatusPreset(*button, &sink, 11, 12, 13);
    ASSERT_NE(button->Menu(), nullptr);
    EXPECT_EQ(button->Menu()->title(), "Status");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::vector<QString> order;
    QObject::connect(button, &FlatButton::MenuCommand,
                     [&](int c) { order.push_back(QString::number(c)); });
    QObject::connect(button, &QAbstractButton::clicked, [&] { order.push_back("clicked"); });

    bool pressedWhileOpen = false;
    QPoint menuAt;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<IconMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        pressedWhileOpen = button->IsDrawnPressed();
        menuAt = menu->pos();
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        EXPECT_EQ(texts, QStringList({"Online", "Busy", "Away"}));
        menu->setActiveAction(menu->ActionFor(12));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(button, Qt::LeftButton);

    EXPECT_TRUE(pressedWhileOpen);
    EXPECT_EQ(menuAt, button->mapToGlobal(QPoint(0, button->height())));
    EXPECT_FALSE(button->IsDrawnPressed());
    EXPECT_EQ(order, (std::vector<QString>{"12", "clicked"}));
    QTRY_COMPARE_WITH_TIMEOUT(sink.commands.size(), size_t(1), 2000);
    EXPECT_EQ(sink.commands[0], 12);

    // Dismissed: nothing is posted, the click still arrives.
    order.clear();
    QTimer::singleShot(0, [] {
        if (QWidget* menu = QApplication::activePopupWidget())
            QTest::keyClick(menu, Qt::Key_Escape);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(order, (std::vector<QString>{"clicked"}));
    QCoreApplication::processEvents();
    EXPECT_EQ(sink.commands.size(), size_t(1));
}

TEST(FlatButtonMenu, ButtonDeletedWhileItsMenuIsOpen) {
    auto* window = new QWidget;
    auto* button = new FlatButton("Menu", window);
    button->SetMenu({{"One", 1}}, nullptr);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QTimer::singleShot(0, [window] { window->deleteLater(); });
    QTimer::singleShot(50, [] {
        if (QWidget* menu = QApplication::activePopupWidget())
            menu->close();
    });
    QPointer<QWidget> watch(window);
    QTest::mouseClick(button, Qt::LeftButton);
    // Gone while its menu was still open, and nothing touched it afterwards.
    EXPECT_TRUE(watch.isNull());
}

TEST(IconMenuLook, FlatShadesDependOnTheSystemClass) {
    QPalette pal;
    pal.setColor(QPalette::Button, Rgb(200, 200, 200));
    pal.setColor(QPalette::Highlight, Rgb(0, 0, 128));
    pal.setColor(QPalette::Base, Rgb(255, 255, 255));
    const FlatMenuColours usual = FlatMenuColoursFor(pal, 1, false);
    EXPECT_EQ(usual.background, Rgb(255, 255, 255));
    EXPECT_EQ(usual.iconColumn, Rgb(213, 213, 213));
    EXPECT_EQ(usual.selected, Rgb(216, 216, 235));
    const FlatMenuColours modern = FlatMenuColoursFor(pal, 7, false);
    EXPECT_EQ(modern.iconColumn, Rgb(200, 200, 200));
    EXPECT_EQ(modern.selected, Rgb(178, 178, 216));
    const FlatMenuColours classic = FlatMenuColoursFor(pal, 7, true);
    EXPECT_EQ(classic.iconColumn, usual.iconColumn);
    EXPECT_EQ(classic.selected, usual.selected);
}

TEST(IconMenuLook, PaintsIconColumnSelectionAndBackground) {
    IconMenu menu;
    menu.Load({{"Online", 1}, {"Busy", 2}, {{}, 0, true}, {"Away", 3, false, false}});
    ASSERT_EQ(menu.actions().size(), 4);
    EXPECT_TRUE(menu.actions()[2]->isSeparator());
    EXPECT_FALSE(menu.ActionFor(3)->isEnabled());
    EXPECT_EQ(menu.ActionFor(99), nullptr);

    menu.popup(QPoint(100, 100));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    const QRect busy = menu.actionGeometry(menu.ActionFor(2));
    const QRect sep = menu.actionGeometry(menu.actions()[2]);
    QImage image = menu.grab().toImage();
    EXPECT_EQ(image.pixelColor(busy.left() + 3, busy.center().y()), menu.IconColumnColour());
    EXPECT_EQ(image.pixelColor(sep.left() + 3, sep.center().y()), menu.IconColumnColour());
    EXPECT_EQ(image.pixelColor(busy.right() - 3, busy.center().y()), menu.BackgroundColour());

    menu.setActiveAction(menu.ActionFor(2));
    image = menu.grab().toImage();
    EXPECT_EQ(image.pixelColor(busy.right() - 3, busy.center().y()), menu.SelectedColour());

    menu.SetFlatLook(false);
    image = menu.grab().toImage();
    const QRect online = menu.actionGeometry(menu.ActionFor(1));
    EXPECT_EQ(image.pixelColor(online.right() - 3, online.center().y()),
              menu.palette().color(QPalette::Button));
    menu.close();
}

TEST(IconMenuLook, IconsComeFromAStripWithTheMaskColourClear) {
    QPixmap strip(32, 16);
    strip.fill(ImageMaskColour());
    {
        QPainter p(&strip);
        p.fillRect(QRect(20, 4, 8, 8), Qt::red);
    }
    IconMenu menu;
    menu.Load({{"A", 1}, {"B", 2}});
    menu.SetIcons(strip, {0, 2, 1}, ImageMaskColour()); // third cell does not exist
    EXPECT_TRUE(menu.ActionFor(1)->icon().isNull());
    const QImage icon = menu.ActionFor(2)->icon().pixmap(16, 16).toImage();
    EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(icon.pixelColor(8, 8), QColor(Qt::red));
}

TEST(ColourLabelLook, ColoursFallBackToTheSystemAndFontIsRebuilt) {
    ColourLabel label("Heading");
    label.resize(120, 30);
    const QPalette pal = QApplication::palette(&label);
    EXPECT_EQ(label.BackgroundColour(), pal.color(QPalette::Button));
    EXPECT_EQ(label.TextColour(), pal.color(QPalette::ButtonText));

    label.SetBackgroundColour(Rgb(0, 0, 160));
    label.SetTextColour(Rgb(255, 255, 0));
    QImage image = label.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), Rgb(0, 0, 160));
    EXPECT_GT(CountPixels(image, Rgb(255, 255, 0), 60), 0);

    label.SetBackgroundColour(QColor());
    label.SetTextColour(QColor());
    image = label.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), pal.color(QPalette::Button));
    EXPECT_EQ(CountPixels(image, Rgb(255, 255, 0), 60), 0);

    const QString family = label.font().family();
    label.SetFont(QString(), 20, 0, true);
    EXPECT_EQ(label.font().family(), family);
    EXPECT_EQ(label.font().pixelSize(), 20);
    EXPECT_EQ(label.font().weight(), QFont::Bold);
    label.SetFont("Serif", 0, 0, false);
    EXPECT_EQ(label.font().family(), "Serif");
    EXPECT_EQ(label.font().pointSizeF(), QApplication::font(&label).pointSizeF());
    EXPECT_EQ(label.font().weight(), QFont::Normal);
}

TEST(FlatButtonLook, ColouredParentPanelIsNoSystemColourChange) {
    // The console's side bar: preset buttons on a ColourLabel panel whose
    // colours are set after the buttons exist.
    ColourLabel panel;
    auto* button = new FlatButton("Side", &panel);
    ApplySideBarPreset(*button);
    const std::array<QColor, 6> preset = {button->Colour(0), button->Colour(1), button->Colour(2),
                                          button->Colour(3), button->Colour(4), button->Colour(5)};
    panel.SetBackgroundColour(Rgb(0, 0, 160));
    panel.SetTextColour(Rgb(255, 255, 255));
    QPalette own = panel.palette();
    own.setColor(QPalette::Button, Rgb(1, 2, 3));
    panel.setPalette(own);
    QCoreApplication::processEvents();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(button->Colour(i), preset[static_cast<size_t>(i)]) << "colour " << i;
}
