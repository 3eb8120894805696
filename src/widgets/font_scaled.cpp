#include "font_scaled.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTreeView>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace olvex {

namespace {

// The line height of the 10-point text the windows were laid out for.
constexpr double kUsualLineHeight = 16.0;

// Widens the columns again when a style sheet or the desktop changes the list's font.
class ColumnWidener : public QObject {
public:
    ColumnWidener(QTreeView& list, std::vector<int> designed)
        : QObject(&list), list(list), widths(std::move(designed)) {
        list.installEventFilter(this);
        Widen();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &list && event->type() == QEvent::FontChange)
            Widen();
        return false;
    }

private:
    void Widen() {
        QHeaderView* header = list.header();
        const int count = std::min<int>(static_cast<int>(widths.size()), header->count());
        for (int i = 0; i < count; ++i) {
            const int wanted = FontScaled(list, widths[static_cast<size_t>(i)]);
            if (header->sectionSize(i) < wanted)
                header->resizeSection(i, wanted);
        }
    }

    QTreeView& list;
    std::vector<int> widths;
};

} // namespace

double FontScale(QWidget& widget) {
    widget.ensurePolished();
    return std::max(1.0, widget.fontMetrics().height() / kUsualLineHeight);
}

int FontScaled(QWidget& widget, int pixels) {
    return static_cast<int>(pixels * FontScale(widget) + 0.5);
}

void ResizeForFont(QWidget& window, QSize designed) {
    const double scale = FontScale(window);
    QSize size = (QSizeF(designed) * scale).toSize().expandedTo(window.minimumSizeHint());
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen) {
        // The frame is not known before the window is shown: a title bar and borders, and
        // some play for a window manager that does not place it at the very top.
        const int title =
            std::max(24, window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window));
        const QSize room = screen->availableGeometry().size() - QSize(title / 2, 3 * title);
        size = size.boundedTo(room);
    }
    window.resize(size);
}

void KeepColumnsWideForFont(QTreeView& list, std::initializer_list<int> widths) {
    new ColumnWidener(list, std::vector<int>(widths));
}

} // namespace olvex
