#include "app/acquisition/tests/ScanThreadTestSupport.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanThread.h"
#include "app/acquisition/Spectrum.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/base/ScriptedUserInteraction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <mutex>
#include <sys/resource.h>
#include <vector>

using namespace ScanTest;
using Kind = QueuedScanEvents::Notice::Kind;

namespace {

// Records the thread's notices. Calls come on the scan thread; an optional
// hook runs right after each acquisition's processing (at the timer arm),
// while the thread waits for it.
class RecordingEvents : public ScanEvents
{
public:
    std::function<void()> afterAcquisition;
    std::function<void(const std::string&)> onSave;

    void dataReady() override { add({Kind::DataReady, {}, 0, false}); }
    void scanComplete(bool failed) override { add({Kind::ScanComplete, {}, 0, failed}); }
    void saveRun(const std::string& name) override
    {
        add({Kind::SaveRun, name, 0, false});
        if (onSave) onSave(name);
    }
    void armGraphTimer(unsigned period) override
    {
        add({Kind::ArmGraphTimer, {}, period, false});
        if (afterAcquisition) afterAcquisition();
    }
    void killGraphTimer() override { add({Kind::KillGraphTimer, {}, 0, false}); }

    std::vector<QueuedScanEvents::Notice> notices() const
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return notices_;
    }
    bool completed() const
    {
        for (const auto& n : notices())
            if (n.kind == Kind::ScanComplete) return true;
        return false;
    }
    bool failed() const
    {
        for (const auto& n : notices())
            if (n.kind == Kind::ScanComplete) return n.instrumentFailed;
        return false;
    }
    int count(Kind kind) const
    {
        int n = 0;
        for (const auto& notice : notices())
            n += notice.kind == kind;
        return n;
    }

private:
    void add(QueuedScanEvents::Notice notice)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        notices_.push_back(std::move(notice));
    }
    mutable std::mutex mutex_;
    std::vector<QueuedScanEvents::Notice> notices_;
};

std::vector<double> copySeries(MappedSeries& series, int count)
{
    std::vector<double> values(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        values[static_cast<std::size_t>(i)] = series.get(static_cast<std::uint32_t>(i));
    return values;
}

class ScanThreadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        store = std::make_unique<ScanConfigurationStore>(ui, CommandLineSwitches{});
        CScanConfiguration& c = store->scanConfiguration();
        c.Input1Mode = c.Input2Mode = "Accelerometer";
        c.SampleInterval = 0.001;
        c.NoOfSamples = 2000;
        c.NoOfAverages = 1;
        c.UseInput2 = 1;
        store->defaultSettings().FFTWindowing = 0;
        store->defaultSettings().FFTK = 1;
    }

    void TearDown() override
    {
        scanRequested = false;
        WaitForScanThreadExit();
        RunScan(false, 0);
        CloseDevice();
    }

    // Sends the set-up the main window would send, then starts the scan.
    void start(CCorvelDoc& doc)
    {
        const CScanConfiguration& c = store->scanConfiguration();
        TurnSensorOn(1, c.UseInput1 != 0);
        TurnSensorOn(2, c.UseInput2 != 0);
        SetSensorGain(1, c.Input1SensorGain == 10 ? 2 : 1);
        SetSensorGain(2, c.Input2SensorGain == 10 ? 2 : 1);
        scanRequested = true;
        ASSERT_TRUE(StartScan(doc, events, *store, ui, saveWait));
    }

    void waitForCompletion()
    {
        ASSERT_TRUE(waitFor([&] { return events.completed(); })) << "the scan never completed";
        WaitForScanThreadExit();
        EXPECT_FALSE(scanThreadActive.load());
    }

    void runToCompletion(CCorvelDoc& doc)
    {
        start(doc);
        waitForCompletion();
    }

    ScriptedUserInteraction ui;
    std::unique_ptr<ScanConfigurationStore> store;
    RecordingEvents events;
    std::chrono::milliseconds saveWait{std::chrono::seconds(60)};
};

} // namespace

TEST(ScanThreadRules, GraphTimerPeriodFollowsTheInterval)
{
    EXPECT_EQ(GraphTimerPeriodMs(0.001), 2000u);
    EXPECT_EQ(GraphTimerPeriodMs(1.0), 2000u);
    EXPECT_EQ(GraphTimerPeriodMs(2.0), 2000u) << "only intervals longer than 2 s stretch the period";
    EXPECT_EQ(GraphTimerPeriodMs(3.0), 4000u);
    EXPECT_EQ(GraphTimerPeriodMs(5.0004), 6000u);
}

