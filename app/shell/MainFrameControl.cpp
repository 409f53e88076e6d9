#include "app/shell/MainFrameControl.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/DataExport.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/ScanThread.h"
#include "app/acquisition/SystemTime.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/base/AppLog.h"
#include "app/shell/FrameServices.h"
#include "app/shell/InstrumentDetection.h"
#include "app/acquisition/InstrumentSetup.h"
#include "app/base/UserInteraction.h"
#include "app/acquisition/SpecificationEvaluation.h"
#include "common/platform/PrivateProfile.h"
#include "driver/Torvane.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using FenmarlCommonDLL::ThreadLocker;
using namespace FenmarlCommonDLL::platform;
namespace fs = std::filesystem;

namespace {

void log(const std::string& message, int type = LogInformation)
{
    LogToLogFile(MainFrameControl::kSource, message, type);
}

bool endsWithSeparator(const std::string& path)
{
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

fs::path directoryOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? fs::path(".") : fs::path(path.substr(0, slash == 0 ? 1 : slash));
}

// No write permission at all (the read-only attribute), or none for us.
bool directoryIsReadOnly(const fs::path& directory)
{
    std::error_code ec;
    const fs::perms perms = fs::status(directory, ec).permissions();
    if (ec) return true;
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (perms & write) == fs::perms::none || ::access(directory.c_str(), W_OK) != 0;
}

} // namespace

MainFrameControl::MainFrameControl(UserInteraction& ui, FrameServices& frame, ScanEvents& events,
                                   ScanConfigurationStore& store, const CommandLineSwitches& switches)
    : ui_(ui), frame_(frame), events_(events), store_(store), switches_(switches)
{
    if (switches_.silentMode && switches_.isOutputFolderSet()) scanFolder_ = switches_.outputFolder;
}

MainFrameControl::~MainFrameControl()
{
    {
        ThreadLocker hold(&ScanDataLock(), true);
        scanRequested = false;
    }
    // A multiple scan may wait for a save nobody will do any more.
    if (scanDocument_) scanDocument_->scan.savePending = false;
    WaitForScanThreadExit();
    {
        ThreadLocker hold(&ScanDataLock(), true);
        if (IsScanning()) RunScan(false, 0);
    }
    CloseDevice();
}

CommandRules::Facts MainFrameControl::commandFacts() const
{
    CommandRules::Facts facts;
    facts.control = true;
    facts.instrumentOpen = IsDeviceOpen();
    // A scan counts from the Run command on, before its thread is up.
    facts.scanActive = scanThreadActive.load() || scanRequested.load();
    facts.stopEnabled = stopEnabled_;
    return facts;
}

bool MainFrameControl::canDetect() const
{
    return CommandRules::Enabled(CommandRules::Id::DetectInstruments, commandFacts());
}

bool MainFrameControl::canConfigure() const
{
    return CommandRules::Enabled(CommandRules::Id::Configure, commandFacts());
}

bool MainFrameControl::canStop() const
{
    return CommandRules::Enabled(CommandRules::Id::Stop, commandFacts());
}

// ---------------------------------------------------------------- rules

unsigned MainFrameControl::RefreshPeriodMs(double sampleInterval)
{
    return GraphTimerPeriodMs(sampleInterval);
}

int MainFrameControl::RoundSamplesUp(int samples)
{
    return static_cast<int>(samples / 40.0 + 0.999) * 40;
}

std::string MainFrameControl::StripRunSuffix(const std::string& name)
{
    const std::size_t underscore = name.rfind('_');
    if (underscore == std::string::npos) return name;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < underscore) dot = name.size();
    const std::string suffix = name.substr(underscore + 1, dot - underscore - 1);
    for (char ch : suffix)
        if (!std::isdigit(static_cast<unsigned char>(ch)) && ch != ' ') return name;
    return name.substr(0, underscore) + name.substr(dot);
}

std::string MainFrameControl::AutomaticFileName(const std::string& folder, bool joinWithSeparator, int year,
                                                int month, int day, int hour, int minute, int second)
{
    char name[64];
    std::snprintf(name, sizeof name, "Data_%04d%02d%02d_%02d%02d%02d.ts6", year, month, day, hour, minute,
                  second);
    std::string path = folder;
    if (joinWithSeparator || (!path.empty() && !endsWithSeparator(path))) path += "/";
    path += name;
    if (path.size() > 2046) path.resize(2046);
    return path;
}

