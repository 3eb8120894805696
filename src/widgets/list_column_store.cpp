#include "list_column_store.h"

#include <QHeaderView>
#include <QSettings>
#include <QTreeView>
#include <algorithm>

namespace olvex {

ListColumnStore::ListColumnStore(QString filePath) : path(std::move(filePath)) {}

void ListColumnStore::SaveColumnWidths(const QTreeView& list, const QString& section) const {
    const QHeaderView* header = list.header();
    if (!header)
        return;
    QSettings profile(path, QSettings::IniFormat);
    profile.beginGroup(section);
    const int count = header->count();
    profile.setValue(QStringLiteral("NumCols"), count);
    for (int i = 0; i < count; ++i)
        profile.setValue(QStringLiteral("Col%1").arg(i), header->sectionSize(i));
    profile.endGroup();
    profile.sync();
}

void ListColumnStore::RestoreColumnWidths(QTreeView& list, const QString& section) const {
    QHeaderView* header = list.header();
    if (!header)
        return;
    QSettings profile(path, QSettings::IniFormat);
    profile.beginGroup(section);
    const int stored = ReadProfileInt(profile, QStringLiteral("NumCols"), 0);
    if (stored <= 0)
        return;
    // Widths of columns the list does not have would have no effect; not reading them
    // also keeps a huge stored count from stalling start-up.
    const int count = std::min(stored, header->count());
    for (int i = 0; i < count; ++i) {
        const int width = ReadProfileInt(profile, QStringLiteral("Col%1").arg(i), 0) & 0xFFFF;
        header->resizeSection(i, width);
    }
}

} // namespace olvex
