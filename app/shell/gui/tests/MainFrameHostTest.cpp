#include "app/shell/gui/MainFrameHost.h"
#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ProgressPulse.h"
#include "app/acquisition/ScanThread.h"
#include "app/acquisition/tests/ScanThreadTestSupport.h"
#include "app/graphs/gui/CChildFrame.h"
#include "app/graphs/gui/CCorvelView.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/shell/CommandRules.h"
#include "app/shell/MainFrameControl.h"
#include "app/base/ScriptedUserInteraction.h"
#include "app/shell/gui/CMainFrame.h"
#include "app/shell/gui/tests/HostedFrameTest.h"
#include "testsupport/QtTestApp.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <filesystem>
#include <chrono>
#include <climits>
#include <thread>
#include <cstdio>
#include <fstream>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace ScanTest;
namespace fs = std::filesystem;

namespace {

class MainFrameHostTest : public HostedFrameTest<ScriptedUserInteraction>
{
protected:
    void SetUp() override
    {
        folder = fs::path(scratchFolder()) / "scans";
        fs::create_directories(folder);
    }

    void build(bool plugged = true)
    {
        if (plugged)
            instrument = plugInstrument();
        else
            plugInstruments({}, false);
        makeStore(folder);
        store->defaultSettings().ZeroAndStabilise = 0;
        store->defaultSettings().ExportMultiASCII = 0;
        showFrame(1200, 800);
    }

    void TearDown() override
    {
        if (host)
            (void)QTest::qWaitFor([] { return !scanRequested.load() && !scanThreadActive.load(); }, 60000);
        host.reset();
        frame.reset();
        scanRequested = false;
        WaitForScanThreadExit();
        CloseDevice();
    }

    bool enabled(int id)
    {
        host->refreshStatus();
        return frame->action(id)->isEnabled();
    }

    bool waitForScanEnd()
    {
        return QTest::qWaitFor(
            [this] {
                return !scanRequested.load() && !scanThreadActive.load() && host->control().scanDocument() &&
                       !host->control().scanDocument()->pathName().empty();
            },
            60000);
    }

    fs::path folder;
};

} // namespace

