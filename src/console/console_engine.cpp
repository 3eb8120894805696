#include "console_engine.h"

#include "agent_client.h"
#include "console_images.h"
#include "console_tray.h"
#include "desktop_services.h"
#include "event_sound.h"
#include "flat_button.h"
#include "hyperlink_label.h"
#include "log_categories.h"
#include "log_file.h"
#include "login_dialog.h"
#include "message_box.h"
#include "operator_console.h"
#include "operator_list_view.h"
#include "options_dialog.h"
#include "page_list_view.h"
#include "product_info.h"
#include "result_code.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace olvex {

namespace {

const QString kBalloonTitle = QStringLiteral("Olvex Notification");
constexpr char kConnectionClosedText[] = "The connection to the Olvex server was closed.\r\n";

ConsoleEngine* Self(void* userData) {
    return static_cast<ConsoleEngine*>(userData);
}

QString Text(const std::string& bytes) {
    return QString::fromStdString(bytes);
}

QString WithResult(const char* fixed, int32_t result) {
    return QString::fromLatin1(fixed) + QString::fromUtf8(ResultText(result));
}

// The alert's text had to fit a 100-byte block; a longer one is cut there, at a character
// boundary, so that a hostile name cannot blow the alert up.
constexpr size_t kCallAlertBytes = 99;

std::string CutUtf8(std::string text, size_t limit) {
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

} // namespace

std::optional<QString> ConsoleEngine::CallAlertText(int kind, const char* name,
                                                    const char* second) {
    const std::string who = name ? name : "";
    std::string text;
    if (kind == 1)
        text = "You have received an Olvex call request from " + who + ".";
    else if (kind == 2)
        text = "You have received an Olvex call transfer from " + who + " " +
               (second ? second : "") + ".";
    else
        return std::nullopt;
    return QString::fromUtf8(CutUtf8(std::move(text), kCallAlertBytes));
}

ConsoleEngine::ConsoleEngine(OperatorConsole& c, AgentClient& e)
    : QObject(&c), console(c), engine(e),
      runDialog([](QDialog& dialog) { return ExecWindowModal(dialog); }) {
    QPointer<ConsoleEngine> self(this);
    console.SetShutdown([self] {
        if (self)
            self->Shutdown();
    });

    // Only a console that can be brought back from the tray hides itself when minimised;
    // the tray follows the desktop's panel while running.
    tray = new ConsoleTray(console, this);
    RefreshTray();

    connect(&console, &OperatorConsole::LoginRequested, this, &ConsoleEngine::Connect);
    connect(&console, &OperatorConsole::AutoLoginRequested, this, &ConsoleEngine::AutoLogin);
    connect(&console, &OperatorConsole::LogoutRequested, this, &ConsoleEngine::Logout);
    connect(&console, &OperatorConsole::StatusRequested, this, &ConsoleEngine::SetStatus);
    connect(&console, &OperatorConsole::InviteRequested, this, &ConsoleEngine::Invite);
    connect(&console, &OperatorConsole::WaitingChanged, this, &ConsoleEngine::WaitingChanged);

    flushTimer = new QTimer(this);
    flushTimer->setSingleShot(true);
    connect(flushTimer, &QTimer::timeout, this, &ConsoleEngine::Flush);

    timer = new QTimer(this);
    timer->setInterval(kTimerPeriodMs);
    connect(timer, &QTimer::timeout, this, &ConsoleEngine::OnTick);

    RegisterHandlers();
}

ConsoleEngine::~ConsoleEngine() {
    Shutdown();
}

// Every handler copies what it needs and queues the change; none of them waits for the
// window, so a Logout on the UI thread never has to sit out the engine's bounded stop.
void ConsoleEngine::RegisterHandlers() {
    AgentCallbacks cb;
    cb.OnLoggedIn = [](void* u) {
        if (u)
            Self(u)->LoggedInOnWorker();
    };
    cb.OnDisconnected = [](void* u, int reason) {
        // The engine goes with the console; there is nothing left to reset.
        if (!u || reason == DisconnectReason::Shutdown)
            return;
        // A frame too large to take is no passing fault: say so, and do not reconnect into
        // the same refusal every minute.
        const bool refused = reason == DisconnectReason::ConnectionLost &&
                             Self(u)->engine.DisconnectResult() == ResultCode::MessageSize;
        Self(u)->Deliver([refused](ConsoleEngine& s) {
            if (refused) {
                s.StopTimer();
                s.ShowMessage(WithResult(kConnectionClosedText, ResultCode::MessageSize));
            }
            s.console.OperatorList().Clear();
            s.console.PageList().Clear();
            s.console.ClearReports();
            s.console.SetTitleNotConnected();
            s.RefreshTray();
            s.console.SetLoggedInButtons(false);
            s.ShowBalloon(QStringLiteral("You are now logged out from the Olvex server"));
            emit s.StatusShown(0);
        });
    };
    cb.OnStatusChanged = [](void* u, int status) {
        if (!u)
            return;
        Self(u)->Deliver([status](ConsoleEngine& s) {
            s.console.SetTitleStatus(status);
            s.RefreshTray();
            s.ShowBalloon(QStringLiteral("Your status has now been changed to %1")
                              .arg(OperatorListView::StatusWord(status)));
            emit s.StatusShown(status);
        });
    };
    cb.OnUserListReceived = [](void* u) {
        if (!u)
            return;
        auto users = Self(u)->engine.Users().Snapshot();
        OperatorListView::UserSnapshot copy(users.begin(), users.end());
        Self(u)->Deliver(
            [copy = std::move(copy)](ConsoleEngine& s) { s.console.OperatorList().Rebuild(copy); });
    };
    cb.OnUserLoggedIn = [](void* u, const UserRecord& user) {
        if (!u)
            return;
        Self(u)->Deliver([copy = user](ConsoleEngine& s) {
            if (s.console.OperatorList().AddOrUpdate(copy))
                s.ShowBalloon(QStringLiteral("%1 has now logged in to the Olvex server")
                                  .arg(OperatorListView::DisplayName(copy)));
        });
    };
    cb.OnUserLoggedOut = [](void* u, const UserRecord& user) {
        if (!u)
            return;
        Self(u)->Deliver([id = user.userId](ConsoleEngine& s) {
            if (auto name = s.console.OperatorList().Remove(id))
                s.ShowBalloon(
                    QStringLiteral("%1 has now logged out from the Olvex server").arg(*name));
        });
    };
    cb.OnUserStatusChanged = [](void* u, const UserRecord& user) {
        if (!u)
            return;
        Self(u)->Deliver(
            [copy = user](ConsoleEngine& s) { s.console.OperatorList().UpdateStatus(copy); });
    };
    cb.OnPageListReceived = [](void* u) {
        if (!u)
            return;
        auto pages = Self(u)->engine.Pages().Snapshot();
        PageListView::PageSnapshot copy(pages.begin(), pages.end());
        Self(u)->Deliver(
            [copy = std::move(copy)](ConsoleEngine& s) { s.console.PageList().Rebuild(copy); });
    };
    cb.OnPageEntered = [](void* u, const PageRecord& page) {
        if (!u)
            return;
        // The row shares the directory's record when this is it, rather than holding a second
        // copy of every page on a busy site.
        std::shared_ptr<const PageRecord> copy = Self(u)->engine.Pages().FindById(page.pageId);
        if (copy.get() != &page)
            copy = std::make_shared<const PageRecord>(page);
        Self(u)->Deliver([copy = std::move(copy)](ConsoleEngine& s) {
            if (s.console.PageList().AddOrUpdate(copy)) {
                s.ShowBalloon(QStringLiteral("A website visitor has now entered the %1 web page")
                                  .arg(Text(copy->title)));
                if (AgentSettings::IsOn(s.console.Settings().visitorSound))
                    EventSound::Shared().Play(EventSound::Kind::Visitor);
            }
        });
    };
    cb.OnPageLeft = [](void* u, const PageRecord& page) {
        if (!u)
            return;
        Self(u)->Deliver([id = page.pageId](ConsoleEngine& s) { s.console.PageList().Remove(id); });
    };
    cb.OnVisitorInvited = [](void* u, const PageRecord& page) {
        if (!u)
            return;
        Self(u)->Deliver(
            [id = page.pageId](ConsoleEngine& s) { s.console.PageList().MarkInvited(id); });
    };
    cb.OnCallRequest = [](void* u, int callId, int requesterId, int kind, const char* name,
                          const char* second, const char*) {
        if (!u)
            return;
        std::optional<QString> text = CallAlertText(kind, name, second);
        if (!text)
            return;
        QString caller = QString::fromUtf8(name ? name : "");
        if (kind == 2 && second && *second)
            caller += QLatin1Char(' ') + QString::fromUtf8(second);
        Self(u)->Deliver([callId, requesterId, kind, text = *text,
                          caller = std::move(caller)](ConsoleEngine& s) {
            s.console.ShowCallAlert(callId, requesterId, kind, text, caller);
        });
    };
    // Error answers change nothing in the console.
    cb.OnServerError = [](void*, int, int) {};
    engine.SetCallbacks(this, cb);
    // Needs no user data, so it stays valid after the console has gone.
    engine.logSink = QtLogSink();
}

void ConsoleEngine::Deliver(Change change) {
    if (closing)
        return;
    bool post = false;
    {
        std::lock_guard lock(pendingMutex);
        pending.push_back(std::move(change));
        post = !flushQueued;
        flushQueued = true;
    }
    if (post)
        QMetaObject::invokeMethod(this, &ConsoleEngine::ScheduleFlush, Qt::QueuedConnection);
}

// At most one flush per kFlushGapMs: a steady stream of events is applied in batches, and
// the lists repaint once per batch rather than once per event.
void ConsoleEngine::ScheduleFlush() {
    const qint64 wait = lastFlush.isValid() ? kFlushGapMs - lastFlush.elapsed() : 0;
    if (wait <= 0)
        Flush();
    else if (!flushTimer->isActive())
        flushTimer->start(static_cast<int>(wait));
}

void ConsoleEngine::Flush() {
    lastFlush.start();
    std::deque<Change> batch;
    {
        std::lock_guard lock(pendingMutex);
        batch.swap(pending);
        flushQueued = false;
    }
    flushing = true;
    lastBalloon.clear();
    console.PageList().BeginChanges();
    for (Change& change : batch) {
        if (closing)
            break;
        change(*this);
    }
    console.PageList().EndChanges();
    flushing = false;
    if (!lastBalloon.isEmpty())
        PostBalloon(lastBalloon);
}

void ConsoleEngine::ShowMessage(const QString& text) {
    // Opened after the current batch, so that its event loop cannot reorder the batch.
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (!closing)
                ShowMessageBox(&console, text);
        },
        Qt::QueuedConnection);
}

