#include "console_engine.h"

#include "agent_client.h"
#include "console_images.h"
#include "message_box.h"
#include "operator_console.h"
#include "operator_list_view.h"
#include "page_list_view.h"
#include "result_code.h"

#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>

namespace olvex {
namespace {

ConsoleEngine* Self(void* userData) {
    return static_cast<ConsoleEngine*>(userData);
}

// Never blocks the engine thread: the change runs later on the UI thread.
template <typename F> void Post(void* userData, F change) {
    QMetaObject::invokeMethod(Self(userData), std::move(change), Qt::QueuedConnection);
}

} // namespace

ConsoleEngine::ConsoleEngine(OperatorConsole& c, AgentClient& e)
    : QObject(&c), console(c), engine(e) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray = new QSystemTrayIcon(this);
        connect(tray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason r) {
                    if (r == QSystemTrayIcon::DoubleClick) {
                        console.showNormal();
                        console.activateWindow();
                    }
                });
        tray->show();
        console.SetHideOnMinimise(true);
    }
    connect(&console, &OperatorConsole::LoginRequested, this, &ConsoleEngine::Login);
    connect(&console, &OperatorConsole::AutoLoginRequested, this, &ConsoleEngine::Login);
    connect(&console, &OperatorConsole::LogoutRequested, this, &ConsoleEngine::Logout);
    connect(&console, &OperatorConsole::StatusRequested, this, &ConsoleEngine::SetStatus);
    connect(&console, &OperatorConsole::InviteRequested, this, &ConsoleEngine::Invite);

    AgentCallbacks& cb = engine.callbacks;
    cb.OnLoggedIn = [](void* u) {
        Post(u, [u] {
            Self(u)->console.SetTitleOnline();
            Self(u)->console.SetLoggedInButtons(true);
            Self(u)->RefreshTray();
        });
    };
    cb.OnDisconnected = [](void* u, int reason) {
        if (reason == DisconnectReason::Shutdown)
            return;
        Post(u, [u] {
            ConsoleEngine* s = Self(u);
            s->console.SetTitleNotConnected();
            s->console.SetLoggedInButtons(false);
            s->console.PageList().Clear();
            s->console.OperatorList().Clear();
            s->ShowBalloon(QStringLiteral("You are now logged out from the Olvex server"));
            s->RefreshTray();
        });
    };
    cb.OnStatusChanged = [](void* u, int status) {
        Post(u, [u, status] {
            Self(u)->console.SetTitleStatus(status);
            Self(u)->RefreshTray();
        });
    };
    cb.OnUserListReceived = [](void* u) {
        auto users = Self(u)->engine.Users().Snapshot();
        OperatorListView::UserSnapshot copy(users.begin(), users.end());
        Post(u, [u, copy] { Self(u)->console.OperatorList().Rebuild(copy); });
    };
    auto userChanged = [](void* u, const UserRecord& user) {
        UserRecord copy = user;
        Post(u, [u, copy] { Self(u)->console.OperatorList().AddOrUpdate(copy); });
    };
    cb.OnUserLoggedIn = userChanged;
    cb.OnUserStatusChanged = userChanged;
    cb.OnUserLoggedOut = [](void* u, const UserRecord& user) {
        const int32_t id = user.userId;
        Post(u, [u, id] { Self(u)->console.OperatorList().Remove(id); });
    };
    auto pagesChanged = [](void* u) {
        auto pages = Self(u)->engine.Pages().Snapshot();
        PageListView::PageSnapshot copy(pages.begin(), pages.end());
        Post(u, [u, copy] { Self(u)->console.PageList().Rebuild(copy); });
    };
    cb.OnPageListReceived = pagesChanged;
    cb.OnPageEntered = [](void* u, const PageRecord&) {
        auto pages = Self(u)->engine.Pages().Snapshot();
        PageListView::PageSnapshot copy(pages.begin(), pages.end());
        Post(u, [u, copy] { Self(u)->console.PageList().Rebuild(copy); });
    };
    cb.OnPageLeft = [](void* u, const PageRecord& page) {
        const int32_t id = page.pageId;
        Post(u, [u, id] { Self(u)->console.PageList().Remove(id); });
    };
    cb.OnVisitorInvited = [](void* u, const PageRecord& page) {
        const int32_t id = page.pageId;
        Post(u, [u, id] { Self(u)->console.PageList().MarkInvited(id); });
    };
    cb.OnCallRequest = [](void* u, int, int, int, const char* text1, const char*, const char*) {
        const QString text = QStringLiteral("You have received an Olvex call request from %1.")
                                 .arg(QString::fromUtf8(text1 ? text1 : ""));
        Post(u, [u, text] { Self(u)->ShowBalloon(text); });
    };
    cb.OnServerError = nullptr;
    engine.userData = this;
    timer = new QTimer(this);
    timer->setInterval(60000);
    connect(timer, &QTimer::timeout, this, &ConsoleEngine::OnTick);
    RefreshTray();
}

