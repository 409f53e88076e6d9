#include "app/graphs/gui/ScanPicture.h"
#include "app/shell/ApplicationSequence.h"
#include "app/base/CommandLine.h"
#include "app/shell/ExportCommand.h"
#include "app/shell/MainFrameControl.h"
#include "app/shell/SilentUserInteraction.h"
#include "app/shell/TerminationSignals.h"
#include "app/shell/gui/CCorvelApp.h"
#include "app/shell/gui/GuiMessageBox.h"
#include "app/shell/gui/GuiResources.h"
#include "app/shell/gui/MainFrameHost.h"
#include "app/shell/gui/MiniDumper.h"
#include "common/platform/Hooks.h"
#include "common/platform/KnownFolders.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

bool silentRequested(int argc, char** argv)
{
    CommandLineSwitches switches;
    // Only -s matters here; errors are reported once, by the run itself.
    ParseCommandLine(RawCommandLineFromArguments(std::vector<std::string>(argv + 1, argv + argc)), switches,
                     [](const std::string&) {});
    return switches.silentMode;
}

// The unattended run: no window, messages on stderr and in the log. With
// TESSELON_SNAPSHOT naming a PNG file, a picture of the saved scan's graphs
// is left there as well.
int runSilent(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto started = std::filesystem::file_time_type::clock::now();
    SilentUserInteraction ui;
    // A watchdog's SIGTERM (or SIGINT, SIGHUP) ends the run in order.
    TerminationSignals::install();
    const int result = RunUnattendedProgram(arguments, ui);
    const char* snapshot = std::getenv("TESSELON_SNAPSHOT");
    if (result != 0 || !snapshot || !*snapshot) return result;

    CommandLineSwitches switches;
    ParseCommandLine(RawCommandLineFromArguments(arguments), switches, [](const std::string&) {});
    std::string error = "the output folder (-o) is not given";
    if (switches.isOutputFolderSet()) {
        const std::filesystem::path scanFile = ScanPicture::newestScanFile(switches.outputFolder, started);
        if (scanFile.empty())
            error = "no scan file was written to " + switches.outputFolder;
        else if (ScanPicture::saveScanFile(scanFile, snapshot, &error))
            return result;
    }
    std::fprintf(stderr, "Tesselon-6: no picture of the graphs: %s\n", error.c_str());
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    // A crashed copy of the program asks a fresh one to show its messages.
    if (argc >= 2 && std::strcmp(argv[1], MiniDumper::messageSwitch) == 0)
        return MiniDumper::runMessageProcess(argc, argv);
    // File conversions need no display and no instrument.
    if (argc >= 2 && std::strcmp(argv[1], kExportSwitch) == 0) {
        std::string message;
        const int code = RunExportCommand(std::vector<std::string>(argv + 2, argv + argc), message);
        if (code != 0) std::fprintf(stderr, "tesselon-6: %s\n", message.c_str());
        return code;
    }

    static MiniDumper dumper("Tesselon-6");
    namespace platform = FenmarlCommonDLL::platform;
    const std::filesystem::path applicationDirectory = platform::documentsFolder() / "Tesselon-6";
    std::error_code ec;
    std::filesystem::create_directories(applicationDirectory, ec);
    dumper.setDumpDirectory(applicationDirectory.string());

    // The scan thread's trace lines are for developers: shown only when asked for.
    if (qEnvironmentVariableIsEmpty("TESSELON_DEBUG_OUTPUT"))
        platform::setDebugOutputHandler([](const std::string&) {});

    const bool silent = silentRequested(argc, argv);
    // A silent run still draws its picture of the graphs, with or without a display.
    if (silent && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    if (silent) return runSilent(argc, argv);
    initGuiResources();
    QApplication::setApplicationName(QStringLiteral("Tesselon-6"));
    QApplication::setOrganizationName(QStringLiteral("Fenmarl"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tesselon/tesselon-6.png")));
    installGuiMessageBoxHandler();

    CCorvelApp application;
    if (!application.initInstance(
            RawCommandLineFromArguments(std::vector<std::string>(argv + 1, argv + argc))))
        return 1;
    // Terminating signals close the program in order: a running scan is
    // stopped and saved before the window closes.
    TerminationSignals::install();
    QTimer signalWatch;
    QObject::connect(&signalWatch, &QTimer::timeout, [&application, &signalWatch] {
        const int signal = TerminationSignals::pending();
        if (signal == 0 || !application.host()) return;
        signalWatch.stop();
        application.host()->control().endOnSignal(TerminationSignals::name(signal));
    });
    signalWatch.start(200);
    const int result = app.exec();
    application.exitInstance();
    return result;
}
