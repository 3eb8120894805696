#pragma once

#include "chats_model.h"

#include <QWidget>
#include <cstdint>

class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace olvex {

// The Chats view: the waiting requests, oldest first, with how long each has waited and
// what the visitor asked, and below them the open chats with their unread lines and state.
// Enter or a double-click takes a request or brings a chat's window up; Delete dismisses a
// request. It shows the model and says what the operator chose; the console acts.
class ChatsView : public QWidget {
    Q_OBJECT
public:
    enum Column { kColumnName, kColumnTime, kColumnText, kColumnCount };

    ChatsView(const ChatsModel& model, QWidget* parent = nullptr);

    // Shows the model as it is now, keeping the current row where it is still listed.
    void Refresh();
    QTreeWidget& Tree() const { return *tree; }
    // The row of a request or of a chat's window; null when not listed.
    QTreeWidgetItem* RequestRow(int32_t callId) const;
    QTreeWidgetItem* ChatRow(const void* window) const;

signals:
    void RequestChosen(int32_t callId);
    void ChatChosen(const void* window);
    void DismissRequested(int32_t callId);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Rebuild();
    void UpdateTexts();
    void Choose(QTreeWidgetItem* item);

    const ChatsModel& model;
    QTreeWidget* tree = nullptr;
    QTreeWidgetItem* requestGroup = nullptr;
    QTreeWidgetItem* chatGroup = nullptr;
    QTimer* ticker = nullptr;
};

} // namespace olvex