TEST(ScanThreadRules, RunFileNamesReplaceTheExtension)
{
    EXPECT_EQ(RunFileName("/data/scan.ts6", 0), "/data/scan_0.ts6");
    EXPECT_EQ(RunFileName("/data/scan.ts6", 12), "/data/scan_12.ts6");
    EXPECT_EQ(RunFileName("/data/scan", 1), "/data/scan_1.ts6");
    EXPECT_EQ(RunFileName("/da.ta/scan.v1.ts6", 2), "/da.ta/scan.v1_2.ts6");
    EXPECT_LE(RunFileName(std::string(400, 'a') + ".ts6", 3).size(), 255u);
}

TEST(ScanThreadRules, ProgressTextPerMode)
{
    ScanProperties scan;
    scan.input1.samplesAcquired = 120;
    scan.input1.pointCount = 1000;
    scan.input1.averagesCompleted = 3;
    scan.configuration.NoOfAverages = 3;
    scan.configuration.NumberofRuns = 5;
    scan.configuration.ScanMode = ScanModes::Single;
    EXPECT_EQ(ScanProgressText(scan), "Sample 120 of 1000, Average 3 of 3") << "the average is capped";
    scan.configuration.ScanMode = ScanModes::Continuous;
    EXPECT_EQ(ScanProgressText(scan), "Sample 120");
    scan.configuration.ScanMode = ScanModes::Multiple;
    EXPECT_EQ(ScanProgressText(scan), "Sample 120 of 1000, Run 4 of 5");
    scan.input1.averagesCompleted = 5;
    EXPECT_EQ(ScanProgressText(scan), "Sample 120 of 1000, Run 5 of 5");
}

// Three acquisitions of different data (the gain changes in between): the
// spectra end as the mean of the three, and so do the averaged time records.
TEST_F(ScanThreadTest, AveragesAreTheMeanOfTheAcquisitions)
{
    plugInstrument();
    store->scanConfiguration().NoOfAverages = 3;
    store->defaultSettings().UpdateGraphs = 0;
    CCorvelDoc doc(store->scanConfiguration(), store->defaultSettings());

    std::vector<std::vector<double>> times, records, spectra;
    events.afterAcquisition = [&] {
        {
            FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
            ScanData& d = doc.scan.input1;
            times.push_back(copySeries(d.timeAxis, d.samplesAcquired));
            records.push_back(copySeries(d.timeData[0], d.samplesAcquired));
            spectra.push_back(copySeries(d.spectrum[0], d.spectrumPointCount));
        }
        // The next acquisition sees ten times the signal (the thread still divides by gain 1).
        SetSensorGain(1, times.size() == 1 ? 2 : 1);
    };
    runToCompletion(doc);

    ASSERT_EQ(records.size(), 3u);
    ScanData& d = doc.scan.input1;
    EXPECT_EQ(d.averagesCompleted, 3);
    EXPECT_EQ(d.samplesAcquired, 2000) << "every sample of the record is kept";
    EXPECT_EQ(d.spectrumPointCount, 1024);
    // Peaks, not one sample: the sine's phase differs from one acquisition to the next.
    auto peak = [](const std::vector<double>& r) {
        double m = 0.0;
        for (double x : r)
            m = std::max(m, std::abs(x));
        return m;
    };
    EXPECT_GT(peak(records[1]), 5.0 * peak(records[0]));

    // Each acquisition's own spectrum, computed independently of the thread.
    std::vector<double> mean(1024, 0.0);
    for (std::size_t a = 0; a < 3; ++a) {
        MappedSeries t, v, f, s;
        t.open(), v.open(), f.open(), s.open();
        for (std::size_t i = 0; i < records[a].size(); ++i) {
            t[static_cast<std::uint32_t>(i)] = times[a][i];
            v[static_cast<std::uint32_t>(i)] = records[a][i];
        }
        int count = static_cast<int>(records[a].size());
        ComputeSpectrum(t, v, 1, true, 0, 0, f, s, count);
        ASSERT_EQ(count, 1024);
        for (std::uint32_t k = 0; k < 1024; ++k)
            mean[k] += s.get(k) / 3.0;
    }
    for (std::uint32_t k = 0; k < 1024; ++k)
        ASSERT_NEAR(d.spectrum[0].get(k), mean[k], 1e-9 * (1.0 + mean[k])) << "bin " << k;
    for (std::uint32_t i = 0; i < 2000; i += 97)
        ASSERT_NEAR(d.averagedRecord(0).get(i), (records[0][i] + records[1][i] + records[2][i]) / 3.0,
                    1e-9);
    // Three records: the mean is held apart from the last record.
    EXPECT_TRUE(d.holdsAveragedRecord);
    EXPECT_EQ(&d.averagedRecord(0), &d.averagedTimeData[0]);

    // With graph updates off the timer is killed first; each acquisition
    // kills it while reading and arms it when its data is ready.
    const auto n = events.notices();
    ASSERT_EQ(n.size(), 10u);
    EXPECT_EQ(n[0].kind, Kind::KillGraphTimer);
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(n[1 + 2 * a].kind, Kind::KillGraphTimer);
        EXPECT_EQ(n[2 + 2 * a].kind, Kind::ArmGraphTimer);
        EXPECT_EQ(n[2 + 2 * a].periodMs, 2000u);
    }
    EXPECT_EQ(n[7].kind, Kind::DataReady);
    EXPECT_EQ(n[8].kind, Kind::ScanComplete);
    EXPECT_FALSE(n[8].instrumentFailed);
    EXPECT_EQ(n[9].kind, Kind::KillGraphTimer);
    EXPECT_EQ(doc.dataReady.load(), 1);
}

