#include "command_line.h"

#include <optional>

namespace olvex {

bool ParseServerAddress(const QString& text, std::string& address, int32_t& port) {
    QString host;
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1String("]:"));
        if (close < 0)
            return false;
        host = text.mid(1, close - 1);
        portText = text.mid(close + 2);
    } else {
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return false;
        host = text.left(colon);
        portText = text.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            return false; // a bare IPv6 address needs brackets
    }
    if (host.isEmpty() || portText.isEmpty() || portText.size() > 5)
        return false;
    for (const QChar c : portText) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    for (const QChar c : host) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return false;
    }
    const int number = portText.toInt();
    if (number < 1 || number > 65535)
        return false;
    address = host.toStdString();
    port = number;
    return true;
}

namespace {

// The value of "--name VALUE" or "--name=VALUE" at `i`, moving `i` past it; null when the
// argument is another one, empty when the value is missing.
std::optional<QString> OptionValue(const QStringList& arguments, qsizetype& i,
                                   QLatin1String name) {
    const QString& argument = arguments.at(i);
    if (argument == name)
        return i + 1 < arguments.size() ? arguments.at(++i) : QString();
    if (argument.startsWith(name + QLatin1Char('=')))
        return argument.mid(name.size() + 1);
    return std::nullopt;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine result;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.help = true;
        } else if (argument == QLatin1String("--version")) {
            result.version = true;
        } else if (argument == QLatin1String("--verbose")) {
            result.verbose = true;
        } else if (argument == QLatin1String("--server") ||
                   argument.startsWith(QLatin1String("--server="))) {
            QString value;
            if (argument == QLatin1String("--server")) {
                if (i + 1 >= arguments.size()) {
                    result.error = QStringLiteral("--server needs HOST:PORT");
                    return result;
                }
                value = arguments.at(++i);
            } else {
                value = argument.mid(9);
            }
            if (!ParseServerAddress(value, result.serverAddress, result.serverPort)) {
                result.error = QStringLiteral("not a server address HOST:PORT: %1").arg(value);
                return result;
            }
            result.serverGiven = true;
        } else if (const std::optional<QString> scheme =
                       OptionValue(arguments, i, QLatin1String("--colour-scheme"))) {
            if (*scheme == QLatin1String("light")) {
                result.colourScheme = ColourScheme::Light;
            } else if (*scheme == QLatin1String("dark")) {
                result.colourScheme = ColourScheme::Dark;
            } else if (*scheme == QLatin1String("desktop")) {
                result.colourScheme = ColourScheme::Desktop;
            } else {
                result.error = QStringLiteral("--colour-scheme is light, dark or desktop");
                return result;
            }
        } else if (argument.startsWith(QLatin1String("--"))) {
            result.error = QStringLiteral("unknown option: %1").arg(argument);
            return result;
        }
    }
    return result;
}

QString CommandLineUsage() {
    return QStringLiteral("usage: olvex [--server HOST:PORT] [--colour-scheme light|dark|desktop]\n"
                          "             [--verbose] [--help] [--version]\n"
                          "\n"
                          "The Olvex operator console.\n"
                          "\n"
                          "  --server HOST:PORT  use this chat server for this run only\n"
                          "                      (the stored address and port stay)\n"
                          "  --colour-scheme light|dark|desktop\n"
                          "                      light or dark windows whatever the desktop\n"
                          "                      prefers, or as it prefers (the default)\n"
                          "  --verbose           write debug lines to the log as well, and copy\n"
                          "                      the log to standard error, for this run\n"
                          "  --version           print the version and end\n"
                          "  --help              print this text and end\n"
                          "\n"
                          "Options with a single dash (-platform and the like) go to Qt.\n");
}

} // namespace olvex
