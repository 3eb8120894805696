#include "console_engine.h"

#include "agent_settings.h"
#include "console_images.h"
#include "console_tray.h"
#include "desktop_services.h"
#include "event_sound.h"
#include "operator_console.h"
#include "operator_list_view.h"
#include "page_list_view.h"

// What the console shows of the site and tells through the desktop: the operator and page
// lists, the call requests, the balloons and the tray.
namespace olvex {

namespace {

const QString kBalloonTitle = QStringLiteral("Olvex Notification");

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

void ConsoleEngine::Apply(const operator_event::UserListReceived& event) {
    console.OperatorList().Rebuild(event.users);
}

void ConsoleEngine::Apply(const operator_event::UserLoggedIn& event) {
    if (console.OperatorList().AddOrUpdate(event.user))
        ShowBalloon(QStringLiteral("%1 has now logged in to the Olvex server")
                        .arg(OperatorListView::DisplayName(event.user)));
}

void ConsoleEngine::Apply(const operator_event::UserLoggedOut& event) {
    if (auto name = console.OperatorList().Remove(event.user.userId))
        ShowBalloon(QStringLiteral("%1 has now logged out from the Olvex server").arg(*name));
}

void ConsoleEngine::Apply(const operator_event::UserStatusChanged& event) {
    console.OperatorList().UpdateStatus(event.user);
}

void ConsoleEngine::Apply(const operator_event::PageListReceived& event) {
    console.PageList().Rebuild(event.pages);
}

void ConsoleEngine::Apply(const operator_event::PageEntered& event) {
    if (!console.PageList().AddOrUpdate(event.page))
        return;
    if (AgentSettings::IsOn(console.Settings().visitorHints)) {
        ShowBalloon(QStringLiteral("A website visitor has now entered the %1 web page")
                        .arg(QString::fromStdString(event.page->title)));
    }
    if (AgentSettings::IsOn(console.Settings().visitorSound))
        EventSound::Shared().Play(EventSound::Kind::Visitor);
}

void ConsoleEngine::Apply(const operator_event::PageLeft& event) {
    console.PageList().Remove(event.page->pageId);
}

void ConsoleEngine::Apply(const operator_event::VisitorInvited& event) {
    console.PageList().MarkInvited(event.page->pageId);
}

void ConsoleEngine::Apply(const operator_event::CallRequest& event) {
    const char* name = event.text1 ? event.text1->c_str() : nullptr;
    const char* second = event.text2 ? event.text2->c_str() : nullptr;
    std::optional<QString> text = CallAlertText(event.kind, name, second);
    if (!text)
        return;
    QString caller = QString::fromUtf8(name ? name : "");
    if (event.kind == 2 && second && *second)
        caller += QLatin1Char(' ') + QString::fromUtf8(second);
    // A request's second text is what the visitor wrote with it.
    const QString opening =
        event.kind == 1 && second ? QString::fromUtf8(second).trimmed() : QString();
    console.ShowCallAlert(event.callId, event.requesterId, event.kind, *text, caller, opening);
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
    trayConnected = session.LoggedIn();
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

} // namespace olvex