bool ConsoleEngine::StartWorker(std::function<void()> work) {
    ReapWorkers();
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        workers.push_back({std::thread([work = std::move(work), done] {
                               work();
                               done->store(true);
                           }),
                           done});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ConsoleEngine::ReapWorkers() {
    std::erase_if(workers, [](Worker& worker) {
        if (!worker.done->load())
            return false;
        worker.thread.join();
        return true;
    });
}

void ConsoleEngine::Connect() {
    AgentSettings& settings = console.Settings();
    if (settings.serverAddress.empty()) {
        ShowMessageBox(&console, QStringLiteral("You must first set the Olvex server address and "
                                                "port in the Options dialog."));
        OptionsDialog options(settings, console.Desktop(), &console);
        runDialog(options);
        if (settings.serverAddress.empty())
            return;
    }
    if (reconnecting) {
        ShowMessageBox(&console, QStringLiteral("Olvex is trying to reconnect to the Olvex server "
                                                "now.\r\nIf it fails, please try again in a few "
                                                "seconds."));
        return;
    }
    if (loginRunning)
        return;
    // Stopped for good if the dialog is cancelled: no reconnection until the next log-in.
    StopTimer();
    LoginDialog login(settings, &console);
    if (runDialog(login) != QDialog::Accepted)
        return;
    reconnecting = false;
    StartLoginWorker();
}

void ConsoleEngine::AutoLogin() {
    const AgentSettings& settings = console.Settings();
    if (!AgentSettings::IsOn(settings.saveLogin)) {
        Connect();
        return;
    }
    if (settings.serverAddress.empty()) {
        ShowMessageBox(&console, QStringLiteral("You must first set the Olvex server address and "
                                                "port in the Options dialog."));
        return;
    }
    if (loginRunning)
        return;
    // Nothing remembered after all (a locked or missing secret store, say): ask for it.
    if (settings.username.empty() || settings.password.empty()) {
        Connect();
        return;
    }
    reconnecting = false;
    StartLoginWorker();
}

void ConsoleEngine::StartLoginWorker() {
    loginRunning = true;
    // Queued behind whatever the engine already reported (a logout just now, say), so that
    // the connecting state is what stays on screen. A reconnection leaves Login pressable:
    // it then says that a reconnection is under way.
    Deliver([byCommand = !reconnecting](ConsoleEngine& s) {
        if (byCommand)
            s.console.ButtonOf(OperatorConsole::Button::Login).setEnabled(false);
        s.console.SetTitleConnecting();
        s.RefreshTray();
    });
    const AgentSettings& s = console.Settings();
    engine.SetTls(TlsConfig{AgentSettings::IsOn(s.useTls), s.caFile});
    const bool started = StartWorker([this, host = s.serverAddress, port = s.serverPort,
                                      user = s.username, password = s.password] {
        const int32_t result = engine.Login(host, port, user, password);
        // The reason of a TLS failure is known only on this thread.
        Deliver([result, message = ResultMessage(result)](ConsoleEngine& self) {
            self.OnLoginFinished(result, message);
        });
    });
    if (!started)
        Deliver([](ConsoleEngine& self) {
            self.OnLoginFinished(ResultCode::ThreadCreate, ResultText(ResultCode::ThreadCreate));
        });
}

void ConsoleEngine::OnLoginFinished(int32_t result, const std::string& message) {
    loginRunning = false;
    if (result != 0 && reconnecting)
        qCInfo(lcConsole) << "reconnection failed, trying again at the next tick";
    if (result != 0) {
        // The tray keeps the connecting tooltip until its next refresh.
        console.SetTitleNotConnected();
        if (!reconnecting)
            ShowMessage(QStringLiteral("Failed to connect to the Olvex server.\r\n") +
                        QString::fromStdString(message));
        console.ButtonOf(OperatorConsole::Button::Login).setEnabled(true);
    }
    reconnecting = false;
}

void ConsoleEngine::LoggedInOnWorker() {
    if (closing)
        return;
    Deliver([](ConsoleEngine& s) {
        s.console.OperatorList().Clear();
        s.console.PageList().Clear();
        s.console.SetTitleOnline();
        s.RefreshTray();
        s.console.SetLoggedInButtons(true);
        s.requestedStatus = 1;
        emit s.StatusShown(1);
    });

    if (engine.LatestClientVersion() > product::kClientVersion) {
        // The worker waits for the answer; the receive thread runs on and the window stays
        // free, and Shutdown wakes the wait.
        auto question = std::make_shared<Question>();
        {
            std::lock_guard lock(questionMutex);
            if (closing)
                return;
            openQuestion = question;
        }
        Deliver([question](ConsoleEngine& s) { s.AskForNewVersion(question); });
        {
            std::unique_lock lock(question->mutex);
            question->answered.wait(lock, [&] { return question->done; });
        }
        std::lock_guard lock(questionMutex);
        openQuestion.reset();
        if (closing)
            return;
    }

    engine.RequestUserList();
    engine.RequestPageList();
    Deliver([](ConsoleEngine& s) {
        s.console.ShowReports();
        s.StartTimer();
        s.ShowBalloon(QStringLiteral("You are now logged in to the Olvex server"));
    });
}

void ConsoleEngine::AskForNewVersion(const std::shared_ptr<Question>& question) {
    auto* box = new QMessageBox(
        QMessageBox::NoIcon, QStringLiteral("New Olvex version"),
        QStringLiteral("There is a new version of the Olvex Operator application available for "
                       "download.\r\nWould you like to download and install the new version?"),
        QMessageBox::Yes | QMessageBox::No, &console);
    box->setObjectName(QStringLiteral("newVersionQuestion"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    // Not a nested event loop: the window keeps applying the engine's events meanwhile.
    connect(box, &QMessageBox::finished, box, [box, question] {
        if (box->clickedButton() == box->button(QMessageBox::Yes))
            HyperlinkLabel::OpenLink(QStringLiteral("http://") +
                                     QLatin1String(product::kVendorHost) +
                                     QLatin1String(product::kDownloadsPath));
        std::lock_guard lock(question->mutex);
        question->done = true;
        question->answered.notify_all();
    });
    versionQuestion = box;
    box->show();
}

void ConsoleEngine::Logout() {
    StopTimer();
    engine.Logout(DisconnectReason::Logout);
}

void ConsoleEngine::SetStatus(int32_t status) {
    if (engine.GetStatus() <= 0)
        return;
    requestedStatus = status;
    auto report = [](int32_t result) {
        return [result](ConsoleEngine& s) {
            s.ShowMessage(WithResult("Failed to change your status.\r\n", result));
        };
    };
    const bool started = StartWorker([this, status, report] {
        const int32_t result = engine.SetStatus(status);
        if (result < 0)
            Deliver(report(result));
    });
    if (!started)
        Deliver(report(ResultCode::ThreadCreate));
}

void ConsoleEngine::Invite() {
    if (engine.GetStatus() <= 0)
        return;
    if (!pendingInvitations.empty()) {
        ShowMessageBox(&console,
                       QStringLiteral("There is already a similar command in progress.\r\nPlease "
                                      "wait for the previous command to finish first."));
        return;
    }
    PageListView& pages = console.PageList();
    for (const int32_t pageId : pages.SelectedPageIds()) {
        if (pageId <= 0)
            continue;
        pendingInvitations.push_back(pageId);
        pages.MarkInvited(pageId);
    }
    if (pendingInvitations.empty())
        return;
    auto finish = [](int32_t result) {
        return [result](ConsoleEngine& s) {
            if (result < 0)
                s.ShowMessage(WithResult("Failed to invite selected users to chat.\r\n", result));
            // Rows already marked keep their mark.
            s.pendingInvitations.clear();
        };
    };
    const bool started =
        StartWorker([this, finish, ids = pendingInvitations, user = console.Settings().username] {
            int32_t result = 0;
            for (int32_t pageId : ids) {
                result = engine.InviteVisitor(pageId, user.c_str());
                if (result < 0)
                    break;
            }
            Deliver(finish(result));
        });
    if (!started)
        Deliver(finish(ResultCode::ThreadCreate));
}

void ConsoleEngine::SetTimerPeriods(int periodMs, int pauseMs) {
    timer->setInterval(periodMs);
    retryPauseMs = pauseMs;
}

bool ConsoleEngine::TimerRunning() const {
    return timer->isActive();
}

void ConsoleEngine::StartTimer() {
    ++keepAliveChain;
    keepAliveRunning = false;
    timer->start();
}

void ConsoleEngine::StopTimer() {
    ++keepAliveChain;
    keepAliveRunning = false;
    timer->stop();
}

void ConsoleEngine::OnTick() {
    console.PageList().AddElapsedMinute();
    // A connection being made is not a dead one; neither is a tick still retrying.
    if (keepAliveRunning || loginRunning)
        return;
    keepAliveRunning = true;
    TryKeepAlive(1, keepAliveChain);
}

// Each attempt is sent by a worker: a send may wait behind another worker's for the whole
// send time-out, and the window must not. The retries are chained on the timer, so the
// window never waits between them either.
void ConsoleEngine::TryKeepAlive(int attempt, uint64_t chain) {
    if (chain != keepAliveChain || closing)
        return;
    const bool started = StartWorker([this, attempt, chain] {
        const int32_t result = engine.SendKeepAlive();
        Deliver([result, attempt, chain](ConsoleEngine& s) {
            s.OnKeepAliveSent(result, attempt, chain);
        });
    });
    if (!started)
        OnKeepAliveSent(ResultCode::ThreadCreate, attempt, chain);
}

void ConsoleEngine::OnKeepAliveSent(int32_t result, int attempt, uint64_t chain) {
    if (chain != keepAliveChain || closing)
        return;
    if (result >= 0) {
        keepAliveRunning = false;
        return;
    }
    if (attempt < kKeepAliveAttempts) {
        QTimer::singleShot(retryPauseMs, this,
                           [this, attempt, chain] { TryKeepAlive(attempt + 1, chain); });
        return;
    }
    keepAliveRunning = false;
    qCWarning(lcConsole) << "no keep-alive went through in" << kKeepAliveAttempts
                         << "attempts, logging out";
    // The timer keeps running: a failed reconnection is tried again at the next tick.
    engine.Logout(DisconnectReason::Logout);
    const AgentSettings& settings = console.Settings();
    if (AgentSettings::IsOn(settings.reconnect) && !settings.username.empty() &&
        !settings.password.empty() && !loginRunning) {
        qCInfo(lcConsole) << "reconnecting";
        reconnecting = true;
        StartLoginWorker();
    }
}

void ConsoleEngine::ShowBalloon(const QString& text) {
    if (!AgentSettings::IsOn(console.Settings().showHints))
        return;
    emit BalloonShown(kBalloonTitle, text, kBalloonMs);
    // Within a batch each balloon would replace the one before; show only the last.
    if (flushing)
        lastBalloon = text;
    else
        PostBalloon(text);
}

void ConsoleEngine::PostBalloon(const QString& text) {
    if (tray->ShowMessage(kBalloonTitle, text, kBalloonMs))
        return;
    Notifications::Note note;
    note.summary = kBalloonTitle;
    note.body = text;
    note.timeoutMs = kBalloonMs;
    console.Desktop().Notifier().Notify(note);
}

void ConsoleEngine::RefreshTray() {
    trayConnected = engine.GetStatus() > 0;
    const WaitingItems waiting = console.Waiting();
    trayToolTip = console.windowTitle().left(kToolTipLength);
    if (waiting.Count() > 0)
        trayToolTip += QLatin1Char('\n') + waiting.ToolTipLines();
    trayBadge = waiting.Count();
    tray->SetState(BadgedIcon(ProgramIcon(trayConnected), trayBadge), trayToolTip);
}

void ConsoleEngine::WaitingChanged() {
    if (closing)
        return;
    RefreshTray();
    if (trayBadge != launcherCount) {
        launcherCount = trayBadge;
        console.Desktop().Launcher().SetCount(launcherCount);
    }
}

void ConsoleEngine::Shutdown() {
    if (closing.exchange(true))
        return;
    StopTimer();
    {
        std::lock_guard lock(questionMutex);
        if (openQuestion) {
            std::lock_guard answer(openQuestion->mutex);
            openQuestion->done = true;
            openQuestion->answered.notify_all();
        }
    }
    delete versionQuestion.data();
    // Closing the connection ends every engine call a worker may be in.
    engine.Logout(DisconnectReason::Shutdown);
    for (Worker& worker : workers)
        worker.thread.join();
    workers.clear();
    // A log-in that completed while the workers were joined.
    if (engine.GetStatus() > 0)
        engine.Logout(DisconnectReason::Shutdown);
    engine.SetCallbacks(nullptr, AgentCallbacks{});
    tray->Remove();
    // Docks would otherwise go on showing a count for a program that has ended.
    if (launcherCount != 0)
        console.Desktop().Launcher().SetCount(0);
}

} // namespace olvex
