#pragma once

#include "records.h"

#include <QDialog>
#include <QIcon>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTreeWidget;

namespace olvex {

class ChatCall;
class FlatButton;
class UserDirectory;

// Lets the operator pick another logged-in operator to invite into a call.
// The list is filled once, when the dialog opens: an operator who logs out
// meanwhile can still be chosen, and the server's answer decides.
class InviteOperatorDialog : public QDialog {
    Q_OBJECT
public:
    // Every operator of `operators` except `ownUserId`, the last one first.
    InviteOperatorDialog(const std::vector<std::shared_ptr<UserRecord>>& operators,
                         int32_t ownUserId, QWidget* parent = nullptr);
    InviteOperatorDialog(const UserDirectory& operators, int32_t ownUserId,
                         QWidget* parent = nullptr);

    // The userId of the row chosen with OK; -1 until then.
    int32_t ChosenUserId() const { return chosenUserId_; }

    QTreeWidget* OperatorList() const { return list_; }
    FlatButton* OkButton() const { return ok_; }
    FlatButton* CancelButton() const { return cancel_; }

    // The "Status" text and list image index of a record's status.
    static const char* StatusText(int32_t status);
    static int StatusImage(int32_t status);

public slots:
    void accept() override;

private:
    void Fill(const std::vector<std::shared_ptr<UserRecord>>& operators, int32_t ownUserId);

    QTreeWidget* list_ = nullptr;
    FlatButton* ok_ = nullptr;
    FlatButton* cancel_ = nullptr;
    int32_t chosenUserId_ = -1;
};

// The call as the window holds it at the moment of asking; null without one.
using CurrentCallFn = std::function<std::shared_ptr<ChatCall>()>;

// The whole "Invite" tool: runs the dialog modally and, when it ends with OK
// on an operator while `currentCall` still gives a call, queues kInviteOperator with the
// operator's id and "invitation" on that call. The call is looked up only
// after the dialog closed, since it may end while the dialog is open.
// Returns 0 when the invitation was queued, 1 when there was nothing to send
// (cancelled, no call), or the negative result of queueing it.
int32_t RunInviteOperatorDialog(QWidget* parent, const UserDirectory& operators, int32_t ownUserId,
                                const CurrentCallFn& currentCall);

} // namespace olvex
