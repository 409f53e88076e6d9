#include "app/acquisition/ScanThread.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/ScanEvents.h"
#include "app/acquisition/ScanProperties.h"
#include "app/acquisition/Spectrum.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/base/AppLog.h"
#include "app/acquisition/InstrumentSetup.h"
#include "app/base/UserInteraction.h"
#include "app/specification/SpecificationTest.h"
#include "common/platform/Hooks.h"
#include "driver/Torvane.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

using FenmarlCommonDLL::ThreadLocker;
using FenmarlCommonDLL::platform::outputDebugString;

namespace {

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool readScanRequested()
{
    ThreadLocker hold(&ScanDataLock(), true);
    return scanRequested.load();
}

// What the thread takes from the configuration store once, before scanning.
struct StoreValues
{
    double microphone[2] = {0.05, 0.05};
    double gain[2] = {1.0, 1.0};
    int unit[2] = {0, 0};
    int fftK = 2;
    int fftOverlap = 1;
    int fftWindowing = 3;
    int updateGraphs = 1;
    unsigned timerPeriod = 2000;
};

StoreValues readStore(ScanConfigurationStore& store)
{
    ThreadLocker hold(&ScanDataLock(), true);
    const CScanConfiguration& c = store.scanConfiguration();
    const DefaultSettings& d = store.defaultSettings();
    StoreValues v;
    v.microphone[0] = d.Input1MicrophoneScaling;
    v.microphone[1] = d.Input2MicrophoneScaling;
    // A gain of 0 would turn every sample into infinity.
    v.gain[0] = c.Input1SensorGain > 0 ? c.Input1SensorGain : 1;
    v.gain[1] = c.Input2SensorGain > 0 ? c.Input2SensorGain : 1;
    v.unit[0] = d.Input1Scaling;
    v.unit[1] = d.Input2Scaling;
    v.fftK = d.FFTK;
    v.fftOverlap = d.FFTOverlap;
    v.fftWindowing = d.FFTWindowing;
    v.updateGraphs = d.UpdateGraphs;
    v.timerPeriod = GraphTimerPeriodMs(c.SampleInterval);
    return v;
}

// The per-group read buffers: time and X, Y, Z.
struct ReadBuffers
{
    std::vector<double> time[2];
    std::vector<double> axis[2][3];