std::string MainFrameControl::CheckOutputFolder(const std::string& folder)
{
    // Without a folder the automatic name is relative: the working folder takes the files.
    const fs::path path(folder.empty() ? std::string(".") : folder);
    // Room for the automatic name within the length the name is cut at.
    if (folder.size() > 2000)
        return "The folder name " + folder.substr(0, 60) + "... is too long for scan files.";
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
        fs::create_directories(path, ec);
        if (ec || !fs::is_directory(path))
            return "The folder " + path.string() + " could not be created: " +
                   (ec ? ec.message() : std::string("a file of that name is in the way")) + ".";
        log("Created the folder " + path.string() + ".");
    }
    // Try it: permissions alone do not tell (read-only file systems, root).
    std::string probe = (path / ".tesselon-write-test-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return "The folder " + path.string() + " cannot be written: " + std::strerror(errno) + ".";
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

std::string MainFrameControl::scanFolderForAutomaticNames() const
{
    const bool silent = switches_.silentMode && switches_.isOutputFolderSet();
    return silent ? switches_.outputFolder : store_.defaultSettings().FilePath;
}

bool MainFrameControl::checkScanFolder(const std::string& folder)
{
    const std::string problem = CheckOutputFolder(folder);
    if (problem.empty()) return true;
    ui_.messageBox(
        problem + "\nNothing was scanned. Choose another data folder" +
            (switches_.silentMode ? std::string(" (-o)") : std::string(" (Configure, General page)")) +
            " and run again.",
        "Scan", MB_OK_ | MB_ICONERROR_);
    failRun(problem);
    return false;
}

fs::path MainFrameControl::automaticFilePath() const
{
    const SystemTime now = FenmarlCommonDLL::getLocalTime();
    // Without -o a silent run saves into the data folder rather than the root.
    const bool silent = switches_.silentMode && switches_.isOutputFolderSet();
    const std::string folder = silent ? switches_.outputFolder : store_.defaultSettings().FilePath;
    return AutomaticFileName(folder, silent && !endsWithSeparator(folder), now.wYear, now.wMonth, now.wDay,
                             now.wHour, now.wMinute, now.wSecond);
}

// ---------------------------------------------------------------- Configure

void MainFrameControl::applySheet(const SettingsSheetValues& v)
{
    CScanConfiguration& c = store_.scanConfiguration();
    DefaultSettings& d = store_.defaultSettings();
    const SpecificationSettings previous = c.Specification;
    c = v.scanConfiguration;
    c.NoOfSamples = RoundSamplesUp(c.NoOfSamples);

    // Tests of an input that is not used are switched off.
    SpecificationSettings& s = c.Specification;
    s = previous;
    for (int i = 0; i < 2; ++i) {
        s.applyTimeTest[i] = (v.specification.applyTimeTest[i] && c.usesInput(i)) ? 1 : 0;
        s.applyFrequencyTest[i] = (v.specification.applyFrequencyTest[i] && c.usesInput(i)) ? 1 : 0;
        s.maximumExcursion[i] = v.specification.maximumExcursion[i];
        s.curve[i] = v.specification.curve[i];
    }
    s.displayCurves = v.specification.displayCurves;
    s.audioAlert = v.specification.audioAlert;

    const DefaultSettings& n = v.defaults;
    d.FilePath = n.FilePath;
    d.ScanOnExit = n.ScanOnExit;
    d.ExportMultiASCII = n.ExportMultiASCII;
    d.MagneticUnits = n.MagneticUnits;
    d.VibrationUnits = n.VibrationUnits;
    d.MicrophoneUnits = n.MicrophoneUnits;
    d.Input1MagneticScaling = n.Input1MagneticScaling;
    d.Input1VibrationScaling = n.Input1VibrationScaling;
    d.Input2MagneticScaling = n.Input2MagneticScaling;
    d.Input2VibrationScaling = n.Input2VibrationScaling;
    d.Input1MicrophoneScaling = n.Input1MicrophoneScaling;
    d.Input2MicrophoneScaling = n.Input2MicrophoneScaling;
    d.Input1CustomVibrationScaling = n.Input1CustomVibrationScaling;
    d.Input2CustomVibrationScaling = n.Input2CustomVibrationScaling;
    d.Input1CustomMagneticScaling = n.Input1CustomMagneticScaling;
    d.Input2CustomMagneticScaling = n.Input2CustomMagneticScaling;
    d.FFTWindowing = n.FFTWindowing;
    d.FFTK = n.FFTK;
    d.FFTOverlap = n.FFTOverlap;
    d.Input1Scaling = n.Input1Scaling;
    d.Input2Scaling = n.Input2Scaling;

    c.Input1SensorGain = v.gain1;
    c.Input2SensorGain = v.gain2;
    c.Input1HPFilter = v.coupling1 != 0 ? 1 : 0;
    c.Input2HPFilter = v.coupling2 != 0 ? 1 : 0;
}

bool MainFrameControl::configure(SettingsSheet& sheet)
{
    log("Entering Scan Configuration.");
    SettingsSheetValues values = SettingsSheetValues::fromStore(store_);
    const bool ok = sheet.run(values);
    std::string failure;
    if (ok) {
        applySheet(values);
        const CScanConfiguration configuration = store_.scanConfiguration();
        failure = SendInstrumentSetup(configuration);
        if (failure.empty() && store_.defaultSettings().ZeroAndStabilise != 0)
            failure = ZeroInstrument(ui_, configuration, [this] { frame_.pumpMessages(); });
        if (!failure.empty()) {
            // The settings are kept; the instrument is not set up for them, so no scan follows.
            log("The instrument could not be set up: " + failure, LogError);
            ui_.messageBox(SetupFailureMessage(failure), kSetupFailureCaption, MB_OK_ | MB_ICONERROR_);
        }
    }
    log("Completed Scan Configuration, performing a stabilisation scan");
    if (ok && failure.empty() && store_.defaultSettings().ScanOnExit != 0) start();
    return ok;
}

// ---------------------------------------------------------------- Start

bool MainFrameControl::correctConfiguration(CScanConfiguration& c)
{
    if (!IsUSBTwo()) {
        if (c.SampleInterval < 0.00019) {
            c.SampleInterval = 0.0002;
            ui_.messageBox("The shortest sample time for USB 1 is 200us.\nSetting sample interval to 200us",
                           "Sample Interval", MB_OK_ | MB_ICONERROR_);
        }
    } else if (c.SampleInterval < 0.00009) {
        c.SampleInterval = 0.0001;
        ui_.messageBox("The shortest sample time for USB 2 is 100uS.\nSetting sample interval to 100uS",
                       "Sample Interval", MB_OK_ | MB_ICONERROR_);
    }
    if (c.SampleInterval > 0.001 && c.Oversample == 0 &&
        !ui_.askYesNo("The data maybe aliased.\nWould you like to continue?", "Acquisition",
                      MB_ICONEXCLAMATION_))
        return false;
    if (c.ScanMode == ScanModes::Continuous) {
        if (c.SampleInterval < 5.0) {
            c.SampleInterval = 5.0;
            ui_.messageBox(
                "The shortest sample time for continuous acquisition is 5s.\nSetting sample interval to 5s",
                "Sample Interval", MB_OK_ | MB_ICONERROR_);
        }
        if (c.NoOfAverages > 1) {
            c.NoOfAverages = 1;
            ui_.messageBox(
                "Averaging cannot be used for continuous acquisition.\nSetting number of averages to 1",
                "Sample Averaging", MB_OK_ | MB_ICONERROR_);
        }
    }
    return true;
}

bool MainFrameControl::chooseMultipleFileName(CScanConfiguration& c)
{
    const DefaultSettings& d = store_.defaultSettings();
    char filter[1024];
    std::snprintf(filter, sizeof filter, "%s (*.ts6)|*.ts6", "Tesselon-6 files");
    UserInteraction::FileRequest request;
    request.save = true;
    request.defaultExtension = "ts6";
    request.filter = filter;
    request.initialFolder = d.FilePath;
    request.hideReadOnly = true;
    request.overwritePrompt = true;
    for (;;) {
        std::string name;
        if (!switches_.silentMode) {
            const fs::path chosen = ui_.chooseFile(request);
            if (chosen.empty()) return false;
            name = chosen.string();
            scanFolder_ = chosen.parent_path();
        } else {
            // The automatic name stays inside the output folder.
            if (d.autoFileName.empty() || d.autoFileName == "." || d.autoFileName == ".." ||
                d.autoFileName.find_first_of("/\\") != std::string::npos) {
                const std::string problem =
                    "The automatic file name \"" + d.autoFileName + "\" must be a file name without folders.";
                ui_.messageBox(problem, "Confirm Save As", MB_OK_ | MB_ICONERROR_);
                failRun(problem);
                return false;
            }
            scanFolder_ = switches_.outputFolder;
            name = switches_.outputFolder;
            if (!name.empty() && !endsWithSeparator(name)) name += "/";
            name += d.autoFileName;
        }
        name = StripRunSuffix(name);
        c.FileName = name;
        if (!RunFileNamesFit(name, c.NumberofRuns)) {
            // Cut names would overwrite each other.
            const std::string problem = "The run files of " + name + " would have names longer than " +
                                        std::to_string(kMaxRunFileName) + " characters.";
            ui_.messageBox(problem + "\nPlease choose a shorter name or folder.", "Confirm Save As",
                           MB_OK_ | MB_ICONERROR_);
            if (switches_.silentMode) {
                failRun(problem);
                return false;
            }
            continue;
        }

        bool exists = false;
        for (int run = 0; run < c.NumberofRuns && !exists; ++run) {
            std::error_code ec;
            exists = fs::exists(RunFileName(name, run), ec);
        }
        bool retry = false;
        if (exists && !ui_.askYesNo("One or more files already exist.\nDo you want to replace them?",
                                    "Confirm Save As", MB_ICONEXCLAMATION_))
            retry = true;
        if (!retry && directoryIsReadOnly(directoryOf(name))) {
            ui_.messageBox("The directory is read only.\nPlease select another", "Confirm Save As", MB_OK_);
            retry = true;
        }
        if (!retry) return true;
        // Nobody can choose another name in a silent run: asking again would never end.
        if (switches_.silentMode) return false;
    }
}

bool MainFrameControl::start()
{
    log("Starting data acquisition (Scan).");
    if (scanRequested.load()) return false;
    scanInProgress_ = true;
    outcome_ = RunOutcome{};
    CScanConfiguration& c = store_.scanConfiguration();
    if (!correctConfiguration(c)) return false;
    const unsigned period = RefreshPeriodMs(c.SampleInterval);
    if (c.ScanMode == ScanModes::Multiple && !chooseMultipleFileName(c)) return false;
    // The data would be lost at the end: say so before anything starts.
    if (c.ScanMode != ScanModes::Multiple && !checkScanFolder(scanFolderForAutomaticNames())) return false;

    frame_.setTimer(FrameServices::kGraphTimerId, period);
    frame_.setTimer(FrameServices::kStopTimerId, FrameServices::kStopDelayMs);
    scanRequested.exchange(true);
    frame_.enableMainWindowClose(false);

    CCorvelDoc* document = frame_.createDocument(c, store_.defaultSettings());
    if (document) {
        frame_.enableDocumentClose(*document, false);
        frame_.prepareScanViews(*document);
        scanDocument_ = document;
        if (StartScan(*document, events_, store_, ui_, saveWaitLimit)) return true;
    }
    // Nothing will complete this scan: undo the start so Run works again.
    frame_.killTimer(FrameServices::kGraphTimerId);
    frame_.killTimer(FrameServices::kStopTimerId);
    scanRequested.exchange(false);
    frame_.enableMainWindowClose(true);
    if (document) frame_.enableDocumentClose(*document, true);
    return false;
}

// ---------------------------------------------------------------- Stop

template <typename Condition> void MainFrameControl::waitPumping(Condition busy)
{
    const auto started = std::chrono::steady_clock::now();
    while (busy() && std::chrono::steady_clock::now() - started < stopWaitLimit) {
        frame_.pumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void MainFrameControl::stop()
{
    if (!stopEnabled_) return;
    log("User requested, stopping data acquisition (Scan).");
    CCorvelDoc* document = scanDocument_ ? scanDocument_ : frame_.activeDocument();
    if (!scanRequested.load() || !document) return;
    scanInProgress_ = false;
    const bool continuous = document->scan.configuration.ScanMode == ScanModes::Continuous;
    const bool yes = ui_.askYesNo(continuous ? "Stop Current Scan? This may take several seconds"
                                             : "Abort Current Scan? This may take several seconds",
                                  "Scan", MB_ICONQUESTION_);
    if (yes) {
        ui_.showProgress(continuous ? "Stopping scan" : "Aborting scan", continuous ? "Stopping" : "Aborting",
                         "Please wait...", true);
        endScanThread();
        bool scanning;
        {
            ThreadLocker hold(&ScanDataLock(), true);
            RunScan(false, 0);
            scanning = IsScanning();
        }
        waitPumping([&scanning] {
            ThreadLocker hold(&ScanDataLock(), true);
            return scanning = IsScanning();
        });
        std::string failure;
        if (!continuous) {
            const CScanConfiguration configuration = store_.scanConfiguration();
            failure = SendInstrumentSetup(configuration);
            if (store_.defaultSettings().ZeroAndStabilise != 0) {
                const ZeroingTexts texts = ZeroingTextsFor(configuration);
                ui_.setProgressText(texts.line1, texts.line2);
            }
            if (failure.empty() && Reset() != 0) failure = DescribeDriverFailure("Reset");
        }
        ui_.closeProgress();
        if (!failure.empty()) {
            failRun("The instrument could not be set up again after the abort: " + failure);
            ui_.messageBox(SetupFailureMessage(failure), kSetupFailureCaption, MB_OK_ | MB_ICONERROR_);
        }
        log("Completed user request to stop data acquisition (Scan).");
    } else {
        log("Cancelled user request to stop data acquisition (Scan).");
    }
    writeResultFile(false, "The scan was stopped before it completed.");
    if (switches_.silentMode) frame_.closeMainWindow();
}

void MainFrameControl::endScanThread()
{
    {
        ThreadLocker hold(&ScanDataLock(), true);
        scanRequested = false;
    }
    waitPumping([] { return scanThreadActive.load(); });
    if (!scanThreadActive.load()) {
        // The thread has done its work and only posts its last notices:
        // collect them now, so the scan is completed (and saved) before
        // a silent run closes the window.
        WaitForScanThreadExit();
        frame_.pumpMessages();
    }
}

void MainFrameControl::endOnSignal(const std::string& signalName)
{
    if (!scanRequested.load() && !switches_.silentMode) {
        // Nothing is being measured: the window closes as it would for the user.
        log("Closing on " + signalName + ".");
        frame_.closeMainWindow();
        return;
    }
    failRun("The run was ended by " + signalName + " before its scan completed.");
    if (scanRequested.load()) {
        // The thread ends its acquisition; its completion saves the data.
        endScanThread();
        ThreadLocker hold(&ScanDataLock(), true);
        RunScan(false, 0);
    }
    // The completion has written the result of a silent scan; otherwise it is written here.
    if (lastResult_ < 0 || !scanInProgress_) writeResultFile(false);
    frame_.closeMainWindow();
}

// ---------------------------------------------------------------- silent start-up

void MainFrameControl::silentDetectAndRun(InstrumentDetection& detection)
{
    detection.detect();
    if (detection.entries().empty()) {
        // Something was found that is not usable: say what, and what to do.
        const std::string why = InstrumentDetection::whyNoInstrument();
        ui_.messageBox(why.empty() ? InstrumentDetection::kNoInstrumentMessage : why, "Error",
                       MB_OK_ | MB_ICONERROR_);
        writeResultFile(false, why.empty() ? "No instrument was found." : why);
        frame_.post([this] { frame_.closeMainWindow(); });
        return;
    }
    detection.select(0);
    if (!detection.connect()) {
        // The open or the set-up failed and was reported; a scan without an instrument cannot succeed.
        writeResultFile(false, detection.lastFailure().empty()
                                   ? std::string("The instrument could not be opened.")
                                   : "The instrument could not be set up: " + detection.lastFailure());
        frame_.post([this] { frame_.closeMainWindow(); });
        return;
    }
    frame_.post([this] {
        if (!start()) {
            // A silent run that cannot start must still end, and say so.
            writeResultFile(false, "The scan could not be started.");
            frame_.closeMainWindow();
        }
    });
}

// ---------------------------------------------------------------- refresh and completion

void MainFrameControl::onTimer(int id)
{
    if (id == FrameServices::kStopTimerId) {
        stopEnabled_ = true;
        frame_.killTimer(FrameServices::kStopTimerId);
        return;
    }
    if (id != FrameServices::kGraphTimerId) return;
    CCorvelDoc* document = frame_.activeDocument();
    if (!document) return;
    frame_.killTimer(FrameServices::kGraphTimerId);
    document->UpdateViewsAndAlert();
    frame_.setTimer(FrameServices::kGraphTimerId, RefreshPeriodMs(store_.scanConfiguration().SampleInterval));
}

void MainFrameControl::onDataReady()
{
    if (CCorvelDoc* document = frame_.activeDocument()) document->UpdateViewsAndAlert();
}

void MainFrameControl::onScanComplete(bool instrumentFailed)
{
    frame_.killTimer(FrameServices::kStopTimerId);
    stopEnabled_ = false;
    scanRequested.exchange(false);

    // The scan's own document, even if another one was activated meanwhile.
    CCorvelDoc* document = scanDocument_ ? scanDocument_ : frame_.activeDocument();
    bool saved = false;
    fs::path path;
    std::string setupFailure;
    long long lost = 0;
    if (document) {
        {
            ThreadLocker hold(&ScanDataLock(), true);
            setupFailure = document->scan.setupFailure;
            lost = document->scan.lostSamples;
        }
        outcome_.lostSamples = lost;
        document->scanActive = 0;
        // The stored flags come from the whole record alone, however often the views refreshed.
        judgeRun(*document);
        document->UpdateViewsAndAlert();
        path = automaticFilePath();
        // The window repaints while the files are written: it may close only after.
        saved = saveDocument(*document, path);
        frame_.enableDocumentClose(*document, true);
    }
    frame_.enableMainWindowClose(true);
    std::string scanFailure;
    int acquired = 0;
    if (document) {
        ThreadLocker hold(&ScanDataLock(), true);
        scanFailure = document->scan.failureReason;
        acquired = document->scan.input1.samplesAcquired;
    }
    const std::string keptText = saved ? "\nThe data acquired so far has been saved to " + path.string()
                                       : std::string("\nThe data acquired so far could not be saved.");
    if (!scanFailure.empty()) {
        failRun(scanFailure);
        ui_.messageBox("The scan ended early after " + std::to_string(acquired) + " samples.\n" +
                           scanFailure + keptText,
                       "Scan", MB_OK_ | MB_ICONERROR_);
    } else if (instrumentFailed) {
        const std::string why = InstrumentDetection::whyDataStopped();
        log("The scan ended early: the instrument stopped delivering data. " + why, LogError);
        std::string text = "The scan ended early because the instrument stopped delivering data.\n" + why;
        text += keptText;
        ui_.messageBox(text, "Scan", MB_OK_ | MB_ICONERROR_);
        failRun("The instrument stopped delivering data before the scan completed. " + why);
    }
    if (!setupFailure.empty()) {
        failRun("The scan could not be started: " + setupFailure);
        ui_.messageBox("The scan could not be started.\n" + setupFailure, "Scan", MB_OK_ | MB_ICONERROR_);
    }
    if (lost > 0) {
        const std::string count = std::to_string(lost);
        failRun("The instrument lost samples during the scan (at least " + count + ").");
        std::string text = "The instrument lost at least " + count +
                           " samples during this scan: its buffer overflowed, so the record has gaps.";
        if (saved) text += "\nThe data has been saved to " + path.string();
        ui_.messageBox(text, "Scan", MB_OK_ | MB_ICONEXCLAMATION_);
    }
    if (switches_.silentMode && scanInProgress_) {
        writeResultFile(!instrumentFailed && saved);
        frame_.closeMainWindow();
    }
    log("Completed data acquisition (Scan).");
}

void MainFrameControl::judgeRun(CCorvelDoc& document)
{
    const int passed = EvaluateSpecification(document, true).passed();
    // A multiple scan passes only when every run did.
    if (passed >= 0) outcome_.passed = outcome_.passed < 0 ? passed : std::min(outcome_.passed, passed);
}

void MainFrameControl::onSaveRun(const std::string& fileName)
{
    CCorvelDoc* document = scanDocument_ ? scanDocument_ : frame_.activeDocument();
    if (!document) return;
    // Each run's file carries the flags of its own data.
    judgeRun(*document);
    saveDocument(*document, fileName);
}

void MainFrameControl::dispatch(const QueuedScanEvents::Notice& notice)
{
    using Kind = QueuedScanEvents::Notice::Kind;
    switch (notice.kind) {
    case Kind::DataReady:
        onDataReady();
        break;
    case Kind::ScanComplete:
        onScanComplete(notice.instrumentFailed);
        break;
    case Kind::SaveRun:
        onSaveRun(notice.fileName);
        break;
    case Kind::ArmGraphTimer:
        frame_.setTimer(FrameServices::kGraphTimerId, notice.periodMs);
        break;
    case Kind::KillGraphTimer:
        frame_.killTimer(FrameServices::kGraphTimerId);
        break;
    }
}

// ---------------------------------------------------------------- save and result file

bool MainFrameControl::saveDocument(CCorvelDoc& document, const fs::path& path)
{
    log("Saving data acquisition (Scan).");
    bool saved;
    {
        ThreadLocker hold(&ScanDataLock(), true);
        saved = document.OnSaveDocument(path);
    }
    if (saved) {
        document.setModified(false);
        document.setPathName(path);
        // The export reports its own failure to the user; a run without its
        // text file is not a success.
        if (store_.defaultSettings().ExportMultiASCII != 0 && !document.AutomaticExport(path, &ui_))
            failRun("The text export " + AutomaticExportPath(path).string() + " could not be written" +
                    (document.lastError().empty() ? std::string(".") : ": " + document.lastError()));
        document.UpdateViewsAndAlert();
        frame_.documentSaved(document);
    } else {
        const std::string problem =
            "The scan could not be saved to " + path.string() +
            (document.lastError().empty() ? std::string(".") : ": " + document.lastError());
        ui_.messageBox(problem, "Save", MB_OK_ | MB_ICONERROR_);
        failRun(problem);
    }
    document.scan.savePending = false;
    return saved;
}

fs::path MainFrameControl::resultFilePath() const
{
    // Without a scan folder the data folder takes the file rather than the root.
    const fs::path folder = scanFolder_.empty() ? fs::path(store_.defaultSettings().FilePath) : scanFolder_;
    return folder / kResultFileName;
}

void MainFrameControl::failRun(const std::string& reason)
{
    log(reason, LogError);
    if (outcome_.reason.empty()) outcome_.reason = reason;
}

namespace {

// One line, whatever the reason's text holds.
std::string oneLine(std::string text)
{
    for (char& ch : text)
        if (ch == '\r' || ch == '\n') ch = ' ';
    return text;
}

} // namespace

void MainFrameControl::writeResultFile(bool success, const std::string& reason)
{
    if (!reason.empty()) failRun(reason);
    if (!success && outcome_.reason.empty()) failRun("The run ended before its scan completed.");
    success = success && outcome_.reason.empty();
    lastResult_ = success ? 1 : 0;
    if (!switches_.writeResultFile) return;
    std::vector<std::pair<std::string, std::string>> entries{{"Success", success ? "Yes" : "No"}};
    if (outcome_.passed >= 0) entries.emplace_back("Passed", outcome_.passed ? "Yes" : "No");
    entries.emplace_back("LostSamples", std::to_string(outcome_.lostSamples));
    if (!success) entries.emplace_back("Reason", oneLine(outcome_.reason));
    if (!writePrivateProfileSection("Tesselon-6", entries, resultFilePath())) {
        log("The result file " + resultFilePath().string() + " could not be written.", LogError);
        ui_.messageBox("Error - unable to generate Success/Failure File ", "Error", MB_OK_ | MB_ICONERROR_);
    }
}

// ---------------------------------------------------------------- status texts

std::string MainFrameControl::scanStatusText() const
{
    if (!IsDeviceOpen()) return "Idle";
    ThreadLocker hold(&ScanDataLock(), true);
    if (!scanThreadActive.load() || !scanDocument_) return "Idle";
    return ScanProgressText(scanDocument_->scan);
}

std::string MainFrameControl::inputStatusText(int input, bool used)
{
    return "Input" + std::to_string(input) + (used ? " On" : " Off");
}
