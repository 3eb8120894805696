#include "window_placement_store.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace olvex {
namespace {

class WindowPlacementStoreTest : public ::testing::Test {
protected:
    QString Path() const { return dir.filePath(QStringLiteral("olvex.INI")); }
    void Write(const QString& key, const QVariant& value) {
        QSettings(Path(), QSettings::IniFormat).setValue(key, value);
    }
    int Read(const QString& key) const {
        return QSettings(Path(), QSettings::IniFormat).value(key).toInt();
    }
    QTemporaryDir dir;
};

TEST_F(WindowPlacementStoreTest, NothingStoredLeavesTheWindowAsCreated) {
    QWidget window;
    window.setGeometry(30, 40, 320, 240);
    Write(QStringLiteral("MainWindow/Left"), 5); // edges without "Show" are ignored
    WindowPlacementStore(Path()).RestoreWindowPlacement(window, QStringLiteral("MainWindow"));
    EXPECT_EQ(window.geometry(), QRect(30, 40, 320, 240));
}

TEST_F(WindowPlacementStoreTest, ShowWithoutEdgesAndUnreadableValuesGiveTheDefaultRectangle) {
    Write(QStringLiteral("MainWindow/Show"), 1);
    Write(QStringLiteral("MainWindow/Right"), QStringLiteral("wide"));
    QWidget window;
    window.setGeometry(30, 40, 320, 240);
    WindowPlacementStore(Path()).RestoreWindowPlacement(window, QStringLiteral("MainWindow"));
    EXPECT_EQ(window.geometry(), QRect(0, 0, 400, 400));
}

TEST_F(WindowPlacementStoreTest, SavesEdgesNotSizesAndRestoresThem) {
    const WindowPlacementStore store(Path());
    QWidget first;
    first.setGeometry(50, 60, 300, 200);
    store.SaveWindowPlacement(first, QStringLiteral("ChatWindow"));
    EXPECT_EQ(Read(QStringLiteral("ChatWindow/Show")), 1);
    EXPECT_EQ(Read(QStringLiteral("ChatWindow/Right")), 350);
    EXPECT_EQ(Read(QStringLiteral("ChatWindow/Bottom")), 260);

    // The section keeps the window saved last.
    QWidget second;
    second.setGeometry(70, 80, 310, 210);
    store.SaveWindowPlacement(second, QStringLiteral("ChatWindow"));
    QWidget reopened;
    store.RestoreWindowPlacement(reopened, QStringLiteral("ChatWindow"));
    EXPECT_EQ(reopened.geometry(), QRect(70, 80, 310, 210));
}

TEST_F(WindowPlacementStoreTest, ShowStatesRoundTrip) {
    const WindowPlacementStore store(Path());
    QWidget maximised;
    maximised.setGeometry(40, 50, 300, 200);
    maximised.show();
    maximised.setWindowState(Qt::WindowMaximized);
    store.SaveWindowPlacement(maximised, QStringLiteral("Big"));
    EXPECT_EQ(Read(QStringLiteral("Big/Show")), 3);
    EXPECT_EQ(Read(QStringLiteral("Big/Left")), 40);
    EXPECT_EQ(Read(QStringLiteral("Big/Right")), 340);

    QWidget reopened;
    store.RestoreWindowPlacement(reopened, QStringLiteral("Big"));
    EXPECT_TRUE(reopened.windowState() & Qt::WindowMaximized);

    Write(QStringLiteral("Small/Show"), 2);
    QWidget minimised;
    store.RestoreWindowPlacement(minimised, QStringLiteral("Small"));
    EXPECT_TRUE(minimised.windowState() & Qt::WindowMinimized);
}

TEST_F(WindowPlacementStoreTest, WindowOffEveryScreenIsBroughtBackAndInvertedRectanglesDoNotCrash) {
    Write(QStringLiteral("Lost/Show"), 1);
    Write(QStringLiteral("Lost/Left"), 90000);
    Write(QStringLiteral("Lost/Top"), 90000);
    Write(QStringLiteral("Lost/Right"), 90300);
    Write(QStringLiteral("Lost/Bottom"), 90200);
    QWidget window;
    WindowPlacementStore(Path()).RestoreWindowPlacement(window, QStringLiteral("Lost"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(window.geometry()));
    EXPECT_EQ(window.size(), QSize(300, 200));

    Write(QStringLiteral("Odd/Show"), 1);
    Write(QStringLiteral("Odd/Left"), 500);
    Write(QStringLiteral("Odd/Right"), -2147483647);
    QWidget inverted;
    WindowPlacementStore(Path()).RestoreWindowPlacement(inverted, QStringLiteral("Odd"));
    EXPECT_GE(inverted.width(), 1);
}

// A Wayland run knows no positions: it keeps an X11 run's position, stores its size beside
// it, and restores sizes without moving anything.
TEST_F(WindowPlacementStoreTest, WaylandKeepsTheX11PositionAndStoresOnlyTheSize) {
    using Rules = WindowPlacementStore::Rules;
    const WindowPlacementStore x11(Path(), Rules::Positions);
    const WindowPlacementStore wayland(Path(), Rules::SizesOnly);
    QWidget window;
    window.setGeometry(0, 0, 640, 480); // what Qt reports on Wayland
    wayland.SaveWindowPlacement(window, QStringLiteral("Fresh"));
    // Nothing stored before: centred for the next X11 run, never the corner.
    EXPECT_NE(Read(QStringLiteral("Fresh/Left")), 0);
    EXPECT_EQ(Read(QStringLiteral("Fresh/Right")) - Read(QStringLiteral("Fresh/Left")), 640);

    Write(QStringLiteral("MainWindow/Show"), 1);
    Write(QStringLiteral("MainWindow/Left"), 100);
    Write(QStringLiteral("MainWindow/Top"), 50);
    Write(QStringLiteral("MainWindow/Right"), 500);
    Write(QStringLiteral("MainWindow/Bottom"), 350);
    wayland.SaveWindowPlacement(window, QStringLiteral("MainWindow"));
    EXPECT_EQ(Read(QStringLiteral("MainWindow/Left")), 100);
    EXPECT_EQ(Read(QStringLiteral("MainWindow/Top")), 50);
    EXPECT_EQ(Read(QStringLiteral("MainWindow/Right")), 740);
    EXPECT_EQ(Read(QStringLiteral("MainWindow/Bottom")), 530);

    QWidget reopened;
    reopened.setGeometry(20, 30, 100, 100);
    wayland.RestoreWindowPlacement(reopened, QStringLiteral("MainWindow"));
    EXPECT_EQ(reopened.geometry(), QRect(20, 30, 640, 480));
    x11.RestoreWindowPlacement(reopened, QStringLiteral("MainWindow"));
    EXPECT_EQ(reopened.geometry(), QRect(100, 50, 640, 480));
}

// A tiling window manager's sizes and its "maximised" tiles are not the operator's.
TEST_F(WindowPlacementStoreTest, ATilingDesktopSavesNothing) {
    Write(QStringLiteral("ChatWindow/Show"), 1);
    Write(QStringLiteral("ChatWindow/Right"), 300);
    QWidget tiled;
    tiled.setGeometry(0, 0, 640, 751);
    tiled.setWindowState(Qt::WindowMaximized);
    WindowPlacementStore(Path(), WindowPlacementStore::Rules::Tiled)
        .SaveWindowPlacement(tiled, QStringLiteral("ChatWindow"));
    EXPECT_EQ(Read(QStringLiteral("ChatWindow/Show")), 1);
    EXPECT_EQ(Read(QStringLiteral("ChatWindow/Right")), 300);
}

} // namespace
} // namespace olvex