    ReadBuffers()
    {
        for (int g = 0; g < 2; ++g) {
            time[g].assign(kScanChunkPoints, 0.0);
            for (auto& a : axis[g])
                a.assign(kScanChunkPoints, 0.0);
        }
    }
};

struct ReadPacing
{
    int afterInput1Copy; // ms
    int perLoop;         // ms
    bool continuous;
};

struct ReadResult
{
    bool instrumentStopped = false; // the instrument ended the acquisition by itself
    bool stillRequested = true;     // scanRequested at the last check
    std::string storageFailure;     // the data could not be stored: why
};

std::string storageFailureText(int error)
{
    return "The scan's temporary storage in " + MappedSeries::temporaryFolder() + " could not grow (" +
           std::strerror(error != 0 ? error : ENOSPC) + ").";
}

// Room for rows [0, end) in every series a scan writes, before they are
// written: storage that cannot grow ends the scan instead of the program.
std::string reserveRows(ScanData& data, std::uint64_t end)
{
    if (end == 0 || data.allocatedAxes() < 3) return {};
    std::vector<MappedSeries*> series{&data.timeAxis};
    for (MappedSeries& s : data.timeData)
        series.push_back(&s);
    if (data.holdsAveragedRecord)
        for (MappedSeries& s : data.averagedTimeData)
            series.push_back(&s);
    for (MappedSeries* s : series)
        if (!s->reserve(end)) return storageFailureText(s->growthError());
    return {};
}

// Records the first reason the thread ended a scan early.
void recordFailure(ScanProperties& scan, const std::string& reason)
{
    ThreadLocker hold(&ScanDataLock(), true);
    if (scan.failureReason.empty()) scan.failureReason = reason;
}

// Runs one analysis step; storage that cannot grow fails the scan, keeping
// what was acquired.
template <typename Step> bool guarded(ScanProperties& scan, Step step)
{
    try {
        step();
        return true;
    } catch (const std::bad_alloc&) {
        recordFailure(scan, "There was not enough memory or temporary storage in " +
                                MappedSeries::temporaryFolder() + " to analyse the scan.");
        return false;
    }
}

void copyRows(ScanData& data, const ReadBuffers& buffers, int group, int start, int rows,
              const ReadBuffers* subtract, int subtractRows)
{
    if (rows <= 0 || data.allocatedAxes() < 3) return;
    const auto first = static_cast<std::uint32_t>(start);
    const auto count = static_cast<std::uint32_t>(rows);
    std::copy_n(buffers.time[group].data(), rows, data.timeAxis.span(first, count));
    for (int a = 0; a < 3; ++a) {
        double* out = data.timeData[static_cast<std::size_t>(a)].span(first, count);
        const double* in = buffers.axis[group][a].data();
        if (subtract) {
            const double* minus = subtract->axis[0][a].data();
            for (int r = 0; r < rows; ++r)
                out[r] = in[r] - (r < subtractRows ? minus[r] : 0.0);
        } else {
            std::copy_n(in, rows, out);
        }
    }
}

// Reads the samples of one acquisition while the instrument delivers them.
ReadResult readAcquisition(ScanProperties& scan, const StoreValues& v, bool differential, int filter,
                           const ReadPacing& pacing, bool requested)
{
    ReadResult result;
    result.stillRequested = requested;
    ReadBuffers buffers;
    int start = 0;
    bool stopped = false;
    while (result.stillRequested) {
        int available;
        {
            ThreadLocker hold(&ScanDataLock(), true);
            available = GetCurrentNumberOfPoints();
        }
        const int end = std::min(start + kScanChunkPoints, std::max(available, 0));
        if (end > start) {
            int ends[2];
            for (int g = 0; g < 2; ++g) {
                int count = end - start;
                AxisArrays xyz{buffers.axis[g][0].data(), buffers.axis[g][1].data(),
                               buffers.axis[g][2].data()};
                {
                    ThreadLocker hold(&ScanDataLock(), true);
                    if (GetMeasurement(g + 1, start, &count, buffers.time[g].data(), &xyz, filter) != 0)
                        count = 0;
                }
                ends[g] = start + std::clamp(count, 0, end - start);
                if (g == 0) sleepMs(50);
            }
            for (int g = 0; g < 2; ++g)
                for (auto& axis : buffers.axis[g])
                    for (int r = 0; r < end - start; ++r)
                        axis[static_cast<std::size_t>(r)] /= v.gain[g];
            {
                ThreadLocker hold(&ScanDataLock(), true);
                result.storageFailure = reserveRows(scan.input1, static_cast<std::uint64_t>(ends[0]));
                if (result.storageFailure.empty())
                    result.storageFailure = reserveRows(scan.input2, static_cast<std::uint64_t>(ends[1]));
                if (!result.storageFailure.empty()) {
                    // The samples kept so far stay; the instrument stops.
                    RunScan(false, 0);
                    break;
                }
            }
            {
                ThreadLocker hold(&ScanDataLock(), true);
                copyRows(scan.input1, buffers, 0, start, ends[0] - start, nullptr, 0);
            }
            sleepMs(pacing.afterInput1Copy);
            {
                ThreadLocker hold(&ScanDataLock(), true);
                copyRows(scan.input2, buffers, 1, start, ends[1] - start, differential ? &buffers : nullptr,
                         ends[0] - start);
            }
            {
                ThreadLocker hold(&ScanDataLock(), true);
                scan.input1.samplesAcquired = ends[0];
                scan.input2.samplesAcquired = ends[1];
                if (pacing.continuous) {
                    scan.input1.pointCount = ends[0];
                    scan.input2.pointCount = ends[1];
                }
            }
            start = end;
        }
        if (stopped) {
            // Collecting what came in between the last count and the end.
            if (end <= start && start >= available) break;
            continue;
        }
        bool scanning;
        {
            ThreadLocker hold(&ScanDataLock(), true);
            scanning = IsScanning();
        }
        if (!scanning) {
            // Points may have arrived after the count above: one more pass
            // collects them instead of dropping the end of the record.
            stopped = true;
            result.instrumentStopped = true;
            continue;
        }
        if (pacing.continuous) sleepMs(500);
        result.stillRequested = readScanRequested();
        sleepMs(pacing.perLoop);
    }
    return result;
}

// Display conversion and spectrum of every axis of one input. The frequency
// axis is computed into scratch series and copied under the lock, so views
// never read a series while it is being regrown.
void computeSpectra(ScanData& data, const std::string& sensorType, const std::string& displayMode, int input,
                    const StoreValues& v, bool average)
{
    const bool microphone = SensorTypes::isMicrophone(sensorType);
    MappedSeries x;
    MappedSeries y[3];
    x.open();
    for (auto& series : y)
        series.open();
    // Only the samples the transform reads are converted, not the whole record.
    ConvertTimeForDisplay(data, displayMode, 0, microphone, microphone ? v.microphone[input] : 1.0, x,
                          {&y[0], &y[1], &y[2]},
                          static_cast<int>(SpectrumSamplesUsed(v.fftK, v.fftOverlap != 0)));
    int samples;
    int axes;
    {
        ThreadLocker hold(&ScanDataLock(), true);
        samples = data.samplesAcquired;
        axes = std::min(data.allocatedAxes(), 3);
    }
    int points = 0;
    for (int a = 0; a < axes; ++a) {
        MappedSeries frequency;
        MappedSeries spectrum;
        frequency.open();
        spectrum.open();
        int count = samples;
        ComputeSpectrum(x, y[a], v.fftK, v.fftOverlap != 0, v.fftWindowing, v.unit[input], frequency,
                        spectrum, count);
        ThreadLocker hold(&ScanDataLock(), true);
        const int n = std::max(data.averagesCompleted, 1);
        MappedSeries& out = data.spectrum[static_cast<std::size_t>(a)];
        for (std::uint32_t k = 0; k < static_cast<std::uint32_t>(count); ++k) {
            const double value = spectrum.get(k);
            out[k] = average ? ((n - 1) * out[k] + value) / n : value;
        }
        if (count > 0) data.frequencyAxis.copyFrom(frequency, frequency.highWaterCount());
        points = count;
    }
    ThreadLocker hold(&ScanDataLock(), true);
    data.spectrumPointCount = points;
}

void averageTimeRecords(ScanData& data, int a)
{
    // With one record the mean is the record: averagedRecord() gives timeData.
    if (!data.holdsAveragedRecord) return;
    const auto rows = static_cast<std::uint32_t>(std::max(data.samplesAcquired, 0));
    for (std::size_t axis = 0; axis < data.timeData.size() && axis < data.averagedTimeData.size(); ++axis) {
        MappedSeries& averaged = data.averagedTimeData[axis];
        MappedSeries& latest = data.timeData[axis];
        if (rows == 0) continue;
        double* out = averaged.span(0, rows);
        const double* in = latest.span(0, rows);
        for (std::uint32_t r = 0; r < rows; ++r)
            out[r] = (a * out[r] + in[r]) / (a + 1);
    }
}

// The scan's own settings, taken once: nothing else changes them while the
// thread runs (the views only write the pass/fail results).
struct ScanSetup
{
    int scanMode = ScanModes::Single;
    int samples = 0;
    int averages = 1;
    int runs = 0;
    int filter = 0;
    std::string mode[2];
    std::string displayMode[2];
    std::string fileName;
    bool differential = false;
    std::string failure; // the set-up call that failed, with the driver's text
};

ScanSetup programInstrument(ScanProperties& scan)
{
    ScanSetup setup;
    double interval;
    int oversample;
    int rollingPoints;
    {
        ThreadLocker hold(&ScanDataLock(), true);
        const CScanConfiguration& c = scan.configuration;
        setup.scanMode = c.ScanMode;
        setup.samples = c.NoOfSamples;
        setup.averages = c.NoOfAverages;
        setup.runs = c.NumberofRuns;
        setup.filter = c.Filter;
        for (int input = 0; input < 2; ++input) {
            setup.mode[input] = c.inputMode(input);
            setup.displayMode[input] = c.displayMode(input);
        }
        setup.fileName = c.FileName;
        setup.differential = c.UseInput2 != 0 && c.DiffGrad != 0 &&
                             SensorTypes::isMagnetometer(c.Input1Mode) &&
                             SensorTypes::isMagnetometer(c.Input2Mode);
        interval = c.SampleInterval > 0.0 ? c.SampleInterval : 0.001;
        oversample = c.Oversample;
        rollingPoints = c.CutOffFrequency;
    }
    // A refused rate would leave the instrument at whatever rate it had: the scan must not run.
    if (SetMeasurementRate(1.0 / interval, oversample != 0) != 0)
        setup.failure = DescribeDriverFailure("SetMeasurementRate");
    else if (setup.filter == 1 && SetLowpassFilterSize(rollingPoints) != 0)
        setup.failure = DescribeDriverFailure("SetLowpassFilterSize");
    return setup;
}

void recordSetupFailure(ScanProperties& scan, const std::string& failure)
{
    ThreadLocker hold(&ScanDataLock(), true);
    if (scan.setupFailure.empty()) scan.setupFailure = failure;
}

// RunScan for one acquisition; false (with the failure recorded) when the instrument refused it.
bool startAcquisition(ScanProperties& scan, int points)
{
    if (RunScan(true, points) == 0) return true;
    recordSetupFailure(scan, DescribeDriverFailure("RunScan"));
    return false;
}

// Adds what the driver counted as lost in the acquisition just read.
void addLostSamples(ScanProperties& scan)
{
    ThreadLocker hold(&ScanDataLock(), true);
    scan.lostSamples += std::max(GetLostSampleCount(), 0);
}

// The samples wanted were not all delivered although nobody stopped the scan.
bool acquisitionFailed(const ReadResult& read, ScanProperties& scan, bool continuous, int wanted)
{
    if (!read.instrumentStopped || !read.stillRequested) return false;
    if (continuous) return true;
    ThreadLocker hold(&ScanDataLock(), true);
    return scan.input1.samplesAcquired < wanted;
}

// What one record's acquisition came to: refused at the start, or read to its end (failed or not).
struct RecordOutcome
{
    bool started = false;
    bool failed = false;
};

RecordOutcome acquireRecord(ScanProperties& scan, const StoreValues& v, const ScanSetup& setup,
                            const ReadPacing& pacing, int points, bool continuous)
{
    if (!startAcquisition(scan, points)) return {false, true};
    scanThreadActive = true;
    sleepMs(10);
    const ReadResult read =
        readAcquisition(scan, v, setup.differential, setup.filter, pacing, readScanRequested());
    addLostSamples(scan);
    RecordOutcome outcome{true, acquisitionFailed(read, scan, continuous, setup.samples)};
    if (!read.storageFailure.empty()) {
        recordFailure(scan, read.storageFailure);
        outcome.failed = true;
    }
    return outcome;
}

// Both inputs' spectra of the record just read, averaged over the records so far
// or of this one alone; false when they could not be computed.
bool computeBothSpectra(ScanProperties& scan, const ScanSetup& setup, const StoreValues& v, bool averaged)
{
    return guarded(scan, [&] {
        computeSpectra(scan.input1, setup.mode[0], setup.displayMode[0], 0, v, averaged);
        computeSpectra(scan.input2, setup.mode[1], setup.displayMode[1], 1, v, averaged);
    });
}

// The views stop drawing while the thread rewrites the data sets, and start again after.
void holdViews(ScanThreadParams& params)
{
    params.events->killGraphTimer();
    params.dataReady->store(0);
}

void releaseViews(ScanThreadParams& params, const StoreValues& v)
{
    params.dataReady->store(1);
    params.events->armGraphTimer(v.timerPeriod);
}

// Before the first record: whether the mean is held apart, and a refused set-up kept for the report.
void prepareRecords(ScanProperties& scan, const ScanSetup& setup, bool averaged)
{
    {
        ThreadLocker hold(&ScanDataLock(), true);
        scan.input1.holdsAveragedRecord = scan.input2.holdsAveragedRecord = averaged;
    }
    if (!setup.failure.empty()) recordSetupFailure(scan, setup.failure);
}

void logFailure()
{
    LogToLogFile("Main Frame", "The instrument stopped delivering data before the scan was complete.",
                 LogError);
}

// Whether the loop goes on after a record: not once the scan was stopped, nor after a failure (logged).
bool goOn(bool requested, bool failed)
{
    if (!requested) return false;
    if (failed) {
        logFailure();
        return false;
    }
    return true;
}

void finishThread(ScanThreadParams* params, bool failed)
{
    scanThreadActive = false;
    params->events->dataReady();
    params->events->scanComplete(failed);
    params->events->killGraphTimer();
    delete params;
}

std::mutex threadSlotMutex;
std::thread threadSlot;

} // namespace

