#include "profile_file.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace olvex {

QString ProfileFilePath() {
    QString name = QStringLiteral("olvex");
    if (QCoreApplication::instance()) {
        const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        if (!exe.isEmpty())
            name = exe;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Olvex/") + name + QStringLiteral(".INI");
}

int ReadProfileInt(const QSettings& profile, const QString& name, int defaultValue) {
    const QVariant value = profile.value(name);
    if (!value.isValid())
        return defaultValue;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

} // namespace olvex
