#include "agent_client.h"
#include "auto_away_controller.h"
#include "canned_msg_dlg.h"
#include "command_line.h"
#include "console_engine.h"
#include "console_images.h"
#include "desktop_services.h"
#include "history_window.h"
#include "log_categories.h"
#include "log_file.h"
#include "message_box.h"
#include "operator_console.h"
#include "product_info.h"
#include "readable_colours.h"
#include "transcript_archive.h"
#include "ui_event_pump.h"
#include "window_placement_store.h"

#include <QApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QPointer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

// Our own options first, so that --help and --version work without a display. An exit code
// when the program ends here.
std::optional<int> AnswerCommandLine(const olvex::CommandLine& command) {
    if (!command.error.isEmpty()) {
        std::fprintf(stderr, "olvex: %s\n\n%s", qPrintable(command.error),
                     qPrintable(olvex::CommandLineUsage()));
        return 2;
    }
    if (command.help) {
        std::fputs(qPrintable(olvex::CommandLineUsage()), stdout);
        return 0;
    }
    if (command.version) {
        std::printf("%s version %s\n", olvex::product::kName, olvex::product::kVersion);
        return 0;
    }
    return std::nullopt;
}

// What must be in place before the application object exists.
void PrepareProcess() {
    // The web engine refuses to start its sandbox for root and takes the whole program
    // down with it; root has no sandbox to lose, so the report browser runs without one.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The report browser's web engine shares GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void ConfigureApplication() {
    // The program ends through the console's close or the tray's Quit, never because the last
    // window on screen went (a question of a console hidden in the tray, say).
    QApplication::setQuitOnLastWindowClosed(false);
    // No display name: the window system would append it to every title, and the titles
    // ("Olvex - Online [host]") already say whose windows they are.
    QGuiApplication::setDesktopFileName(QStringLiteral("olvex"));
    QApplication::setWindowIcon(olvex::ProgramIcon());
    // Files beside the program ("Help/help.htm", "license.txt") resolve from here.
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}

// Light or dark windows as the switch says, else as the desktop prefers, now and whenever the
// preference changes. The desktop's own palette stays where it is of the wanted kind already
// (a dark KDE palette, say); ours stand in where the desktop only states a wish.
void FollowColourScheme(olvex::ColourSchemeSource& source, olvex::ColourScheme forced) {
    using Preference = olvex::ColourSchemeSource::Preference;
    const QPalette desktopPalette = QApplication::palette();
    auto apply = [desktopPalette, forced](Preference preference) {
        olvex::ColourScheme wanted = forced;
        if (wanted == olvex::ColourScheme::Desktop && preference == Preference::Dark)
            wanted = olvex::ColourScheme::Dark;
        else if (wanted == olvex::ColourScheme::Desktop && preference == Preference::Light)
            wanted = olvex::ColourScheme::Light;
        QApplication::setPalette(olvex::PaletteFor(wanted, desktopPalette));
    };
    apply(source.Current());
    QObject::connect(&source, &olvex::ColourSchemeSource::Changed, qApp, apply);
}

// Every call window writes its lines here; the operator hears once if it cannot be.
std::shared_ptr<olvex::TranscriptArchive> OpenHistory(olvex::OperatorConsole& console) {
    QPointer<olvex::OperatorConsole> owner(&console);
    olvex::TranscriptArchive::Options history;
    history.historyDays = console.Settings().historyDays;
    history.onFailure = [owner](const std::string& text) {
        qCWarning(olvex::lcConsole).noquote() << QString::fromStdString(text);
        olvex::PostToUiThread(owner, [text = QString::fromStdString(text)](QWidget& window) {
            olvex::ShowMessageBox(&window, text, QMessageBox::Warning);
        });
    };
    return olvex::TranscriptArchive::Open(olvex::HistoryFilePath(), history);
}

