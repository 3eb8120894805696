#include "operator_list_view.h"

#include "console_images.h"
#include "report_list.h"

namespace olvex {

namespace {

const QColor kStatusColour(0, 0, 255);

// An unknown status reads "online" but keeps the picture the row has.
void ApplyStatus(QTreeWidgetItem& row, int32_t status) {
    row.setText(OperatorListView::kColumnStatus, OperatorListView::StatusWord(status));
    if (status == 1)
        SetRowImage(row, kImageOperatorOnline);
    else if (status == 2 || status == 3)
        SetRowImage(row, kImageOperatorBusy);
}

void SetRow(QTreeWidgetItem& row, const UserRecord& user) {
    row.setData(OperatorListView::kColumnName, OperatorListView::kUserIdRole, user.userId);
    ApplyStatus(row, user.status);
    row.setText(OperatorListView::kColumnHost, QString::fromStdString(user.host));
}

std::unique_ptr<QTreeWidgetItem> NewRow(const UserRecord& user) {
    auto row = std::make_unique<QTreeWidgetItem>();
    row->setText(OperatorListView::kColumnName, OperatorListView::DisplayName(user));
    row->setForeground(OperatorListView::kColumnStatus, kStatusColour);
    SetRowImage(*row, kImageOperator);
    SetRow(*row, user);
    return row;
}

} // namespace

OperatorListView::OperatorListView(QWidget* parent) : QTreeWidget(parent) {
    SetUpReportList(*this,
                    {QStringLiteral("Agent Name"), QStringLiteral("Agent Status"),
                     QStringLiteral("Agent Host")},
                    {220, 120, 100});
}

void OperatorListView::Clear() {
    rowsByUser.clear();
    clear();
}

void OperatorListView::Rebuild(const UserSnapshot& users) {
    Clear();
    std::vector<std::unique_ptr<QTreeWidgetItem>> inOrder;
    for (const auto& user : users) {
        if (!user)
            continue;
        // A repeated id updates the row it already has, as a later add would.
        if (QTreeWidgetItem* row = Row(user->userId)) {
            SetRow(*row, *user);
            continue;
        }
        inOrder.push_back(NewRow(*user));
        rowsByUser.emplace(user->userId, inOrder.back().get());
    }
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(inOrder.size()));
    for (auto row = inOrder.rbegin(); row != inOrder.rend(); ++row)
        rows.append(row->release());
    addTopLevelItems(rows);
}

bool OperatorListView::AddOrUpdate(const UserRecord& user) {
    if (QTreeWidgetItem* row = Row(user.userId)) {
        SetRow(*row, user);
        return false;
    }
    auto row = NewRow(user);
    rowsByUser.emplace(user.userId, row.get());
    insertTopLevelItem(0, row.release());
    return true;
}

std::optional<QString> OperatorListView::Remove(int32_t userId) {
    const auto found = rowsByUser.find(userId);
    if (found == rowsByUser.end())
        return std::nullopt;
    QString name = found->second->text(kColumnName);
    const int index = indexOfTopLevelItem(found->second);
    rowsByUser.erase(found);
    std::unique_ptr<QTreeWidgetItem> taken(takeTopLevelItem(index));
    return name;
}

bool OperatorListView::UpdateStatus(const UserRecord& user) {
    QTreeWidgetItem* row = Row(user.userId);
    if (!row)
        return false;
    ApplyStatus(*row, user.status);
    return true;
}

QTreeWidgetItem* OperatorListView::Row(int32_t userId) const {
    const auto found = rowsByUser.find(userId);
    return found == rowsByUser.end() ? nullptr : found->second;
}

int OperatorListView::RowOf(int32_t userId) const {
    QTreeWidgetItem* row = Row(userId);
    return row ? indexOfTopLevelItem(row) : -1;
}

int OperatorListView::ImageOf(const QTreeWidgetItem& row) {
    return RowImage(row);
}

QString OperatorListView::DisplayName(const UserRecord& user) {
    return QString::fromStdString(user.firstName + ' ' + user.lastName);
}

QString OperatorListView::StatusWord(int32_t status) {
    if (status == 2)
        return QStringLiteral("busy");
    if (status == 3)
        return QStringLiteral("away");
    return QStringLiteral("online");
}

} // namespace olvex
