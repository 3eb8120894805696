#include "chats_view.h"

#include "font_scaled.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace olvex {

namespace {

// Rows carry what they stand for: a request's call id, or a chat's window.
constexpr int kRoleKind = Qt::UserRole;
constexpr int kRoleCallId = Qt::UserRole + 1;
constexpr int kRoleWindow = Qt::UserRole + 2;
enum RowKind { kRequestRow = 1, kChatRow = 2 };

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QTreeWidgetItem* NewGroup(QTreeWidget* tree) {
    auto* group = new QTreeWidgetItem(tree);
    group->setFlags(Qt::ItemIsEnabled);
    QFont bold = group->font(0);
    bold.setBold(true);
    group->setFont(ChatsView::kColumnName, bold);
    group->setFirstColumnSpanned(true);
    return group;
}

QString RequestTime(const ChatsModel& model, const ChatsModel::Request& request) {
    QString text = QString::fromStdString(ChatsModel::WaitedText(model.WaitedMs(request)));
    if (request.missed)
        text += QStringLiteral(" (missed)");
    return text;
}

QString UnreadText(int unread) {
    if (unread <= 0)
        return {};
    return unread == 1 ? QStringLiteral("1 unread line")
                       : QStringLiteral("%1 unread lines").arg(unread);
}

} // namespace

ChatsView::ChatsView(const ChatsModel& source, QWidget* parent) : QWidget(parent), model(source) {
    tree = new QTreeWidget(this);
    tree->setObjectName(QStringLiteral("chatsTree"));
    tree->setAccessibleName(QStringLiteral("Chats"));
    tree->setColumnCount(kColumnCount);
    tree->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Waited / State"), QStringLiteral("Message")});
    tree->setRootIsDecorated(false);
    tree->setItemsExpandable(false);
    tree->setUniformRowHeights(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->header()->setStretchLastSection(true);
    tree->setColumnWidth(kColumnName, 180);
    tree->setColumnWidth(kColumnTime, 110);
    KeepColumnsWideForFont(*tree, {180, 110});
    tree->installEventFilter(this);
    requestGroup = NewGroup(tree);
    chatGroup = NewGroup(tree);
    connect(tree, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { Choose(item); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tree);
    setFocusProxy(tree);

    // The waited times go on while the view is in sight.
    ticker = new QTimer(this);
    ticker->setInterval(1000);
    connect(ticker, &QTimer::timeout, this, &ChatsView::UpdateTexts);
    Refresh();
}

void ChatsView::Refresh() {
    // Same rows as before: only their texts change, and the current row stays put.
    bool same = requestGroup->childCount() == int(model.Requests().size()) &&
                chatGroup->childCount() == int(model.Chats().size());
    for (int i = 0; same && i < requestGroup->childCount(); ++i)
        same = requestGroup->child(i)->data(0, kRoleCallId).toInt() ==
               model.Requests()[size_t(i)].callId;
    for (int i = 0; same && i < chatGroup->childCount(); ++i)
        same = chatGroup->child(i)->data(0, kRoleWindow).value<quintptr>() ==
               quintptr(model.Chats()[size_t(i)].window);
    if (!same)
        Rebuild();
    UpdateTexts();
}

void ChatsView::Rebuild() {
    QTreeWidgetItem* current = tree->currentItem();
    const int kind = current ? current->data(0, kRoleKind).toInt() : 0;
    const int callId = current ? current->data(0, kRoleCallId).toInt() : 0;
    const quintptr window = current ? current->data(0, kRoleWindow).value<quintptr>() : 0;

    qDeleteAll(requestGroup->takeChildren());
    qDeleteAll(chatGroup->takeChildren());
    for (const ChatsModel::Request& request : model.Requests()) {
        auto* row = new QTreeWidgetItem(requestGroup);
        row->setData(0, kRoleKind, kRequestRow);
        row->setData(0, kRoleCallId, request.callId);
    }
    for (const ChatsModel::Chat& chat : model.Chats()) {
        auto* row = new QTreeWidgetItem(chatGroup);
        row->setData(0, kRoleKind, kChatRow);
        row->setData(0, kRoleCallId, chat.callId);
        row->setData(0, kRoleWindow, QVariant::fromValue(quintptr(chat.window)));
    }
    tree->expandAll();
    QTreeWidgetItem* again = kind == kRequestRow ? RequestRow(callId)
                             : kind == kChatRow  ? ChatRow(reinterpret_cast<const void*>(window))
                                                 : nullptr;
    if (!again)
        again = requestGroup->child(0) ? requestGroup->child(0) : chatGroup->child(0);
    if (again)
        tree->setCurrentItem(again);
}

void ChatsView::UpdateTexts() {
    const auto& requests = model.Requests();
    requestGroup->setText(kColumnName,
                          requests.empty()
                              ? QStringLiteral("No requests waiting")
                              : QStringLiteral("Waiting requests (%1)").arg(requests.size()));
    for (int i = 0; i < requestGroup->childCount() && size_t(i) < requests.size(); ++i) {
        const ChatsModel::Request& request = requests[size_t(i)];
        QTreeWidgetItem* row = requestGroup->child(i);
        row->setText(kColumnName, FromUtf8(request.name));
        row->setText(kColumnTime, RequestTime(model, request));
        row->setText(kColumnText, FromUtf8(request.question));
        row->setToolTip(kColumnText, FromUtf8(request.question));
    }
    const auto& chats = model.Chats();
    chatGroup->setText(kColumnName, chats.empty()
                                        ? QStringLiteral("No open chats")
                                        : QStringLiteral("Open chats (%1)").arg(chats.size()));
    for (int i = 0; i < chatGroup->childCount() && size_t(i) < chats.size(); ++i) {
        const ChatsModel::Chat& chat = chats[size_t(i)];
        QTreeWidgetItem* row = chatGroup->child(i);
        row->setText(kColumnName, FromUtf8(chat.name));
        row->setText(kColumnTime, QLatin1String(ChatsModel::StateText(chat.state)));
        row->setText(kColumnText, UnreadText(chat.unread));
        QFont font = row->font(kColumnName);
        font.setBold(chat.unread > 0);
        for (int column = 0; column < kColumnCount; ++column)
            row->setFont(column, font);
    }
}

QTreeWidgetItem* ChatsView::RequestRow(int32_t callId) const {
    for (int i = 0; i < requestGroup->childCount(); ++i) {
        if (requestGroup->child(i)->data(0, kRoleCallId).toInt() == callId)
            return requestGroup->child(i);
    }
    return nullptr;
}

QTreeWidgetItem* ChatsView::ChatRow(const void* window) const {
    for (int i = 0; i < chatGroup->childCount(); ++i) {
        if (chatGroup->child(i)->data(0, kRoleWindow).value<quintptr>() == quintptr(window))
            return chatGroup->child(i);
    }
    return nullptr;
}

void ChatsView::Choose(QTreeWidgetItem* item) {
    if (!item)
        return;
    switch (item->data(0, kRoleKind).toInt()) {
    case kRequestRow:
        emit RequestChosen(item->data(0, kRoleCallId).toInt());
        break;
    case kChatRow:
        emit ChatChosen(
            reinterpret_cast<const void*>(item->data(0, kRoleWindow).value<quintptr>()));
        break;
    default:
        break;
    }
}

bool ChatsView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tree && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        QTreeWidgetItem* item = tree->currentItem();
        if (item && item->data(0, kRoleKind).toInt() == kRequestRow) {
            emit DismissRequested(item->data(0, kRoleCallId).toInt());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ChatsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    UpdateTexts();
    ticker->start();
}

void ChatsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    ticker->stop();
}

} // namespace olvex
