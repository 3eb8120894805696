#pragma once

#include "records.h"

#include <QString>
#include <QTreeWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace olvex {

// The operators who are logged in. New rows go to the top, so a rebuilt list shows the
// directory in reverse order. Use Clear(), not clear(), so that the index follows.
class OperatorListView : public QTreeWidget {
    Q_OBJECT

public:
    enum Column { kColumnName, kColumnStatus, kColumnHost, kColumnCount };
    static constexpr int kUserIdRole = Qt::UserRole;

    using UserSnapshot = std::vector<std::shared_ptr<const UserRecord>>;

    explicit OperatorListView(QWidget* parent = nullptr);

    void Rebuild(const UserSnapshot& users);
    // Inserts the operator at the top, or updates status and host of the existing row
    // (its name stays). True when a new row was inserted.
    bool AddOrUpdate(const UserRecord& user);
    // The removed row's name, or nothing when there was no row.
    std::optional<QString> Remove(int32_t userId);
    // Status text and picture of the row; the host stays. False when there is no row.
    bool UpdateStatus(const UserRecord& user);
    void Clear();

    int RowOf(int32_t userId) const;
    QTreeWidgetItem* Row(int32_t userId) const;

    static int ImageOf(const QTreeWidgetItem& row);
    static QString DisplayName(const UserRecord& user);
    // Lower-case status word: 2 "busy", 3 "away", anything else "online".
    static QString StatusWord(int32_t status);

private:
    std::unordered_map<int32_t, QTreeWidgetItem*> rowsByUser;
};

} // namespace olvex