unsigned GraphTimerPeriodMs(double sampleInterval)
{
    if (sampleInterval * 1000.0 > 2000.0) return static_cast<unsigned>((sampleInterval + 1.0) * 1000.0 + 0.5);
    return 2000;
}

namespace {

std::string fullRunFileName(const std::string& fileName, int run)
{
    const std::size_t dot = fileName.rfind('.');
    std::string name = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    return name + "_" + std::to_string(run) + ".ts6";
}

} // namespace

std::string RunFileName(const std::string& fileName, int run)
{
    std::string name = fullRunFileName(fileName, run);
    if (name.size() > kMaxRunFileName) name.resize(kMaxRunFileName);
    return name;
}

bool RunFileNamesFit(const std::string& fileName, int runs)
{
    // The last run has the longest suffix.
    return fullRunFileName(fileName, std::max(runs - 1, 0)).size() <= kMaxRunFileName;
}

std::string ScanProgressText(const ScanProperties& scan)
{
    const CScanConfiguration& c = scan.configuration;
    const ScanData& d = scan.input1;
    char text[128];
    switch (c.ScanMode) {
    case ScanModes::Continuous:
        std::snprintf(text, sizeof text, "Sample %d", d.samplesAcquired);
        break;
    case ScanModes::Multiple:
        std::snprintf(text, sizeof text, "Sample %d of %d, Run %d of %d", d.samplesAcquired, d.pointCount,
                      std::min(d.averagesCompleted + 1, c.NumberofRuns), c.NumberofRuns);
        break;
    default:
        std::snprintf(text, sizeof text, "Sample %d of %d, Average %d of %d", d.samplesAcquired, d.pointCount,
                      std::min(c.NoOfAverages, d.averagesCompleted + 1), c.NoOfAverages);
        break;
    }
    return text;
}