TEST_F(ScanThreadTest, GraphUpdatesOnKeepTheTimerRunningAtTheStart)
{
    plugInstrument();
    store->scanConfiguration().NoOfSamples = 200;
    CCorvelDoc doc(store->scanConfiguration(), store->defaultSettings());
    runToCompletion(doc);
    const auto n = events.notices();
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(n[0].kind, Kind::KillGraphTimer) << "only the reading kills it";
    EXPECT_EQ(events.count(Kind::KillGraphTimer), 2);
    EXPECT_EQ(events.count(Kind::ArmGraphTimer), 1);
}

// Gain 10 on both inputs, both magnetometers in differential mode: input 1
// holds its own volts divided by the gain, input 2 the difference.
TEST_F(ScanThreadTest, DifferentialModeStoresInputTwoMinusInputOne)
{
    auto config = instrumentConfig();
    for (int channel = 0; channel < 6; ++channel) {
        config.channels[channel] = {};
        config.channels[channel].dc = channel < 3 ? 0.2 + 0.1 * channel : 0.7 + 0.05 * channel;
    }
    plugInstrument(config);
    CScanConfiguration& c = store->scanConfiguration();
    c.Input1Mode = c.Input2Mode = "Magnetometer";
    c.DiffGrad = 1;
    c.Input1SensorGain = c.Input2SensorGain = 10;
    c.NoOfSamples = 400;
    CCorvelDoc doc(c, store->defaultSettings());
    runToCompletion(doc);

    ScanData& one = doc.scan.input1;
    ScanData& two = doc.scan.input2;
    ASSERT_EQ(one.samplesAcquired, 400);
    ASSERT_EQ(two.samplesAcquired, 400);
    for (int axis = 0; axis < 3; ++axis) {
        const double v1 = 0.2 + 0.1 * axis;
        const double v2 = 0.7 + 0.05 * (axis + 3);
        for (std::uint32_t i = 0; i < 400; i += 37) {
            EXPECT_NEAR(one.timeData[static_cast<std::size_t>(axis)].get(i), v1, 1e-4);
            EXPECT_NEAR(two.timeData[static_cast<std::size_t>(axis)].get(i), v2 - v1, 1e-4);
        }
    }
    // One record: its mean is the record itself, and no copy of it was written.
    for (ScanData* d : {&one, &two}) {
        EXPECT_FALSE(d->holdsAveragedRecord);
        for (std::size_t axis = 0; axis < 3; ++axis) {
            EXPECT_EQ(&d->averagedRecord(axis), &d->timeData[axis]);
            EXPECT_EQ(d->averagedTimeData[axis].highWaterCount(), 0u);
        }
    }
}