// The console and what hangs off it, until the operator quits.
int RunConsole(olvex::DesktopServices& desktop, const olvex::CommandLine& command) {
    olvex::OperatorConsole console(desktop);
    if (command.serverGiven)
        console.Settings().OverrideServer(command.serverAddress, command.serverPort);
    // exit(), not quit(): quit() would first ask every window to close, and a call
    // window would ask about its chat once more after the operator has said yes.
    QObject::connect(
        &console, &olvex::OperatorConsole::Closed, qApp, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    // Owned by the console, which shuts it down first thing when it goes: the engine's
    // connection is closed and the workers are joined.
    auto* bridge = new olvex::ConsoleEngine(console, *olvex::AgentClient::Instance());
    // Soak and fault runs squeeze the one-minute timer; the keep-alive pause and the pauses
    // between reconnection tries scale with it.
    const int tickMs = qEnvironmentVariableIntValue("OLVEX_CONSOLE_TIMER_MS");
    if (tickMs > 0) {
        bridge->SetTimerPeriods(tickMs, std::max(1, tickMs / 30));
        std::vector<std::chrono::milliseconds> delays;
        for (const std::chrono::milliseconds delay : olvex::OperatorSession::DefaultRetryDelays())
            delays.push_back(std::max(std::chrono::milliseconds(1),
                                      delay * tickMs / olvex::ConsoleEngine::kTimerPeriodMs));
        bridge->SetRetryDelays(std::move(delays));
    }
    new olvex::AutoAwayController(console, *bridge, desktop.Idle());
    QObject::connect(&console, &olvex::OperatorConsole::AnswersRequested, &console, [&console] {
        olvex::CCannedMsgDlg editor(olvex::CannedFilePath(), &console);
        olvex::ExecWindowModal(editor);
    });
    auto archive = OpenHistory(console);
    olvex::SetSessionArchive(archive);
    QPointer<olvex::HistoryWindow> historyWindow;
    QObject::connect(&console, &olvex::OperatorConsole::HistoryRequested, &console, [&] {
        if (!historyWindow)
            historyWindow = new olvex::HistoryWindow(olvex::HistoryFilePath(), archive);
        else
            historyWindow->Reload(); // calls may have ended since
        historyWindow->show();
        desktop.Windows().BringToFront(*historyWindow);
    });
    console.show();
    const int code = QApplication::exec();
    delete historyWindow.data();
    olvex::SetSessionArchive(nullptr);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const olvex::CommandLine command = olvex::ParseCommandLine(arguments);
    if (const std::optional<int> code = AnswerCommandLine(command))
        return *code;

    // Before anything can log. QT_LOGGING_RULES still has the last word.
    olvex::LogFile log;
    if (command.verbose) {
        QLoggingCategory::setFilterRules(QStringLiteral("olvex.*.debug=true"));
        log.SetEcho(true);
    }
    log.Install();
    qCInfo(olvex::lcConsole).noquote() << olvex::product::kName << "version"
                                       << olvex::product::kVersion << "started, log" << log.Path();

    PrepareProcess();
    QApplication app(argc, argv);
    ConfigureApplication();
    // Notifications, tray, idle time and the rest as this window system offers them; they
    // outlive every window.
    const std::unique_ptr<olvex::DesktopServices> desktop =
        olvex::MakeDesktop(QGuiApplication::platformName());
    using Rules = olvex::WindowPlacementStore::Rules;
    const olvex::WindowActivation& windows = desktop->Windows();
    olvex::WindowPlacementStore::SetDefaultRules(windows.TilesWindows()      ? Rules::Tiled
                                                 : windows.CanPlaceWindows() ? Rules::Positions
                                                                             : Rules::SizesOnly);
    FollowColourScheme(desktop->ColourScheme(), command.colourScheme);
    const int code = RunConsole(*desktop, command);
    olvex::AgentClient::DestroyInstance();
    qCInfo(olvex::lcConsole) << "ended";
    return code;
}
