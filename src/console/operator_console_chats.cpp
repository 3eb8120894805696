#include "agent_client.h"
#include "call_alert_dialog.h"
#include "call_window.h"
#include "chats_view.h"
#include "desktop_services.h"
#include "flat_button.h"
#include "operator_console.h"
#include "transcript_archive.h"

namespace olvex {

void OperatorConsole::ConnectChats() {
    connect(this, &OperatorConsole::WaitingChanged, this, &OperatorConsole::RefreshChats);
    connect(chatsView, &ChatsView::RequestChosen, this, &OperatorConsole::TakeRequest);
    connect(chatsView, &ChatsView::ChatChosen, this, &OperatorConsole::RaiseChat);
    connect(chatsView, &ChatsView::DismissRequested, this, &OperatorConsole::DismissRequest);
    RefreshChats();
}

void OperatorConsole::RefreshChats() {
    std::vector<ChatsModel::Chat> open;
    for (QWidget* window : callWindows.Windows()) {
        ChatsModel::Chat chat;
        chat.window = window;
        if (auto* call = qobject_cast<CallWindow*>(window)) {
            chat.callId = call->CallId();
            chat.name = call->Session().VisitorName();
        }
        // Transfers and invitations have no visitor's name: the title names who is there.
        if (chat.name.empty())
            chat.name = window->windowTitle().toStdString();
        chat.unread = callWindows.UnreadLines(window);
        switch (callWindows.StateOf(window)) {
        case CallWindowList::ChatState::Connecting:
            chat.state = ChatsModel::ChatState::Connecting;
            break;
        case CallWindowList::ChatState::InChat:
            chat.state = ChatsModel::ChatState::InChat;
            break;
        case CallWindowList::ChatState::Ended:
            chat.state = ChatsModel::ChatState::Ended;
            break;
        }
        open.push_back(std::move(chat));
    }
    chatsModel.SetChats(std::move(open));
    chatsView->Refresh();
    FlatButton& button = ButtonOf(Button::Chats);
    const QString text = QString::fromStdString(chatsModel.ButtonText());
    button.setText(QLatin1Char('&') + text);
    button.setAccessibleName(text);
}

QWidget* OperatorConsole::OpenAlertOf(int32_t callId) const {
    for (const QPointer<QWidget>& alert : callAlerts) {
        if (alert && alert->isVisible() && alert->property("callId").toInt() == callId)
            return alert.data();
    }
    return nullptr;
}

// Exactly what the alert's Accept does, once: the request leaves the list before anything
// opens, so a second Enter finds nothing more to take.
void OperatorConsole::TakeRequest(int32_t callId) {
    const ChatsModel::Request* request = chatsModel.FindRequest(callId);
    if (!request)
        return;
    const QString visitor = request->kind == 1 ? QString::fromStdString(request->name) : QString();
    chatsModel.TakeRequest(callId);
    if (auto* alert = qobject_cast<CallAlertDialog*>(OpenAlertOf(callId))) {
        alert->Accept();
        RefreshChats();
        return;
    }
    // Its alert has run out: the call window opens here, or comes up when already open.
    CallWindow* window = nullptr;
    for (QWidget* open : callWindows.Windows()) {
        auto* call = qobject_cast<CallWindow*>(open);
        if (call && call->CallId() == callId && call->ChatOpen())
            window = call;
    }
    if (!window) {
        window = new CallWindow(settings, callId, callWindows, *AgentClient::Instance(),
                                SessionArchive(), visitor);
    }
    desktop.Windows().BringToFront(*window);
    RefreshChats();
}

void OperatorConsole::RaiseChat(const void* chosen) {
    for (QWidget* window : callWindows.Windows()) {
        if (window != chosen)
            continue;
        if (window->isMinimized() || !window->isVisible())
            window->showNormal();
        desktop.Windows().BringToFront(*window);
        return;
    }
}

// Dismissing a request whose alert is up declines it, as the alert's Cancel would.
void OperatorConsole::DismissRequest(int32_t callId) {
    if (!chatsModel.RemoveRequest(callId))
        return;
    if (auto* alert = qobject_cast<CallAlertDialog*>(OpenAlertOf(callId)))
        alert->Cancel();
    RefreshChats();
}

} // namespace olvex
