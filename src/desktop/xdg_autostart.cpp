#include "xdg_autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <utility>

namespace olvex {

XdgAutostart::XdgAutostart(QString executablePath) : executable(std::move(executablePath)) {}

QString XdgAutostart::EntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/olvex.desktop");
}

QString DesktopExecQuote(const QString& path) {
    // Inside the quotes the Exec rules escape " ` $ \ with a backslash; the value
    // rules then double every backslash, and field codes need "%%".
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QLatin1String("\\\\");
        if (c == QLatin1Char('\\'))
            quoted += QLatin1String("\\\\\\");
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool XdgAutostart::IsOn() const {
    return QFileInfo::exists(EntryPath());
}

int32_t XdgAutostart::Set(bool on) {
    const QString entryPath = EntryPath();
    if (!on) {
        if (!QFileInfo::exists(entryPath))
            return 0;
        return QFile::remove(entryPath) ? 0 : -1;
    }
    // A line break would end the Exec line and start a key of the path's choosing.
    if (executable.isEmpty() || executable.contains(QLatin1Char('\n')) ||
        executable.contains(QLatin1Char('\r')))
        return -1;
    if (!QDir().mkpath(QFileInfo(entryPath).absolutePath()))
        return -1;
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return -1;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Olvex\n"
                                         "Comment=Olvex operator console\n"
                                         "Icon=olvex\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(DesktopExecQuote(executable));
    file.write(entry.toUtf8());
    return file.commit() ? 0 : -1;
}

} // namespace olvex
