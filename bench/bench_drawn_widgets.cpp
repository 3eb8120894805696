// Cost of the drawn widgets' paints and of the colour arithmetic they use.
#include "colour_shift.h"
#include "flat_button.h"
#include "icon_menu.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

using namespace olvex;

static void BM_LightenAndShift(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        const QColor c(i & 255, (i * 7) & 255, (i * 13) & 255);
        benchmark::DoNotOptimize(ShiftColour(Lighten(c, 0.25), 20));
        ++i;
    }
}
BENCHMARK(BM_LightenAndShift);

static void BM_FlatButtonPaint(benchmark::State& state) {
    FlatButton button("Invite");
    QPixmap image(16, 16);
    image.fill(ImageMaskColour());
    ApplyToolbarPreset(button, image);
    button.resize(72, 44);
    if (state.range(0)) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&button, &enter);
    }
    QImage target(button.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        button.render(&target);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FlatButtonPaint)->Arg(0)->Arg(1)->ArgNames({"hovered"});

static void BM_IconMenuPaint(benchmark::State& state) {
    IconMenu menu;
    menu.Load({{"Online", 1}, {"Busy", 2}, {{}, 0, true}, {"Away", 3}});
    menu.SetFlatLook(state.range(0) != 0);
    menu.popup(QPoint(0, 0));
    menu.setActiveAction(menu.ActionFor(2));
    QImage target(menu.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        menu.render(&target);
        benchmark::ClobberMemory();
    }
    menu.close();
}
BENCHMARK(BM_IconMenuPaint)->Arg(1)->Arg(0)->ArgNames({"flat"});
