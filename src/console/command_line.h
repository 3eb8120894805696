#pragma once

#include "readable_colours.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

namespace olvex {

struct CommandLine {
    bool help = false;
    bool version = false;
    bool serverGiven = false;
    bool verbose = false; // debug lines in the log for this run
    std::string serverAddress;
    int32_t serverPort = 0;
    // --colour-scheme: light or dark whatever the desktop says, or as it says (the default).
    ColourScheme colourScheme = ColourScheme::Desktop;
    QString error; // not empty when the arguments were refused
};

// Our own options: --help, --version, --verbose, --server HOST:PORT (also --server=HOST:PORT),
// --colour-scheme light|dark|desktop (also with "=").
// Arguments that do not start with "--" are left to Qt (-platform and the like).
CommandLine ParseCommandLine(const QStringList& arguments);

// HOST:PORT, or [IPv6]:PORT; the port from 1 to 65535.
bool ParseServerAddress(const QString& text, std::string& address, int32_t& port);

QString CommandLineUsage();

} // namespace olvex