TEST_F(MainFrameHostTest, ScanCommandsFollowTheInstrumentAndTheScan)
{
    build(false);
    EXPECT_TRUE(enabled(CMainFrame::ID_DETECT_INSTRUMENTS)) << "no instrument open";
    EXPECT_FALSE(enabled(CMainFrame::ID_CONFIGURE));
    EXPECT_FALSE(enabled(CMainFrame::ID_RUN));
    EXPECT_FALSE(enabled(CMainFrame::ID_STOP));
    EXPECT_FALSE(enabled(CMainFrame::ID_PROPERTIES)) << "no document";
    EXPECT_FALSE(enabled(CMainFrame::ID_EXPORT_DATA));
    EXPECT_TRUE(enabled(CMainFrame::ID_FILE_OPEN));
    EXPECT_EQ(frame->paneText(CMainFrame::scanStatusPane), "Idle");

    // Real time, so the scan is still running when Stop becomes available.
    FenmarlUsb::InstrumentConfig config = instrumentConfig();
    config.speedFactor = 1.0;
    instrument = plugInstrument(config);
    EXPECT_FALSE(enabled(CMainFrame::ID_DETECT_INSTRUMENTS)) << "an instrument is open";
    EXPECT_TRUE(enabled(CMainFrame::ID_CONFIGURE));
    EXPECT_TRUE(enabled(CMainFrame::ID_RUN));

    // A scan long enough to look at it while it runs.
    store->scanConfiguration().NoOfSamples = 40000;
    frame->action(CMainFrame::ID_RUN)->trigger();
    ASSERT_TRUE(scanRequested.load());
    EXPECT_FALSE(enabled(CMainFrame::ID_RUN)) << "refused while the scan thread runs";
    EXPECT_FALSE(enabled(CMainFrame::ID_CONFIGURE));
    EXPECT_FALSE(enabled(CMainFrame::ID_STOP)) << "Stop waits five seconds";
    EXPECT_FALSE(enabled(CMainFrame::ID_FILE_CLOSE));
    EXPECT_FALSE(enabled(CMainFrame::ID_CLOSE_ALL));
    EXPECT_FALSE(enabled(CMainFrame::ID_EXPORT_DATA)) << "the document is still being written";
    EXPECT_FALSE(enabled(CMainFrame::ID_EXPORT_CSV));
    EXPECT_FALSE(enabled(CMainFrame::ID_EXPORT_WAV));
    EXPECT_TRUE(enabled(CMainFrame::ID_PROPERTIES));
    EXPECT_TRUE(host->timerRunning(FrameServices::kStopTimerId));
    EXPECT_FALSE(host->mainWindowCloseEnabled());
    EXPECT_FALSE(host->documentCloseEnabled(host->activeDocument()));

    // Neither the main window nor the scan's window closes under the scan.
    EXPECT_FALSE(frame->close());
    QMdiSubWindow* window = frame->mdiArea()->activeSubWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->close());
    EXPECT_EQ(host->documentCount(), 1u);

    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return frame->paneText(CMainFrame::scanStatusPane).startsWith("Sample "); }, 30000));
    EXPECT_TRUE(frame->paneText(CMainFrame::scanStatusPane).contains(", Average 1 of 1"))
        << frame->paneText(CMainFrame::scanStatusPane).toStdString();
    EXPECT_EQ(frame->paneText(CMainFrame::input1Pane), "Input1 On");
    EXPECT_EQ(frame->paneText(CMainFrame::input2Pane), "Input2 Off");

    ASSERT_TRUE(QTest::qWaitFor([this] { return enabled(CMainFrame::ID_STOP); }, 30000))
        << "Stop is enabled five seconds after the start";
    // The question "Abort Current Scan?" is answered Yes.
    frame->action(CMainFrame::ID_STOP)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return !scanThreadActive.load(); }, 30000));
    EXPECT_FALSE(enabled(CMainFrame::ID_STOP));
    EXPECT_TRUE(enabled(CMainFrame::ID_RUN));
    EXPECT_TRUE(host->mainWindowCloseEnabled());
}

TEST_F(MainFrameHostTest, ARunScansIntoAWindowAndSavesTheFile)
{
    build();
    frame->action(CMainFrame::ID_RUN)->trigger();
    ASSERT_TRUE(waitForScanEnd());
    CCorvelDoc* document = host->control().scanDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->scanActive, 0);
    EXPECT_FALSE(document->isModified());

    // Saved under the automatic name in the data folder.
    const fs::path saved = document->pathName();
    EXPECT_EQ(saved.parent_path(), folder);
    EXPECT_EQ(saved.filename().string().rfind("Data_", 0), 0u) << saved;
    EXPECT_EQ(saved.extension(), ".ts6");
    ASSERT_TRUE(fs::exists(saved));
    ASSERT_FALSE(frame->recentFiles().isEmpty());
    EXPECT_EQ(frame->recentFiles().front().toStdString(), saved.string())
        << "a scan saved by Run is a recent file";

    // The scan's window shows the record and is named after its file.
    CChildFrame* child = host->frameOf(document);
    ASSERT_NE(child, nullptr);
    host->refreshStatus();
    EXPECT_EQ(child->windowTitle().toStdString(), saved.filename().string());
    EXPECT_TRUE(child->isPaneShown(0));
    EXPECT_TRUE(child->isPaneShown(1));
    EXPECT_FALSE(child->isPaneShown(2)) << "input 2 is not in use";
    EXPECT_EQ(child->view(0)->chart().seriesPointCount(0), 400u);
    EXPECT_GT(child->view(1)->chart().seriesPointCount(0), 0u) << "the spectrum is drawn";
    EXPECT_EQ(frame->paneText(CMainFrame::scanStatusPane), "Idle");
    EXPECT_TRUE(host->documentCloseEnabled(document));
    EXPECT_TRUE(enabled(CMainFrame::ID_EXPORT_DATA));
    EXPECT_TRUE(enabled(CMainFrame::ID_DATA_SETTINGS));
    // File > Export > CSV: the save dialog's file gets the whole scan.
    ui.queueFile(folder / "whole.csv");
    frame->action(CMainFrame::ID_EXPORT_CSV)->trigger();
    EXPECT_GT(fs::file_size(folder / "whole.csv"), 400u * 20u);
    EXPECT_EQ(frame->action(CMainFrame::ID_EXPORT_WAV)->text(), "&WAV...");
    EXPECT_FALSE(enabled(CMainFrame::ID_INPUT1_MEAN)) << "only for a microphone";

    // Opening the same file again only brings its window forward; closing
    // it and opening the file shows the same record from the disk.
    EXPECT_EQ(host->openFile(saved), document);
    EXPECT_EQ(host->documentCount(), 1u);
    frame->mdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(host->documentCount(), 0u);
    EXPECT_EQ(host->control().scanDocument(), nullptr) << "the control forgets the closed scan";
    CCorvelDoc* reopened = host->openFile(saved);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->scan.input1.samplesAcquired, 400);
    ASSERT_NE(host->frameOf(reopened), nullptr);
    EXPECT_EQ(host->frameOf(reopened)->view(0)->chart().seriesPointCount(0), 400u);
}

