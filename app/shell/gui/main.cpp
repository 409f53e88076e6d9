#include "app/shell/gui/CMainFrame.h"
#include "app/shell/gui/GuiMessageBox.h"
#include "app/shell/gui/GuiResources.h"
#include "app/shell/gui/MainProcessDiagDlg.h"
#include "app/shell/gui/MiniDumper.h"
#include "app/shell/gui/ProcessOutput.h"
#include "common/Logger.h"
#include "common/platform/KnownFolders.h"

#include <QApplication>

#include <cstring>
#include <filesystem>

int main(int argc, char** argv)
{
    // A crashed copy of the program asks a fresh one to show its messages.
    if (argc >= 2 && std::strcmp(argv[1], MiniDumper::messageSwitch) == 0)
        return MiniDumper::runMessageProcess(argc, argv);

    static MiniDumper dumper("Tesselon-6");
    namespace platform = FenmarlCommonDLL::platform;
    const std::filesystem::path applicationDirectory = platform::documentsFolder() / "Tesselon-6";
    std::error_code ec;
    std::filesystem::create_directories(applicationDirectory, ec);
    dumper.setDumpDirectory(applicationDirectory.string());

    QApplication app(argc, argv);
    initGuiResources();
    QApplication::setApplicationName(QStringLiteral("Tesselon-6"));
    QApplication::setOrganizationName(QStringLiteral("Fenmarl"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tesselon/tesselon-6.png")));
    installGuiMessageBoxHandler();

    const std::filesystem::path log =
        platform::applicationDataFolder() / "Tesselon" / "Logs" / "Tesselon.log";
    FenmarlCommonDLL::Logger logger(log.wstring(), 40960, true, true);
    logger.logNote("Tesselon", "Started");

    ProcessOutput output;
    CMainFrame frame;
    MainProcessDiagDlg diagnostics(&logger, &output, &frame);
    QObject::connect(&frame, &CMainFrame::showDebugWindowRequested, &diagnostics, [&diagnostics] {
        diagnostics.show();
        diagnostics.raise();
    });
    frame.showFirstTime();
    const int result = app.exec();
    logger.logNote("Tesselon", "Exit");
    return result;
}
