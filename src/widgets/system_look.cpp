#include "system_look.h"

#ifdef Q_OS_WIN
#include <QOperatingSystemVersion>
#include <QSettings>
#endif

namespace olvex {

int ClassifyWindowsVersion(bool ntLine, int major, int minor) {
    if (ntLine) {
        if (major == 4)
            return 5;
        if (major == 5 && minor == 0)
            return 6;
        if (major == 5 && minor == 1)
            return 7;
        return 1;
    }
    if (major < 4)
        return 0;
    if (major == 4 && minor == 10)
        return 3;
    if (major == 4 && minor == 90)
        return 4;
    return 2;
}

bool IsClassicThemeFile(const QString& themePath) {
    return themePath.endsWith(QStringLiteral("Windows Classic.theme"), Qt::CaseInsensitive);
}

int WindowsVersionClass() {
#ifdef Q_OS_WIN
    // Every Windows that Qt 6 runs on is on the NT line.
    static const int versionClass = [] {
        const auto v = QOperatingSystemVersion::current();
        return ClassifyWindowsVersion(true, v.majorVersion(), v.minorVersion());
    }();
    return versionClass;
#else
    return 1;
#endif
}

bool IsClassicTheme() {
#ifdef Q_OS_WIN
    static const bool classic = [] {
        QSettings key(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Plus!\\Themes\\Current"),
            QSettings::NativeFormat);
        const QVariant value = key.value(QStringLiteral("Default"));
        return value.isValid() && IsClassicThemeFile(value.toString());
    }();
    return classic;
#else
    return false;
#endif
}

} // namespace olvex