TEST_F(MainFrameHostTest, OpenedFilesAreRememberedNewestFirstAcrossRuns)
{
    build(false);
    std::vector<fs::path> files;
    for (int i = 0; i < 5; ++i) {
        CCorvelDoc document(store->scanConfiguration(), store->defaultSettings());
        files.push_back(folder / ("scan" + std::to_string(i) + ".ts6"));
        ASSERT_TRUE(document.OnSaveDocument(files.back()));
    }
    for (const fs::path& file : files)
        ASSERT_NE(host->openFile(file), nullptr);
    QStringList recent = frame->recentFiles();
    ASSERT_EQ(recent.size(), CMainFrame::recentFileCount) << "four are kept";
    EXPECT_EQ(recent.front().toStdString(), files[4].string());
    EXPECT_EQ(recent.back().toStdString(), files[1].string());
    EXPECT_TRUE(frame->action(CMainFrame::ID_FILE_MRU_FIRST)->text().endsWith("scan4.ts6"));

    // A damaged file is reported and opens nothing.
    const fs::path damaged = folder / "damaged.ts6";
    {
        std::ofstream out(damaged, std::ios::binary);
        out << "not a scan";
    }
    const std::size_t before = host->documentCount();
    EXPECT_EQ(host->openFile(damaged), nullptr);
    EXPECT_EQ(host->documentCount(), before);
    EXPECT_FALSE(ui.messages().empty());

    // The next run of the program offers the same list, and choosing an entry opens it.
    host.reset();
    frame = std::make_unique<CMainFrame>();
    host = std::make_unique<MainFrameHost>(*frame, ui, *store, switches);
    EXPECT_EQ(frame->recentFiles(), recent);
    EXPECT_TRUE(frame->action(CMainFrame::ID_FILE_MRU_FIRST + 2)->isEnabled());
    frame->action(CMainFrame::ID_FILE_MRU_FIRST + 2)->trigger();
    ASSERT_NE(host->activeDocument(), nullptr);
    EXPECT_EQ(host->activeDocument()->pathName(), files[2]);
}

