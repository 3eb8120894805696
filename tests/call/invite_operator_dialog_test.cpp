#include "agent_client.h"
#include "call_list.h"
#include "chat_call.h"
#include "engine_log_in.h"
#include "fake_server.h"
#include "flat_button.h"
#include "invite_operator_dialog.h"
#include "message_box.h"
#include "user_directory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <future>
#include <gtest/gtest.h>

using namespace olvex;
using namespace olvex::test;
using namespace std::chrono_literals;

namespace {

constexpr int32_t kOwnUserId = 7;

UserRecord Operator(int32_t id, int32_t status, std::string first, std::string last) {
    UserRecord user;
    user.userId = id;
    user.kind = 2;
    user.status = status;
    user.firstName = std::move(first);
    user.lastName = std::move(last);
    return user;
}

// The directory as the server sent it: the inviting operator somewhere in the middle.
void FillDirectory(UserDirectory& users) {
    users.Add(Operator(3, 1, "Ann", "Able"));
    users.Add(Operator(kOwnUserId, 1, "Me", "Myself"));
    users.Add(Operator(5, 3, "Bob", "Brown"));
    users.Add(Operator(9, 2, "Cy", "Cole"));
    users.Add(Operator(11, 0,
                       "Z\xc3\xb6"
                       "e",
                       "<b>Dee</b>"));
}

QImage IconImage(const QTreeWidgetItem* item) {
    return item->icon(0).pixmap(16, 16).toImage();
}

// Runs `action` on the next modal InviteOperatorDialog once it is up.
void WhenDialogOpens(std::function<void(InviteOperatorDialog*)> action) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action] {
        auto* dialog = qobject_cast<InviteOperatorDialog*>(QApplication::activeModalWidget());
        if (dialog || clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            if (dialog)
                action(dialog);
            else
                ADD_FAILURE() << "the invite dialog did not open";
        }
    });
    timer->start(5);
}

class MessageBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxHook([this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                 QMessageBox::StandardButtons) {
            shown.push_back(text);
            return QMessageBox::Ok;
        });
    }
    void TearDown() override { SetMessageBoxHook({}); }
    std::vector<QString> shown;
};

using InviteDialogTest = MessageBoxes;

} // namespace

TEST_F(InviteDialogTest, ListsEveryOtherOperatorLastFirstWithStatus) {
    UserDirectory users;
    FillDirectory(users);
    InviteOperatorDialog dialog(users, kOwnUserId);
    QTreeWidget* list = dialog.OperatorList();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    struct Row {
        const char* name;
        const char* status;
        int32_t id;
    };
    const Row expected[] = {{"Z\xc3\xb6"
                             "e <b>Dee</b>",
                             "online", 11},
                            {"Cy Cole", "busy", 9},
                            {"Bob Brown", "away", 5},
                            {"Ann Able", "online", 3}};
    for (int i = 0; i < 4; ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        EXPECT_EQ(item->text(0), QString::fromUtf8(expected[i].name)) << i;
        EXPECT_EQ(item->text(1), expected[i].status) << i;
        EXPECT_EQ(item->data(0, Qt::UserRole).toInt(), expected[i].id) << i;
    }
    // Away shares the busy picture; an unknown status reads "online" with the plain picture.
    const QImage unknown = IconImage(list->topLevelItem(0));
    const QImage busy = IconImage(list->topLevelItem(1));
    const QImage away = IconImage(list->topLevelItem(2));
    const QImage online = IconImage(list->topLevelItem(3));
    ASSERT_FALSE(online.isNull());
    EXPECT_EQ(away, busy);
    EXPECT_NE(online, busy);
    EXPECT_NE(unknown, online);
    EXPECT_NE(unknown, busy);
}

