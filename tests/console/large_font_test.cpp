// The dialogs with a 16-point font on a small screen: each lies within the screen, keeps the
// room its layout needs, and shows every label's text whole.
#include "about_dialog.h"
#include "agent_settings.h"
#include "c_url_dlg.h"
#include "canned_edit_dlg.h"
#include "canned_msg_dlg.h"
#include "font_scaled.h"
#include "console_test_helpers.h"
#include "history_window.h"
#include "hyperlink_label.h"
#include "invite_operator_dialog.h"
#include "login_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace olvex {
namespace {

QFont Sized(int points) {
    QFont font = QApplication::font();
    font.setPointSize(points);
    return font;
}

void ExpectWhole(QWidget& window) {
    const std::string name = window.windowTitle().toStdString();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window)) << name;
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_LE(window.width(), screen.width()) << name;
    EXPECT_LE(window.height(), screen.height()) << name;
    const QSize needed = window.minimumSizeHint();
    EXPECT_GE(window.width(), std::min(needed.width(), screen.width())) << name;
    EXPECT_GE(window.height(), std::min(needed.height(), screen.height())) << name;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const std::string what = name + ": " + label->text().left(30).toStdString();
        if (label->wordWrap()) {
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << what;
        } else {
            const QSize text = label->fontMetrics().size(Qt::TextShowMnemonic, label->text());
            EXPECT_GE(label->contentsRect().width(), text.width()) << what;
            EXPECT_GE(label->contentsRect().height(), text.height()) << what;
        }
    }
}

} // namespace

TEST(LargeFont, EveryDialogFitsTheScreenAndShowsItsTextsWhole) {
    test::ForgetStoredState();
    const QFont before = QApplication::font();
    QApplication::setFont(Sized(16));
    AboutDialog about;
    ExpectWhole(about);

    AgentSettings settings;
    settings.username = "operator";
    LoginDialog login(settings);
    ExpectWhole(login);
    QTemporaryDir dir;
    CCannedMsgDlg canned((dir.path() + QStringLiteral("/canned.dat")).toStdString());
    ExpectWhole(canned);
    CCannedEditDlg edit({QStringLiteral("Greetings")}, QStringLiteral("Greetings"),
                        QStringLiteral("Welcome"), QStringLiteral("Hello!"));
    ExpectWhole(edit);
    CUrlDlg url;
    ExpectWhole(url);
    InviteOperatorDialog invite(std::vector<std::shared_ptr<UserRecord>>{}, 1);
    ExpectWhole(invite);
    HistoryWindow history((dir.path() + QStringLiteral("/history")).toStdString(), nullptr);
    ExpectWhole(history);
    QApplication::setFont(before);
    test::ForgetStoredState();
}

} // namespace olvex

namespace olvex {
namespace {

// A window manager that puts a new window partly below the screen: the window comes back up.
TEST(LargeFont, AWindowPlacedPartlyOffTheScreenIsMovedBackOntoIt) {
    QWidget window;
    ResizeForFont(window, QSize(300, 200));
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    window.move(screen.right() - 100, screen.bottom() - 50);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return screen.contains(window.frameGeometry()); }, 2000))
        << window.frameGeometry().x() << "," << window.frameGeometry().y();
}

} // namespace
} // namespace olvex