ConsoleEngine::~ConsoleEngine() {
    *alive = false;
    engine.Logout(DisconnectReason::Shutdown);
    for (std::thread& worker : workers)
        if (worker.joinable())
            worker.join();
    engine.userData = nullptr;
    engine.callbacks = {};
}

void ConsoleEngine::RunWorker(std::function<void()> work) {
    workers.emplace_back(std::move(work));
}

void ConsoleEngine::Login() {
    const AgentSettings& s = console.Settings();
    console.SetTitleConnecting();
    console.ButtonOf(OperatorConsole::Button::Login).setEnabled(false);
    RefreshTray();
    auto flag = alive;
    QPointer<ConsoleEngine> self(this);
    RunWorker([this, flag, self, host = s.serverAddress, port = s.serverPort, user = s.username,
               pass = s.password] {
        const int32_t result = engine.Login(host, port, user, pass);
        if (result == 0) {
            engine.RequestUserList();
            engine.RequestPageList();
        }
        if (*flag)
            QMetaObject::invokeMethod(
                self,
                [self, result] {
                    if (self)
                        self->OnLoginFinished(result);
                },
                Qt::QueuedConnection);
    });
}

void ConsoleEngine::OnLoginFinished(int32_t result) {
    if (result == 0) {
        timer->start();
        console.SetTitleOnline();
        console.SetLoggedInButtons(true);
        ShowBalloon(QStringLiteral("You are now logged in to the Olvex server"));
    } else {
        console.SetTitleNotConnected();
        console.SetLoggedInButtons(false);
        ShowMessageBox(&console, QStringLiteral("Failed to connect to the Olvex server.\r\n") +
                                     QString::fromUtf8(ResultText(result)));
    }
    RefreshTray();
}

void ConsoleEngine::SetTimerPeriods(int periodMs, int retryMs) {
    timer->setInterval(periodMs);
    retryPauseMs = retryMs;
}

void ConsoleEngine::OnTick() {
    // The timer runs only between a log-in and a manual logout, so a zero status here is a
    // connection that dropped by itself.
    if (engine.GetStatus() <= 0) {
        timer->stop();
        if (AgentSettings::IsOn(console.Settings().reconnect))
            Login();
        return;
    }
    console.PageList().AddElapsedMinute();
    if (!retrying)
        TryKeepAlive(4);
}

void ConsoleEngine::TryKeepAlive(int attemptsLeft) {
    retrying = false;
    if (engine.SendKeepAlive() >= 0)
        return;
    if (attemptsLeft > 1) {
        retrying = true;
        QTimer::singleShot(retryPauseMs, this,
                           [this, attemptsLeft] { TryKeepAlive(attemptsLeft - 1); });
        return;
    }
    timer->stop();
    engine.Logout(DisconnectReason::ConnectionLost);
    if (AgentSettings::IsOn(console.Settings().reconnect))
        Login();
}

void ConsoleEngine::Logout() {
    timer->stop();
    engine.Logout(DisconnectReason::Logout);
}

void ConsoleEngine::SetStatus(int32_t status) {
    RunWorker([this, status] { engine.SetStatus(status); });
}

void ConsoleEngine::Invite() {
    if (inviting.exchange(true))
        return;
    std::vector<int32_t> ids;
    for (int32_t id : console.PageList().SelectedPageIds())
        if (id != 0)
            ids.push_back(id);
    RunWorker([this, ids] {
        for (int32_t id : ids)
            engine.InviteVisitor(id, "");
        inviting = false;
    });
}

void ConsoleEngine::ShowBalloon(const QString& text) {
    if (tray && AgentSettings::IsOn(console.Settings().showHints))
        tray->showMessage(QStringLiteral("Olvex Notification"), text, QSystemTrayIcon::Information,
                          11000);
}

void ConsoleEngine::RefreshTray() {
    if (!tray)
        return;
    tray->setIcon(ProgramIcon(engine.GetStatus() > 0));
    tray->setToolTip(console.windowTitle().left(127));
}

} // namespace olvex