// A continuous scan (one averaged point per interval) runs until it is no
// longer requested; what it read is kept in full and its spectra are
// computed once.
TEST_F(ScanThreadTest, StoppingAContinuousScanKeepsEverySample)
{
    plugInstrument();
    CScanConfiguration& c = store->scanConfiguration();
    c.ScanMode = ScanModes::Continuous;
    c.NoOfSamples = 1000;
    CCorvelDoc doc(c, store->defaultSettings());
    start(doc);
    {
        FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
        EXPECT_EQ(doc.scan.input1.pointCount, 1000);
    }
    ASSERT_TRUE(waitFor([&] {
        FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
        return doc.scan.input1.samplesAcquired >= 6;
    }));
    {
        FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
        scanRequested = false;
    }
    waitForCompletion();
    RunScan(false, 0);

    ScanData& d = doc.scan.input1;
    EXPECT_FALSE(events.failed()) << "a stop is not an instrument failure";
    EXPECT_EQ(d.pointCount, d.samplesAcquired);
    EXPECT_EQ(doc.scan.input2.pointCount, doc.scan.input2.samplesAcquired);
    EXPECT_EQ(d.averagesCompleted, 1);
    EXPECT_EQ(d.spectrumPointCount, 1024);
    EXPECT_EQ(events.count(Kind::ArmGraphTimer), 1) << "spectra computed once";
    // No rows lost: the times advance by one (effective) interval each.
    ASSERT_GE(d.samplesAcquired, 6);
    const double step = d.timeAxis.get(1) - d.timeAxis.get(0);
    EXPECT_NEAR(step, 0.001, 2e-5);
    for (std::uint32_t i = 1; i < static_cast<std::uint32_t>(d.samplesAcquired); ++i)
        ASSERT_NEAR(d.timeAxis.get(i) - d.timeAxis.get(i - 1), step, 1e-9) << "row " << i;
}

TEST_F(ScanThreadTest, MultipleRunsAreHandedOverOneByOne)
{
    plugInstrument();
    CScanConfiguration& c = multipleRuns(store->scanConfiguration(), 3);
    c.NoOfSamples = 300;
    c.FileName = scratchFolder() + "/scan.ts6";
    CCorvelDoc doc(c, store->defaultSettings());
    std::vector<int> runIndexes;
    std::vector<int> samples;
    events.onSave = [&](const std::string&) {
        EXPECT_TRUE(doc.scan.savePending.load());
        EXPECT_FALSE(doc.scan.runAcquiring.load());
        {
            FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
            runIndexes.push_back(doc.scan.input1.averagesCompleted);
            samples.push_back(doc.scan.input1.samplesAcquired);
        }
        doc.scan.savePending = false;
    };
    runToCompletion(doc);

    std::vector<std::string> names;
    for (const auto& n : events.notices())
        if (n.kind == Kind::SaveRun) names.push_back(n.fileName);
    const std::string folder = scratchFolder();
    EXPECT_EQ(names, (std::vector<std::string>{folder + "/scan_0.ts6", folder + "/scan_1.ts6",
                                               folder + "/scan_2.ts6"}));
    EXPECT_EQ(runIndexes, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(samples, (std::vector<int>{300, 300, 300}));
    EXPECT_EQ(doc.scan.input1.spectrumPointCount, 1024);
    EXPECT_FALSE(events.failed());
}

// Nobody saves: each run gives up waiting after the bound and the scan still ends.
TEST_F(ScanThreadTest, AnUnansweredSaveDoesNotHangTheScan)
{
    plugInstrument();
    CScanConfiguration& c = multipleRuns(store->scanConfiguration(), 2);
    c.NoOfSamples = 200;
    c.FileName = scratchFolder() + "/lost.ts6";
    saveWait = std::chrono::milliseconds(300);
    CCorvelDoc doc(c, store->defaultSettings());
    runToCompletion(doc);
    EXPECT_EQ(events.count(Kind::SaveRun), 2);
    EXPECT_FALSE(doc.scan.savePending.load());
}

// The instrument disappears part-way: the scan ends, says why, and keeps
// what it had read.
TEST_F(ScanThreadTest, AnInstrumentLostMidScanEndsTheScanAsAFailure)
{
    auto config = instrumentConfig();
    config.unplugAfterBytes = 24 * 3000;
    plugInstrument(config);
    CScanConfiguration& c = store->scanConfiguration();
    c.NoOfSamples = 20000;
    c.NoOfAverages = 3;
    CCorvelDoc doc(c, store->defaultSettings());
    runToCompletion(doc);
    EXPECT_TRUE(events.failed());
    ScanData& d = doc.scan.input1;
    EXPECT_GT(d.samplesAcquired, 0);
    EXPECT_LT(d.samplesAcquired, 20000);
    EXPECT_EQ(d.averagesCompleted, 1) << "no further acquisition is attempted";
}

// No samples asked for must not turn into an open-ended continuous scan.
TEST_F(ScanThreadTest, ASingleScanOfNoSamplesStillEnds)
{
    plugInstrument();
    store->scanConfiguration().NoOfSamples = 0;
    CCorvelDoc doc(store->scanConfiguration(), store->defaultSettings());
    runToCompletion(doc);
    EXPECT_FALSE(events.failed());
    EXPECT_LE(doc.scan.input1.samplesAcquired, 1);
}

// The driver cannot allocate the scan's buffers: the scan fails with the
// driver's reason instead of reading stale points. The address space is
// capped just above what the process uses, so nothing big is ever allocated.
TEST_F(ScanThreadTest, ADriverThatCannotAllocateFailsTheScan)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve the address space this test caps";
#else
    plugInstrument();
    CScanConfiguration& c = store->scanConfiguration();
    c.NoOfSamples = 40000000; // 2.2 GB of driver buffers
    CCorvelDoc doc(c, store->defaultSettings());

    std::ifstream status("/proc/self/status");
    std::string line;
    unsigned long long vmKb = 0;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0) vmKb = std::stoull(line.substr(7));
    ASSERT_GT(vmKb, 0u);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit capped = saved;
    capped.rlim_cur = (vmKb << 10) + (512ull << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    start(doc);
    const bool completed = waitFor([&] { return events.completed(); });
    setrlimit(RLIMIT_AS, &saved);
    ASSERT_TRUE(completed);
    WaitForScanThreadExit();
    EXPECT_TRUE(events.failed());
    FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
    EXPECT_EQ(doc.scan.setupFailure.rfind("RunScan", 0), 0u) << doc.scan.setupFailure;
    EXPECT_EQ(doc.scan.input1.samplesAcquired, 0) << "no stale points";
#endif
}

