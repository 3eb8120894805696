#include "c_url_dlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace olvex;

namespace {

// Runs the action on the next modal dialog of type T once it is up; a dialog
// that never shows fails the test instead of hanging it.
template <class T> void WhenModal(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "expected dialog did not open";
        }
    });
    timer->start(5);
}

void TypeAndAccept(CUrlDlg* dialog, const QString& url) {
    dialog->findChild<QLineEdit*>("url")->setText(url);
    dialog->accept();
}

} // namespace

TEST(CUrlDlg, EmptyAddressIsRefusedAndTheDialogStaysOpen) {
    QString boxText;
    bool stillOpenAfterBox = false;
    WhenModal<CUrlDlg>([&](CUrlDlg* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Enter URL");
        EXPECT_TRUE(dialog->findChild<QLineEdit*>("url")->text().isEmpty());
        WhenModal<QMessageBox>([&, dialog](QMessageBox* box) {
            boxText = box->text();
            box->accept();
            // Back in the URL dialog once the box is gone.
            WhenModal<CUrlDlg>([&, dialog](CUrlDlg* again) {
                stillOpenAfterBox = again == dialog && again->isVisible();
                TypeAndAccept(again, "  www.x.example/a b ");
            });
        });
        dialog->accept();
    });
    const auto url = CUrlDlg::Ask(nullptr, UrlAction::Link);
    EXPECT_EQ(boxText,
              "You must type in the URL of the image or page you want to send to the visitor.");
    EXPECT_TRUE(stillOpenAfterBox);
    // Blanks are kept, so the leading ones defeat the scheme check.
    EXPECT_EQ(url, "http://  www.x.example/a b ");
}

TEST(CUrlDlg, CompletesPerActionAndCancelGivesNothing) {
    WhenModal<CUrlDlg>([](CUrlDlg* d) { TypeAndAccept(d, "ftp://f.example/x"); });
    EXPECT_EQ(CUrlDlg::Ask(nullptr, UrlAction::Push), "ftp://f.example/x");
    WhenModal<CUrlDlg>([](CUrlDlg* d) { TypeAndAccept(d, "ftp://f.example/x"); });
    EXPECT_EQ(CUrlDlg::Ask(nullptr, UrlAction::Image), "http://ftp://f.example/x");
    WhenModal<CUrlDlg>([](CUrlDlg* d) {
        d->findChild<QLineEdit*>("url")->setText("www.x.example");
        d->reject();
    });
    EXPECT_EQ(CUrlDlg::Ask(nullptr, UrlAction::Link), std::nullopt);
}
