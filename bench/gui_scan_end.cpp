// How long the event loop stops when a 700000-point, two-input scan ends on
// the simulated instrument: judgement, views, save and automatic export run
// on the window's thread. A 1 ms timer measures the longest gap between its
// ticks from the end of the scan thread until the files are written, once with the
// event-loop turns that saving and exporting give (as the program runs) and
// once without them (as it ran before), in the same run.
#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ProgressPulse.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/ScanThread.h"
#include "app/acquisition/tests/ScanThreadTestSupport.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/shell/MainFrameControl.h"
#include "app/base/ScriptedUserInteraction.h"
#include "app/shell/gui/CMainFrame.h"
#include "app/shell/gui/MainFrameHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace ScanTest;

namespace {

struct Gaps
{
    double longestMs = 0;
    double scanEndToSavedMs = 0;
    bool ok = false;
};

Gaps measure(bool pulses, const fs::path& folder)
{
    Gaps result;
    auto config = instrumentConfig();
    config.speedFactor = 40.0;
    config.fifoRecords = 1 << 18;
    auto instrument = plugInstrument(config);
    CommandLineSwitches switches;
    ScriptedUserInteraction ui;
    ScanConfigurationStore store(ui, switches);
    CScanConfiguration& c = store.scanConfiguration();
    c.Input1Mode = c.Input2Mode = "Accelerometer";
    c.UseInput1 = c.UseInput2 = 1;
    c.NoOfSamples = 700000;
    c.SampleInterval = 0.000048;
    c.ScanMode = 0;
    c.NoOfAverages = 1;
    store.defaultSettings().ZeroAndStabilise = 0;
    store.defaultSettings().FilePath = folder.string() + "/";
    store.defaultSettings().ExportMultiASCII = 1;
    {
        CMainFrame frame;
        MainFrameHost host(frame, ui, store, switches);
        if (!pulses) ClearProgressPulse();
        frame.resize(1200, 800);
        frame.show();

        QElapsedTimer clock;
        clock.start();
        // The scan thread's end, seen from a thread of its own: the window's
        // thread may be busy exactly then.
        std::atomic<qint64> threadEnded{-1};
        std::atomic<bool> watching{true};
        std::thread watcher([&] {
            bool seen = false;
            while (watching.load() && threadEnded.load() < 0) {
                if (scanThreadActive.load()) seen = true;
                else if (seen) threadEnded = clock.nsecsElapsed();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        // Every gap between ticks, as (end, length).
        std::vector<std::pair<qint64, qint64>> gaps;
        qint64 last = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            gaps.emplace_back(now, now - last);
            last = now;
        });
        last = clock.nsecsElapsed();
        tick.start(1);
        frame.action(CMainFrame::ID_RUN)->trigger();
        QElapsedTimer limit;
        limit.start();
        while (limit.elapsed() < 120000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            CCorvelDoc* doc = host.control().scanDocument();
            if (!scanRequested.load() && !scanThreadActive.load() && doc && !doc->pathName().empty()) {
                result.ok = doc->scan.input1.samplesAcquired == 700000;
                break;
            }
        }
        const qint64 done = clock.nsecsElapsed();
        tick.stop();
        watching = false;
        watcher.join();
        const qint64 ended = threadEnded.load();
        if (ended < 0) result.ok = false;
        result.scanEndToSavedMs = (done - ended) / 1e6;
        // The gaps that end after the scan thread did (the one that holds its end included).
        for (const auto& [end, length] : gaps)
            if (end > ended) result.longestMs = std::max(result.longestMs, length / 1e6);
        result.longestMs = std::max(result.longestMs, (done - std::max(last, ended)) / 1e6);
    }
    WaitForScanThreadExit();
    CloseDevice();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const fs::path folder = fs::temp_directory_path() / "bench-scan-end";
    fs::create_directories(folder);
    const Gaps without = measure(false, folder);
    const Gaps with = measure(true, folder);
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!without.ok || !with.ok) {
        std::printf("the scan did not complete with 700000 samples\n");
        return 1;
    }
    std::printf("scan end to files written: %.0f ms without event-loop turns, %.0f ms with\n",
                without.scanEndToSavedMs, with.scanEndToSavedMs);
    std::printf("longest event-loop gap: %.0f ms without turns, %.0f ms with, ratio %.2f\n", without.longestMs,
                with.longestMs, with.longestMs / without.longestMs);
    return 0;
}
