#include "app/shell/gui/CAboutDlg.h"
#include "app/shell/gui/CProgressDlg.h"
#include "app/shell/gui/MainProcessDiagDlg.h"
#include "app/shell/gui/ProcessOutput.h"
#include "testsupport/QtTestApp.h"
#include "common/Logger.h"
#include "common/platform/MessageBoxCodes.h"
#include "testsupport/WaitFor.h"

#include <QListWidget>
#include <QRegularExpression>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace hooks = FenmarlCommonDLL::platform;

// The condition changes in this thread's event loop: run it between checks.
bool waitFor(const std::function<bool()>& condition)
{
    return TestSupport::pollUntil(condition, std::chrono::seconds(20),
                                  [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

const QRegularExpression linePattern(QStringLiteral(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}   (.*)$)"));

TEST(AboutLines, VersionAndProtocol)
{
    EXPECT_EQ(CAboutDlg::versionLine("1.0.0"), "Tesselon-6 Version: 1.0.0.0");
    EXPECT_EQ(CAboutDlg::versionLine("2.3.4.5"), "Tesselon-6 Version: 2.3.4.5");
    EXPECT_EQ(CAboutDlg::versionLine(""), "Tesselon-6 Version: 0.0.0");
    EXPECT_EQ(CAboutDlg::protocolLine(true, true), "Communication Protocol : USB2");
    EXPECT_EQ(CAboutDlg::protocolLine(true, false), "Communication Protocol : USB1");
    EXPECT_EQ(CAboutDlg::protocolLine(false, true), "");
}

using ShellWindowsTest = QtBoxTest;

TEST_F(ShellWindowsTest, AboutBoxShowsTheBuildVersion)
{
    CAboutDlg about(false, false);
    EXPECT_EQ(about.versionText().toStdString(), CAboutDlg::versionLine(TESSELON_VERSION));
    EXPECT_TRUE(about.protocolText().isEmpty());
    CAboutDlg open(true, true);
    EXPECT_EQ(open.protocolText(), "Communication Protocol : USB2");
}

TEST_F(ShellWindowsTest, ProgressDialogSwapsTheBarForTheAnimation)
{
    QWidget owner;
    owner.show();
    CProgressDlg progress(&owner);
    progress.setTitle("Zeroing Instrument");
    progress.setLines("Zeroing sensor", "Please wait 2 seconds");
    progress.showAnimation(true);
    progress.show();
    EXPECT_EQ(progress.windowTitle(), "Zeroing Instrument");
    EXPECT_EQ(progress.firstLine(), "Zeroing sensor");
    EXPECT_FALSE(progress.barVisible());
    EXPECT_TRUE(progress.animation()->isVisible());
    EXPECT_TRUE(progress.animation()->isRunning());
    const int start = progress.animation()->step();
    EXPECT_TRUE(waitFor([&] { return progress.animation()->step() != start; }));
    EXPECT_TRUE(progress.isModal() || progress.windowModality() == Qt::WindowModal);

    progress.setLines("Stopping", "");
    EXPECT_TRUE(progress.firstLineVisible());
    EXPECT_FALSE(progress.secondLineVisible());
    progress.showAnimation(false);
    EXPECT_TRUE(progress.barVisible());
    EXPECT_FALSE(progress.animation()->isRunning());
}

TEST_F(ShellWindowsTest, OutputQueuesUntilAttachedAndKeepsTheNewest256Lines)
{
    ProcessOutput output;
    for (int i = 0; i < 300; ++i)
        output.writeOutput(L"line " + std::to_wstring(i));
    EXPECT_EQ(output.queuedLineCount(), 256u);

    QListWidget list;
    output.attach(&list);
    EXPECT_EQ(output.queuedLineCount(), 0u);
    ASSERT_EQ(list.count(), 256);
    const auto first = linePattern.match(list.item(0)->text());
    ASSERT_TRUE(first.hasMatch()) << list.item(0)->text().toStdString();
    EXPECT_EQ(first.captured(1), "line 44");
    EXPECT_EQ(list.currentRow(), 255);

    output.writeOutput(L"after attach");
    EXPECT_EQ(list.count(), 256);
    EXPECT_TRUE(list.item(255)->text().endsWith("   after attach"));
    EXPECT_TRUE(list.item(0)->text().endsWith("   line 45"));

    output.detach();
    output.writeOutput(L"queued again");
    EXPECT_EQ(output.queuedLineCount(), 1u);
    EXPECT_EQ(list.count(), 256);
}

TEST_F(ShellWindowsTest, LinesFromOtherThreadsArriveInOrderOnTheListThread)
{
    ProcessOutput output;
    QListWidget list;
    output.attach(&list);
    std::thread writer([&] {
        for (int i = 0; i < 100; ++i)
            output.writeOutput(L"worker " + std::to_wstring(i));
    });
    writer.join();
    ASSERT_TRUE(waitFor([&] { return list.count() == 100; }));
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(list.item(i)->text().endsWith(QStringLiteral("   worker %1").arg(i)));
}

TEST_F(ShellWindowsTest, DiagnosticsWindowReportsAMissingLoggerAndAFailedLogDisplay)
{
    ProcessOutput output;
    output.writeOutput(L"before the window");
    {
        MainProcessDiagDlg window(nullptr, &output);
        EXPECT_EQ(window.windowTitle(), "Tesselon Diagnostics Window");
        ASSERT_EQ(window.list()->count(), 2);
        EXPECT_TRUE(window.list()->item(0)->text().endsWith("   before the window"));
        EXPECT_TRUE(window.list()->item(1)->text().endsWith(
            "   MainProcessDiagDlg::OnInitDialog, m_pLogger is NULL."));
        EXPECT_FALSE(window.isVisible());

        std::vector<std::string> logged;
        window.setLogFunction([&](const std::string& source, const std::string& message, int type) {
            logged.push_back(source + "|" + message + "|" + std::to_string(type));
        });
        EXPECT_FALSE(window.showProcessLogfile());
        EXPECT_EQ(logged, (std::vector<std::string>{"DisplayLogFile|Failed to display the log file.|2"}));
        EXPECT_EQ(boxes, (std::vector<std::string>{"Tesselon|Unable to display the log file."}));
    }
    output.writeOutput(L"after the window");
    EXPECT_EQ(output.queuedLineCount(), 1u);
}

TEST_F(ShellWindowsTest, ShowProcessLogfileOpensTheLoggersFile)
{
    const std::filesystem::path dir = std::filesystem::path(std::getenv("TESSELON_TEST_SCRATCH")) / "logs";
    std::filesystem::create_directories(dir);
    FenmarlCommonDLL::Logger logger((dir / "Tesselon.log").wstring(), 40960, true, false);
    logger.logNote("Tesselon", "Started");
    ProcessOutput output;
    MainProcessDiagDlg window(&logger, &output);
    EXPECT_EQ(window.list()->count(), 0);
    QString opened;
    window.setOpener([&](const QString& path) {
        opened = path;
        return true;
    });
    EXPECT_TRUE(window.showProcessLogfile());
    EXPECT_EQ(opened.toStdString(), (dir / "Tesselon.log").string());
    EXPECT_TRUE(boxes.empty());
}

} // namespace

namespace {

TEST_F(ShellWindowsTest, WindowsKeepTheirPictures)
{
    // Not a check of looks: renders each window once so a person can look at them.
    CAboutDlg about(true, true);
    CProgressDlg progress;
    progress.setTitle("Zeroing Instrument");
    progress.setLines("Stabilising Input", "Please wait 10 seconds");
    progress.showAnimation(true);
    ProcessOutput output;
    for (int i = 0; i < 5; ++i)
        output.writeOutput(L"Detect Instruments: 1 Device(s) Found...");
    MainProcessDiagDlg diagnostics(nullptr, &output);
    expectEachRenders({&about, &progress, &diagnostics});
}

} // namespace