// An interval whose divider does not fit 16 bits is still the interval measured,
// with time stamps from the real rate, whether or not averaging was asked for.
TEST_F(ScanThreadTest, SlowIntervalsAreMeasuredAtTheirOwnRate)
{
    auto config = instrumentConfig();
    config.speedFactor = 4000.0;
    plugInstrument(config);
    CScanConfiguration& c = store->scanConfiguration();
    c.SampleInterval = 5.0;
    c.NoOfSamples = 3;
    for (int oversample : {0, 1}) {
        c.Oversample = oversample;
        CCorvelDoc doc(c, store->defaultSettings());
        start(doc);
        ASSERT_TRUE(waitFor([&] { return events.count(Kind::ScanComplete) == oversample + 1; }));
        WaitForScanThreadExit();
        EXPECT_FALSE(events.failed());
        FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
        const ScanData& d = doc.scan.input1;
        ASSERT_EQ(d.samplesAcquired, 3) << "oversample " << oversample;
        EXPECT_TRUE(doc.scan.setupFailure.empty()) << doc.scan.setupFailure;
        // Averaging clocks the instrument at 20833/21 Hz and averages trunc(1000/rate)
        // samples, so its intervals run up to 0.8 % long; the time stamps say so.
        const double tolerance = oversample ? 0.05 : 1e-3;
        for (std::uint32_t i = 1; i < 3; ++i)
            EXPECT_NEAR(d.timeAxis.get(i) - d.timeAxis.get(i - 1), 5.0, tolerance)
                << "oversample " << oversample;
    }
}

// A set-up call the instrument refuses stops the scan before it reads anything.
TEST_F(ScanThreadTest, ARefusedRateStopsTheScanAndSaysWhich)
{
    auto instrument = plugInstrument();
    FenmarlUsb::InstrumentFault fault;
    fault.request = 0xA4;
    instrument->setFaults({fault});
    instrument->clearControlRequests();
    CCorvelDoc doc(store->scanConfiguration(), store->defaultSettings());
    runToCompletion(doc);
    FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
    EXPECT_EQ(doc.scan.setupFailure.rfind("SetMeasurementRate failed: ", 0), 0u) << doc.scan.setupFailure;
    EXPECT_EQ(doc.scan.input1.samplesAcquired, 0);
    for (const auto& r : instrument->controlRequests())
        EXPECT_NE(r.request, 0xA5) << "sampling never started";
}

TEST_F(ScanThreadTest, SamplesTheInstrumentLostAreAddedUpOverTheAverages)
{
    auto config = instrumentConfig();
    config.fifoRecords = 1;
    config.speedFactor = 50.0;
    plugInstrument(config);
    store->scanConfiguration().SampleInterval = 0.0001;
    store->scanConfiguration().NoOfAverages = 2;
    CCorvelDoc doc(store->scanConfiguration(), store->defaultSettings());
    long long afterFirst = -1;
    events.afterAcquisition = [&] {
        if (afterFirst < 0) {
            FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
            afterFirst = doc.scan.lostSamples;
        }
    };
    runToCompletion(doc);
    FenmarlCommonDLL::ThreadLocker hold(&ScanDataLock(), true);
    EXPECT_GT(afterFirst, 0);
    EXPECT_GT(doc.scan.lostSamples, afterFirst) << "the second acquisition lost samples of its own";
}