TEST_F(InviteDialogTest, OkFollowsTheSelectionAndInsistsOnOne) {
    UserDirectory users;
    FillDirectory(users);
    InviteOperatorDialog dialog(users, kOwnUserId);
    dialog.show();
    QTreeWidget* list = dialog.OperatorList();
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    EXPECT_TRUE(dialog.CancelButton()->isEnabled());
    EXPECT_EQ(dialog.ChosenUserId(), -1);

    list->topLevelItem(2)->setSelected(true);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    list->clearSelection();
    EXPECT_FALSE(dialog.OkButton()->isEnabled());

    // Enter on the default button with nothing chosen: told so, and still open.
    dialog.accept();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "You must select the user you want to invite to this call.");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.ChosenUserId(), -1);

    list->topLevelItem(2)->setSelected(true);
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenUserId(), 5);
    EXPECT_EQ(shown.size(), 1u);

    // Alone in the directory: nobody to choose.
    UserDirectory alone;
    alone.Add(Operator(kOwnUserId, 1, "Me", "Myself"));
    InviteOperatorDialog empty(alone, kOwnUserId);
    EXPECT_EQ(empty.OperatorList()->topLevelItemCount(), 0);
    EXPECT_FALSE(empty.OkButton()->isEnabled());
}

namespace {

// An engine logged in to the fake server with one call open on it.
class InviteOnCallTest : public MessageBoxes {
protected:
    void SetUp() override {
        MessageBoxes::SetUp();
        serverSide = LogInEngine(engine, server, kOwnUserId);
        ASSERT_TRUE(serverSide);
        FillDirectory(engine.Users());

        auto open = std::async(std::launch::async, [&] { return engine.Calls().Open(21); });
        peer = server.Accept();
        ASSERT_TRUE(peer);
        ASSERT_TRUE(peer->Receive()); // the join
        peer->Send(Payload(9001, {"2003"}));
        ASSERT_EQ(open.get(), 0);
        call = engine.Calls().FindById(21);
        ASSERT_TRUE(call);
    }

    int32_t Invite(std::function<void(InviteOperatorDialog*)> answer) {
        WhenDialogOpens(std::move(answer));
        return RunInviteOperatorDialog(nullptr, engine.Users(), engine.OwnUserId(),
                                       [this] { return call; });
    }

    static void Choose(InviteOperatorDialog* dialog, int row) {
        dialog->OperatorList()->topLevelItem(row)->setSelected(true);
        dialog->OkButton()->click();
    }

    FakeServer server;
    AgentClient engine{[] {
        AgentOptions options;
        options.channelTimeout = 300ms;
        options.threadWait = 1s;
        return options;
    }()};
    std::unique_ptr<FakeConnection> serverSide;
    std::unique_ptr<FakeConnection> peer;
    std::shared_ptr<ChatCall> call;
};

} // namespace

TEST_F(InviteOnCallTest, ChosenOperatorIsInvitedOnTheCallConnection) {
    EXPECT_EQ(Invite([](InviteOperatorDialog* d) { Choose(d, 1); }), 0);
    EXPECT_EQ(peer->Receive(), Payload(2002, {"9", "invitation"}));
    // The tool keeps nothing: the same operator can be invited again.
    EXPECT_EQ(Invite([](InviteOperatorDialog* d) { Choose(d, 1); }), 0);
    EXPECT_EQ(peer->Receive(), Payload(2002, {"9", "invitation"}));
    // Nothing on the server connection.
    EXPECT_FALSE(serverSide->Receive(100ms));
}

TEST_F(InviteOnCallTest, NothingIsSentWithoutAChoiceOrACall) {
    EXPECT_EQ(Invite([](InviteOperatorDialog* d) { d->CancelButton()->click(); }), 1);
    // The call ended while the dialog was open.
    EXPECT_EQ(Invite([this](InviteOperatorDialog* d) {
                  ASSERT_EQ(engine.Calls().Remove(21), 0);
                  call.reset();
                  Choose(d, 0);
              }),
              1);
    EXPECT_FALSE(peer->Receive(200ms));
    EXPECT_TRUE(shown.empty());
}