TEST_F(MainFrameHostTest, PostProcessingKeepsTheWindowsOfTheFilesItShows)
{
    build(false);
    std::vector<fs::path> files;
    for (int i = 1; i <= 4; ++i) {
        CCorvelDoc document(store->scanConfiguration(), store->defaultSettings());
        files.push_back(folder / ("run_" + std::to_string(i) + ".ts6"));
        ASSERT_TRUE(document.OnSaveDocument(files.back()));
    }
    bool finalOnly = false;
    host->setOptionsChooser([&finalOnly](PostProcessOptions& options) {
        options.filterChoice = 0;
        options.averageSpectra = 1;
        options.finalOnly = finalOnly ? 1 : 0;
        return true;
    });

    ui.queueFiles(files);
    frame->action(CMainFrame::ID_POST_PROCESS)->trigger();
    EXPECT_EQ(host->documentCount(), 4u) << "every processed file stays open";
    EXPECT_EQ(frame->mdiArea()->subWindowList().size(), 4);

    frame->mdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(host->documentCount(), 0u);
    finalOnly = true;
    ui.queueFiles(files);
    frame->action(CMainFrame::ID_POST_PROCESS)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(host->documentCount(), 1u) << "only the final data set";
    ASSERT_EQ(frame->mdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(host->activeDocument()->pathName(), files.back());
}

TEST_F(MainFrameHostTest, AnUnpluggedInstrumentCanBeDetectedAgain)
{
    build();
    EXPECT_FALSE(enabled(CMainFrame::ID_DETECT_INSTRUMENTS));
    EXPECT_TRUE(enabled(CMainFrame::ID_RUN));

    auto& bus = FenmarlUsb::SimulatedBus::instance();
    const auto paths = bus.enumerate(FenmarlUsb::DeviceClassId::Instrument);
    ASSERT_EQ(paths.size(), 1u);
    ASSERT_TRUE(bus.unplug(paths.front()));
    bus.waitIdle();
    ASSERT_TRUE(QTest::qWaitFor([this] { return enabled(CMainFrame::ID_DETECT_INSTRUMENTS); }, 10000))
        << "the lost instrument is released";
    EXPECT_FALSE(IsDeviceOpen());
    EXPECT_FALSE(enabled(CMainFrame::ID_RUN));
}

TEST_F(MainFrameHostTest, ConfigureShowsTheSettingsSheetAndStoresItsValues)
{
    build();
    store->defaultSettings().ScanOnExit = 0;
    store->scanConfiguration().NoOfSamples = 1001;

    // Cancel first: nothing is stored.
    QString title;
    QTimer::singleShot(200, [&title] {
        if (QDialog* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            title = sheet->windowTitle();
            sheet->reject();
        }
    });
    frame->action(CMainFrame::ID_CONFIGURE)->trigger();
    EXPECT_EQ(title, "Settings");
    EXPECT_EQ(store->scanConfiguration().NoOfSamples, 1001);

    // OK: the sheet's values go back to the store, the sample count rounded up to 40s.
    QTimer::singleShot(200, [] {
        if (QDialog* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget())) sheet->accept();
    });
    frame->action(CMainFrame::ID_CONFIGURE)->trigger();
    EXPECT_EQ(store->scanConfiguration().NoOfSamples, 1040);
    EXPECT_FALSE(scanRequested.load()) << "no scan without ScanOnExit";
    EXPECT_TRUE(enabled(CMainFrame::ID_RUN));
}