void ScanThread(ScanThreadParams* params)
{
    outputDebugString("TS APP - Enter ScanThread");
    ScanProperties& scan = *params->scan;
    ScanEvents& events = *params->events;
    const StoreValues v = readStore(*params->store);
    if (v.updateGraphs == 0) events.killGraphTimer();

    outputDebugString("TS APP - ScanThread setting SetMeasurementRate");
    const ScanSetup setup = programInstrument(scan);
    outputDebugString("TS APP - ScanThread setting SetMeasurementRate - completed");
    const bool continuous = setup.scanMode == ScanModes::Continuous;
    const ReadPacing pacing{20, 100, continuous};

    outputDebugString("TS APP - ScanThread before for loop");
    // The mean is held apart only when there is more than one record to average.
    prepareRecords(scan, setup, setup.averages > 1);
    bool failed = false;
    for (int a = 0; a < std::max(setup.averages, 1) && setup.failure.empty(); ++a) {
        // A count of 0 or less would start the open-ended continuous mode.
        const RecordOutcome record = acquireRecord(
            scan, v, setup, pacing, continuous ? kContinuousPoints : std::max(setup.samples, 1), continuous);
        failed = record.failed;
        if (!record.started) break;
        holdViews(*params);
        guarded(scan, [&] {
            ThreadLocker hold(&ScanDataLock(), true);
            scan.input1.averagesCompleted = a + 1;
            scan.input2.averagesCompleted = a + 1;
            averageTimeRecords(scan.input1, a);
            averageTimeRecords(scan.input2, a);
        });
        if (!computeBothSpectra(scan, setup, v, true)) failed = true;
        const bool requested = scanRequested.load();
        releaseViews(*params, v);
        if (!goOn(requested, failed)) break;
    }
    finishThread(params, failed);
    outputDebugString("TS APP - Exit ScanThread");
}

