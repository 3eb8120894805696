#include "data_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace olvex {

QString DataFilePath(const QString& relativePath) {
    const QString besideExecutable =
        QDir(QCoreApplication::applicationDirPath()).filePath(relativePath);
    if (QFileInfo::exists(besideExecutable))
        return besideExecutable;
    const QString installed = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                     QStringLiteral("olvex/") + relativePath);
    if (!installed.isEmpty())
        return installed;
    const QString underPrefix = QDir(QCoreApplication::applicationDirPath())
                                    .filePath(QStringLiteral("../share/olvex/") + relativePath);
    if (QFileInfo::exists(underPrefix))
        return QDir::cleanPath(underPrefix);
    return besideExecutable;
}

} // namespace olvex