TEST_F(MainFrameHostTest, AChangedScanIsOfferedForSavingBeforeItsWindowCloses)
{
    build(false);
    const fs::path original = folder / "probe.ts6";
    {
        CCorvelDoc document(store->scanConfiguration(), store->defaultSettings());
        ASSERT_TRUE(document.OnSaveDocument(original));
    }
    CCorvelDoc* document = host->openFile(original);
    ASSERT_NE(document, nullptr);
    document->setModified(true);
    QMdiSubWindow* window = frame->mdiArea()->activeSubWindow();
    ASSERT_NE(window, nullptr);

    // Cancel keeps the window; No closes it without saving.
    namespace platform = FenmarlCommonDLL::platform;
    ui.queueMessageReply(platform::IDCANCEL_);
    EXPECT_FALSE(window->close());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Save changes to probe.ts6?");
    EXPECT_EQ(host->documentCount(), 1u);

    // Save As writes a new file, which the window is then named after.
    const fs::path copy = folder / "probe-filtered.ts6";
    ui.queueFile(copy);
    frame->action(CMainFrame::ID_FILE_SAVE_AS)->trigger();
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_EQ(document->pathName(), copy);
    EXPECT_FALSE(document->isModified());
    EXPECT_EQ(ui.fileRequests().back().initialFileName, "probe.ts6");
    EXPECT_TRUE(ui.fileRequests().back().overwritePrompt);
    host->refreshStatus();
    EXPECT_EQ(window->widget()->windowTitle(), "probe-filtered.ts6");
    EXPECT_EQ(frame->recentFiles().front().toStdString(), copy.string());

    document->setModified(true);
    ui.queueMessageReply(platform::IDNO_);
    EXPECT_TRUE(window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(host->documentCount(), 0u);
}

namespace {

// Resident memory (KiB) and open descriptors of this process.
std::pair<long, long> residentKiBAndDescriptors()
{
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    long descriptors = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++descriptors;
    return {resident * (sysconf(_SC_PAGESIZE) / 1024), descriptors};
}

} // namespace

TEST_F(MainFrameHostTest, TheRepeatTestSoaksWithoutGrowingMemoryOrDescriptors)
{
    // A shortened repeat test: every other round closes the documents, and
    // after each close the process must be back where it was.
    build();
    CScanConfiguration& c = store->scanConfiguration();
    c.NoOfSamples = 20000;
    c.SampleInterval = 0.0002;
    MainFrameHost::RepeatTestPlan plan;
    plan.rounds = 11;
    plan.afterStartMs = 100;
    plan.afterEndMs = 50;
    plan.closeRounds = {0, 2, 4, 6, 8, 10};
    std::vector<std::pair<long, long>> afterClose;
    std::size_t scansSaved = 0;
    const auto started = std::chrono::steady_clock::now();
    const int rounds = host->runRepeatTest(plan, [&](int round) {
        // The saved scans go at once: the test keeps to a few MB of disk.
        for (const auto& entry : fs::directory_iterator(folder)) {
            scansSaved += entry.path().extension() == ".ts6";
            fs::remove(entry.path());
        }
        if (round % 2 != 0) return;
        // Closed by the test itself, not by a later turn of the event loop.
        EXPECT_EQ(host->documentCount(), 0u) << "round " << round;
        EXPECT_TRUE(frame->mdiArea()->subWindowList().isEmpty()) << "round " << round;
        // The least of three readings: a log line being written or a buffer
        // about to be freed is not growth.
        std::pair<long, long> least{LONG_MAX, LONG_MAX};
        for (int reading = 0; reading < 3; ++reading) {
            // Not QTest::qWait: it would delete closed windows itself.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const auto now = residentKiBAndDescriptors();
            least = {std::min(least.first, now.first), std::min(least.second, now.second)};
        }
        afterClose.push_back(least);
        std::printf("repeat test round %d: resident %ld KiB, %ld descriptors (%lld ms)\n", round,
                    afterClose.back().first, afterClose.back().second,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - started)
                                               .count()));
    });
    EXPECT_EQ(rounds, 11);
    EXPECT_EQ(scansSaved, 11u);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Finished");
    EXPECT_EQ(ui.messages()[0].caption, "Test");
    ASSERT_EQ(afterClose.size(), 6u);
    // Round 0 warms the caches up; from round 2 on nothing may accumulate.
    // Each round's scan holds over 1 MB of series: a leaked document or
    // window would add that much every round.
    for (std::size_t i = 2; i < afterClose.size(); ++i) {
        EXPECT_LE(afterClose[i].second, afterClose[1].second) << "descriptors, sample " << i;
        EXPECT_LT(afterClose[i].first - afterClose[1].first, 3 * 1024) << "resident KiB, sample " << i;
    }
}

TEST_F(MainFrameHostTest, TheRepeatTestStopsVisiblyWhenNoScanCanStart)
{
    build(false);
    MainFrameHost::RepeatTestPlan plan;
    plan.rounds = 3;
    EXPECT_EQ(host->runRepeatTest(plan), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "The repeat test stopped in round 1 of 3: a scan could not be started.");
    EXPECT_EQ(ui.messages()[0].caption, "Test");
}