void MultipleScanThread(ScanThreadParams* params)
{
    ScanProperties& scan = *params->scan;
    ScanEvents& events = *params->events;
    const StoreValues v = readStore(*params->store);
    const ScanSetup setup = programInstrument(scan);
    const ReadPacing pacing{50, 200, false};

    prepareRecords(scan, setup, false);
    bool failed = false;
    for (int r = 0; r < setup.runs && setup.failure.empty(); ++r) {
        if (v.updateGraphs == 0) events.killGraphTimer();
        {
            ThreadLocker hold(&ScanDataLock(), true);
            for (ScanData* d : {&scan.input1, &scan.input2}) {
                d->spectrumPointCount = 0;
                d->samplesAcquired = 0;
                d->averagesCompleted = r;
            }
        }
        scan.runAcquiring = true;
        const RecordOutcome record = acquireRecord(scan, v, setup, pacing, std::max(setup.samples, 1), false);
        scan.runAcquiring = false;
        failed = record.failed;
        if (!record.started) break;
        holdViews(*params);
        // No averaging across runs: each run's mean is its own time record
        // (averagedRecord()), so nothing is copied.
        if (!computeBothSpectra(scan, setup, v, false)) failed = true;

        const bool requested = scanRequested.load();
        const std::string name = RunFileName(setup.fileName, r);
        scan.savePending = true;
        events.saveRun(name);
        const auto deadline = std::chrono::steady_clock::now() + params->saveWaitLimit;
        while (scan.savePending.load()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                LogToLogFile("Main Frame", "Gave up waiting for the main window to save " + name + ".",
                             LogWarning);
                scan.savePending = false;
                break;
            }
            sleepMs(10);
        }
        releaseViews(*params, v);
        sleepMs(100);
        if (!goOn(requested, failed)) break;
    }
    scan.runAcquiring = false;
    finishThread(params, failed);
}

