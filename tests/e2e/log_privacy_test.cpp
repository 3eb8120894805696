// The log of a whole session (log-in, a call with a visitor, the server going away) holds
// what support needs and none of the operator's or the visitor's secrets.
#include "agent_client.h"
#include "call_alert_dialog.h"
#include "call_window.h"
#include "console_engine.h"
#include "console_test_helpers.h"
#include "demo_server_process.h"
#include "desktop_services.h"
#include "log_file.h"
#include "operator_console.h"
#include "reports_url.h"
#include "transcript_view.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace olvex {
namespace {

using namespace std::chrono_literals;

constexpr int kWait = 10000;

CallAlertDialog* OpenAlert() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("callAlert"))
            return qobject_cast<CallAlertDialog*>(widget);
    }
    return nullptr;
}

std::string ReadLog(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

TEST(LogPrivacy, AWholeSessionLogsWhatHappenedAndNoSecret) {
    const std::string password = "Zq-4471-pass";
    const QString welcome = QStringLiteral("Welcome-line-5521, how may I help?");
    const QString chatLine = QStringLiteral("Chat-line-8812 with the order number");

    QTemporaryDir dir;
    const QString accounts = dir.filePath(QStringLiteral("accounts"));
    {
        QFile file(accounts);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("ann ") + password.c_str() + " Ann Example\n");
    }
    demo::DemoServerProcess server(
        OLVEX_DEMO_SERVER_PATH,
        {"--quiet", "--visitors", "3", "--seed", "11", "--accounts", accounts.toStdString()});
    ASSERT_GT(server.Port(), 0);

    // Debug lines too: the most the log ever holds.
    QLoggingCategory::setFilterRules(QStringLiteral("olvex.*=true"));
    const QString logPath = dir.filePath(QStringLiteral("state/Olvex/olvex.log"));
    QString transcript;
    std::vector<std::string> pageAddresses;
    {
        LogFile log(logPath);
        log.Install();
        test::ForgetStoredState();
        test::UiRecorder ui;
        // The one the call window finds.
        AgentClient& engine = *AgentClient::Instance();
        DesktopServices desktop;
        OperatorConsole console{desktop, false};
        auto* bridge = new ConsoleEngine(console, engine);
        AgentSettings& s = console.Settings();
        s.serverAddress = "127.0.0.1";
        s.serverPort = server.Port();
        s.username = "ann";
        s.password = password;
        s.saveLogin = 1;
        s.reconnect = 0;
        s.showHints = 0;
        s.notifySound = 0;
        s.welcomeMsg = welcome.toStdString();

        bridge->AutoLogin();
        ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Pages().Count() >= 3; }, kWait));
        for (const auto& page : engine.Pages().Snapshot())
            pageAddresses.insert(pageAddresses.end(), {page->url, page->ipAddress});
        ASSERT_GE(engine.InviteVisitor(engine.Pages().Snapshot().front()->pageId, "ann"), 0);
        QPointer<CallAlertDialog> alert;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (alert = OpenAlert()) != nullptr; }, kWait));
        alert->Accept();
        QPointer<CallWindow> window = alert->AcceptedWindow();
        ASSERT_TRUE(window);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Call() != nullptr; }, kWait))
            << ReadLog(logPath);
        window->InputBox().setPlainText(chatLine);
        window->SendTypedText();
        // The visitor answers: a line of its own under its name.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const QStringList lines =
                    window->Transcript().toPlainText().split(QLatin1Char('\n'));
                for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
                    if (lines[i].endsWith(QLatin1Char(':')) && lines[i] != QStringLiteral("ann:") &&
                        !lines[i + 1].isEmpty())
                        return true;
                }
                return false;
            },
            kWait));

        server.Stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Call() == nullptr; }, kWait));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return console.windowTitle() == QStringLiteral("Olvex - Not connected"); },
            kWait));
        transcript = window->Transcript().toPlainText();
        delete window.data();
        delete alert.data();
        delete bridge;
        AgentClient::DestroyInstance();
    }
    QLoggingCategory::setFilterRules(QStringLiteral("olvex.*.debug=false\nolvex.*.info=false"));

    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString all = QString::fromUtf8(file.readAll());
    for (const char* said :
         {"logged in to 127.0.0.1:", "joined call ", "connection lost", "connection to 127.0.0.1:"})
        EXPECT_TRUE(all.contains(QLatin1String(said))) << said << "\n" << all.toStdString();

    QStringList secrets = {QString::fromStdString(password), welcome, chatLine,
                           ReportsUrl("ann", password), QStringLiteral("OperatorReports")};
    // Every line of the call: the visitor's name and texts, and ours.
    for (const QString& line : transcript.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.trimmed().size() >= 6)
            secrets << line.trimmed();
    }
    ASSERT_GT(secrets.size(), 8);
    for (const QString& secret : secrets)
        EXPECT_FALSE(all.contains(secret)) << secret.toStdString() << "\n" << all.toStdString();
    // Visitors' and page addresses on debug lines only.
    for (const QString& line : all.split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String(" debug ")))
            continue;
        for (const std::string& address : pageAddresses)
            EXPECT_FALSE(line.contains(QString::fromStdString(address))) << line.toStdString();
    }
}

} // namespace
} // namespace olvex
