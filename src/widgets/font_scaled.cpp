#include "font_scaled.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTimer>
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

// Waits for the window's first show, then for the window manager to frame and place it.
class FirstPlacementCheck : public QObject {
public:
    explicit FirstPlacementCheck(QWidget& window) : QObject(&window), window(window) {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window && event->type() == QEvent::Show) {
            window.removeEventFilter(this);
            QTimer::singleShot(kFramedMs, this, [this] {
                KeepFrameOnScreen(window);
                deleteLater();
            });
        }
        return false;
    }

private:
    // Long enough for a window manager to have put its frame around a new window.
    static constexpr int kFramedMs = 300;
    QWidget& window;
};

} // namespace

void KeepFrameOnScreen(QWidget& window) {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
        !window.isVisible() || window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    if (free.contains(frame))
        return;
    // The top left corner stays on the screen even where the frame is larger than it.
    const int x = std::max(free.left(), std::min(frame.left(), free.right() + 1 - frame.width()));
    const int y = std::max(free.top(), std::min(frame.top(), free.bottom() + 1 - frame.height()));
    // By the client area, which every window manager takes as it is; a move of the frame is
    // read with the frame added once more by some.
    window.setGeometry(window.geometry().translated(x - frame.left(), y - frame.top()));
}

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
    new FirstPlacementCheck(window);
}

void KeepColumnsWideForFont(QTreeView& list, std::initializer_list<int> widths) {
    new ColumnWidener(list, std::vector<int>(widths));
}

} // namespace olvex
