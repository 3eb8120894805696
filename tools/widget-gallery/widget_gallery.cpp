// olvex-widget-gallery [OUT.png]: a row of FlatButtons in their states and
// presets, a ColourLabel heading and an open IconMenu, rendered without a
// display into one picture.
#include "colour_label.h"
#include "flat_button.h"
#include "icon_menu.h"

#include <QApplication>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>
#include <cstdio>

using namespace olvex;

namespace {

// A 16 by 16 image on the mask colour, as the toolbar bitmaps come.
QPixmap SampleImage(const QColor& colour, bool round) {
    QPixmap image(16, 16);
    image.fill(ImageMaskColour());
    QPainter p(&image);
    p.setPen(Qt::black);
    p.setBrush(colour);
    if (round)
        p.drawEllipse(2, 2, 11, 11);
    else
        p.drawRect(2, 2, 11, 11);
    return image;
}

void Hover(QWidget* widget) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(widget, &enter);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/olvex-widgets.png";

    QWidget panel;
    auto* column = new QVBoxLayout(&panel);
    auto* heading = new ColourLabel("Visitors");
    const QPalette pal = QApplication::palette();
    heading->SetBackgroundColour(pal.color(QPalette::Dark));
    heading->SetTextColour(pal.color(QPalette::Light));
    heading->SetFont(QString(), 0, 0, true);
    column->addWidget(heading);

    auto* row = new QHBoxLayout;
    column->addLayout(row);
    const char* names[] = {"At rest", "Hovered", "Pressed", "Checked", "Disabled"};
    for (int i = 0; i < 5; ++i) {
        auto* button = new FlatButton(names[i]);
        ApplyToolbarPreset(*button, SampleImage(QColor(40 * i, 90, 200), i % 2));
        row->addWidget(button);
        if (i == 1)
            Hover(button);
        if (i == 2)
            button->setDown(true);
        if (i == 3) {
            button->SetCheckMode(true);
            button->SetCheck(1);
        }
        if (i == 4)
            button->setEnabled(false);
    }
    auto* side = new FlatButton("Side bar");
    ApplySideBarPreset(*side, SampleImage(Qt::yellow, true));
    row->addWidget(side);
    auto* send = new FlatButton("Send");
    ApplySendPreset(*send);
    row->addWidget(send);
    auto* accept = new FlatButton("Accept");
    ApplyDialogPreset(*accept, SampleImage(Qt::green, true));
    row->addWidget(accept);

    panel.show();
    const QImage buttons = panel.grab().toImage();

    IconMenu flat;
    flat.Load(
        {{"Online", 1}, {"Busy", 2}, {{}, 0, true}, {"Away", 3}, {"Offline", 4, false, false}});
    QPixmap strip(64, 16);
    {
        QPainter p(&strip);
        for (int i = 0; i < 4; ++i)
            p.drawPixmap(16 * i, 0, SampleImage(QColor::fromHsv(90 * i, 200, 220), i % 2));
    }
    flat.SetIcons(strip, {1, 2, 3, 4}, ImageMaskColour());
    flat.popup(QPoint(0, 0));
    flat.setActiveAction(flat.ActionFor(2));
    const QImage flatMenu = flat.grab().toImage();
    IconMenu classic;
    classic.Load(
        {{"Online", 1}, {"Busy", 2}, {{}, 0, true}, {"Away", 3}, {"Offline", 4, false, false}});
    classic.SetIcons(strip, {1, 2, 3, 4}, ImageMaskColour());
    classic.SetFlatLook(false);
    classic.popup(QPoint(0, 0));
    classic.setActiveAction(classic.ActionFor(2));
    const QImage classicMenu = classic.grab().toImage();

    QImage sheet(std::max(buttons.width(), flatMenu.width() + classicMenu.width() + 30),
                 buttons.height() + std::max(flatMenu.height(), classicMenu.height()) + 20,
                 QImage::Format_RGB32);
    sheet.fill(Qt::white);
    {
        QPainter p(&sheet);
        p.drawImage(0, 0, buttons);
        p.drawImage(10, buttons.height() + 10, flatMenu);
        p.drawImage(flatMenu.width() + 20, buttons.height() + 10, classicMenu);
    }
    if (!sheet.save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s\n", qPrintable(out));
    return 0;
}
