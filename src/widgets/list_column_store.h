#pragma once

#include "profile_file.h"

#include <QString>

class QTreeView;

namespace olvex {

// Keeps the column widths of a report list in a section of the profile:
// "NumCols" and "Col0", "Col1", ...
class ListColumnStore {
public:
    explicit ListColumnStore(QString filePath = ProfileFilePath());

    void SaveColumnWidths(const QTreeView& list, const QString& section) const;
    // Columns beyond the stored count, and all columns when "NumCols" is 0 or less or
    // missing, keep their widths.
    void RestoreColumnWidths(QTreeView& list, const QString& section) const;

private:
    QString path;
};

} // namespace olvex