bool LaunchScanThread(ScanThreadParams* params)
{
    std::lock_guard<std::mutex> hold(threadSlotMutex);
    // The previous thread has posted its completion by now; collect it.
    if (threadSlot.joinable()) threadSlot.join();
    const bool multiple = params->scan->configuration.ScanMode == ScanModes::Multiple;
    try {
        threadSlot = std::thread(multiple ? MultipleScanThread : ScanThread, params);
    } catch (const std::system_error&) {
        delete params;
        return false;
    }
    return true;
}

void WaitForScanThreadExit()
{
    std::lock_guard<std::mutex> hold(threadSlotMutex);
    if (threadSlot.joinable()) threadSlot.join();
}

bool StartScan(CCorvelDoc& document, ScanEvents& events, ScanConfigurationStore& store, UserInteraction& ui,
               std::chrono::milliseconds saveWaitLimit)
{
    document.setModified(true);
    ScanProperties& scan = document.scan;
    {
        ThreadLocker hold(&ScanDataLock(), true);
        ResetSpecificationResults(scan.configuration.Specification);
        scan.setupFailure.clear();
        scan.lostSamples = 0;
        document.scanActive = 1;
        scan.acquisitionTime = FenmarlCommonDLL::getLocalTime();
        const int points = scan.configuration.ScanMode == ScanModes::Continuous ? 1000 : scan.configuration.NoOfSamples;
        for (ScanData* data : {&scan.input1, &scan.input2}) {
            data->pointCount = std::max(points, 0);
            data->axisCount = ScanData::kAxes;
            data->allocate();
        }
    }
    auto* params = new ScanThreadParams;
    params->scan = &scan;
    params->events = &events;
    params->dataReady = &document.dataReady;
    params->store = &store;
    params->saveWaitLimit = saveWaitLimit;
    if (!LaunchScanThread(params)) {
        ui.messageBox("Cannot start scan thread", "Error",
                      FenmarlCommonDLL::platform::MB_OK_ | FenmarlCommonDLL::platform::MB_ICONERROR_);
        return false;
    }
    return true;
}