TEST_F(MainFrameHostTest, AFilteredScanShowsItChangedAndAsksBeforeItsWindowCloses)
{
    build(false);
    const fs::path original = folder / "run_1.ts6";
    {
        CCorvelDoc document(store->scanConfiguration(), store->defaultSettings());
        ASSERT_TRUE(document.OnSaveDocument(original));
    }
    host->setOptionsChooser([](PostProcessOptions& options) {
        options.filterChoice = 1;
        options.rollingPoints = 2;
        options.filterPasses = 1;
        options.averageSpectra = 0;
        options.finalOnly = 1;
        return true;
    });
    ui.queueFiles({original});
    frame->action(CMainFrame::ID_POST_PROCESS)->trigger();
    CCorvelDoc* document = host->activeDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(document->isModified()) << "filtered records differ from the file";
    host->refreshStatus();
    QMdiSubWindow* window = frame->mdiArea()->activeSubWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->widget()->windowTitle(), "run_1.ts6*");

    // Closing asks; Cancel keeps the window and its results.
    namespace platform = FenmarlCommonDLL::platform;
    ui.clear();
    ui.queueMessageReply(platform::IDCANCEL_);
    EXPECT_FALSE(window->close());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Save changes to run_1.ts6?")
        << "the question names the file, not the mark";
    // Close All asks as well.
    ui.queueMessageReply(platform::IDCANCEL_);
    frame->action(CMainFrame::ID_CLOSE_ALL)->trigger();
    EXPECT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(host->documentCount(), 1u);

    // Saved, the mark goes.
    ui.queueFile(folder / "run_1_filtered.ts6");
    frame->action(CMainFrame::ID_FILE_SAVE_AS)->trigger();
    host->refreshStatus();
    EXPECT_EQ(window->widget()->windowTitle(), "run_1_filtered.ts6");
    EXPECT_TRUE(window->close());
}

TEST_F(MainFrameHostTest, ClosingTheProgramDuringAScanSaysWhyItStaysOpen)
{
    build();
    frame->action(CMainFrame::ID_RUN)->trigger();
    ASSERT_TRUE(scanRequested.load());
    ui.clear();
    EXPECT_FALSE(frame->close()) << "Exit / Ctrl+Q while the scan runs";
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Tesselon-6");
    EXPECT_NE(ui.messages()[0].text.find("A scan is running"), std::string::npos);
    ASSERT_TRUE(waitForScanEnd());
}

TEST_F(MainFrameHostTest, MenusToolBarAndCommandsReadTheOneCommandTable)
{
    build();
    auto* bar = frame->findChild<QToolBar*>(QStringLiteral("Tool Bar"));
    ASSERT_NE(bar, nullptr);
    const auto agree = [&](const char* when) {
        host->refreshStatus();
        const CommandRules::Facts facts = frame->commandFacts();
        for (const CommandRules::Rule& rule : CommandRules::Table()) {
            QAction* a = frame->action(rule.id);
            ASSERT_NE(a, nullptr) << rule.name << " has no menu entry";
            const bool expected = CommandRules::Enabled(rule.id, facts);
            EXPECT_EQ(a->isEnabled(), expected) << rule.name << " " << when;
            EXPECT_EQ(host->commandEnabled(rule.id), expected) << rule.name << " " << when;
            if (QWidget* button = bar->widgetForAction(a)) {
                EXPECT_EQ(button->isEnabled(), expected) << rule.name << " button " << when;
            }
        }
    };
    agree("with no document");
    host->newDocument();
    agree("with a document");
    EXPECT_TRUE(frame->action(CMainFrame::ID_RUN)->isEnabled());
    EXPECT_TRUE(host->control().canConfigure());

    frame->action(CMainFrame::ID_RUN)->trigger();
    agree("during the scan");
    EXPECT_FALSE(frame->action(CMainFrame::ID_CONFIGURE)->isEnabled());
    EXPECT_FALSE(host->control().canConfigure()) << "the control refuses what the menu does not offer";
    ASSERT_TRUE(waitForScanEnd());
    agree("after the scan");
}

// A long save or redraw gives the event loop a turn (repaints, other timers),
// but the scan's notices and other posted work of the host wait until it is
// done, so none of them runs in the middle of it.
TEST_F(MainFrameHostTest, APulseLetsTheLoopTurnButHoldsTheHostsWorkUntilAfter)
{
    build();
    bool hostWork = false;
    bool otherWork = false;
    host->post([&] { hostWork = true; });
    QTimer::singleShot(0, [&] { otherWork = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // past the pulse's 20 ms pace
    ProgressPulse();
    EXPECT_TRUE(otherWork) << "the loop did not turn";
    EXPECT_FALSE(hostWork) << "the host's work ran inside the pulse";
    EXPECT_TRUE(QTest::qWaitFor([&] { return hostWork; }, 5000)) << "the host's work never ran";
}
