#pragma once

#include "app/acquisition/ScanEvents.h"
#include "app/settings/DefaultSettings.h"
#include "app/settings/ScanConfiguration.h"
#include "app/settings/SettingsSheet.h"
#include "app/base/CommandLine.h"
#include "app/shell/CommandRules.h"

#include <chrono>
#include <filesystem>
#include <string>

class CCorvelDoc;
class FrameServices;
class InstrumentDetection;
class ScanConfigurationStore;
class UserInteraction;

// What a run reports to a test rig beside Success.
struct RunOutcome
{
    int passed = -1;           // -1 nothing tested, 0 a tested limit failed, 1 every tested limit held
    long long lostSamples = 0; // samples the instrument dropped during the scan
    std::string reason;        // why the run failed (the first reason given); empty while nothing did
};

// The main frame's scan control without widgets: Configure, Run, Stop, the
// view refresh, scan completion, saving, the result file and the status
// texts. The GUI's CMainFrame forwards its commands, timers and the scan
// thread's notices here; silent runs drive the same object from CoreFrameLoop.
class MainFrameControl
{
public:
    static constexpr const char* kSource = "Main Frame";
    static constexpr const char* kResultFileName = "SuccessFailure.ini";

    MainFrameControl(UserInteraction& ui, FrameServices& frame, ScanEvents& events,
                     ScanConfigurationStore& store, const CommandLineSwitches& switches);
    // Ends a running scan (bounded) and closes the instrument.
    virtual ~MainFrameControl();
    MainFrameControl(const MainFrameControl&) = delete;
    MainFrameControl& operator=(const MainFrameControl&) = delete;

    // Command state.
    // The scan commands, as the command table (CommandRules) decides them.
    bool canDetect() const;    // no instrument open, no scan
    bool canConfigure() const; // an instrument open and no scan requested or running
    bool canRun() const { return canConfigure(); }
    bool canStop() const; // 5 s after the start, until the scan ends
    // The facts of the command table this object knows: instrument, scan, Stop.
    CommandRules::Facts commandFacts() const;

    // Configure (138): the sheet, the store round trip, instrument set-up and
    // zeroing; then a scan when ScanOnExit is set. True when OK was pressed.
    bool configure(SettingsSheet& sheet);
    // Run (139). True when a scan was started.
    bool start();
    // Stop (140); does nothing while Stop is disabled (the first 5 s).
    void stop();

    // A terminating signal (named, e.g. "SIGTERM"): a running scan is
    // stopped without a question, what it acquired is saved, the run is
    // reported as failed and the main window closes.
    void endOnSignal(const std::string& signalName);

    // Silent start-up after the detection: connect to the first instrument
    // and post Run, or report that there is none and close.
    void silentDetectAndRun(InstrumentDetection& detection);

    // Timers and the scan thread's notices (UI thread).
    void onTimer(int id);
    void onDataReady();
    void onScanComplete(bool instrumentFailed);
    void onSaveRun(const std::string& fileName);
    // Routes one queued notice to the handlers above (timer notices to the frame).
    void dispatch(const QueuedScanEvents::Notice& notice);

    // The save operation: scan file, automatic text export, views updated.
    // Always clears the document's savePending. False when the file could not be written.
    bool saveDocument(CCorvelDoc& document, const std::filesystem::path& path);
    // Records that the current run cannot be reported as a success, and why
    // (logged as an error; the first reason is the one the result file gives).
    void failRun(const std::string& reason);
    RunOutcome& runOutcome() { return outcome_; }
    const RunOutcome& runOutcome() const { return outcome_; }
    // "SuccessFailure.ini" in the scan folder, when -r was given. Success is
    // "Yes" only when success is true and no failure was recorded; a reason
    // given here is recorded first.
    void writeResultFile(bool success, const std::string& reason = {});
    std::filesystem::path resultFilePath() const;
    // The outcome last reported through the result file (also without -r):
    // -1 none yet, 0 failure, 1 success.
    int lastResult() const { return lastResult_; }

    // Status pane texts.
    std::string scanStatusText() const;                       // progress while a scan runs, else "Idle"
    static std::string inputStatusText(int input, bool used); // "Input1 On", "Input2 Off", …

    // Rules of the Start and Configure sequences, exposed for their callers and tests.
    static unsigned RefreshPeriodMs(double sampleInterval);
    static int RoundSamplesUp(int samples);
    static std::string StripRunSuffix(const std::string& name);
    static std::string AutomaticFileName(const std::string& folder, bool joinWithSeparator, int year,
                                         int month, int day, int hour, int minute, int second);
    // Creates a missing folder with its parents and tries writing in it.
    // Empty when scan files can be written there, else what is wrong.
    static std::string CheckOutputFolder(const std::string& folder);
    // Where Single and Continuous scans are saved: -o in a silent run, else the data folder.
    std::string scanFolderForAutomaticNames() const;
    // CheckOutputFolder, with the message and the failure recorded.
    bool checkScanFolder(const std::string& folder);

    const std::filesystem::path& scanFolder() const { return scanFolder_; }
    bool scanInProgress() const { return scanInProgress_; }
    // The document of the running (or last) scan.
    CCorvelDoc* scanDocument() const { return scanDocument_; }
    // The window layer closed a document: the control forgets it if it was the scan's.
    void documentClosed(const CCorvelDoc* document)
    {
        if (scanDocument_ == document) scanDocument_ = nullptr;
    }

    // Bounds of the Stop sequence's waits and of a multiple scan's save hand-shake.
    std::chrono::milliseconds stopWaitLimit{10000};
    std::chrono::milliseconds saveWaitLimit{std::chrono::minutes(2)};

private:
    bool correctConfiguration(CScanConfiguration& c);
    bool chooseMultipleFileName(CScanConfiguration& c);
    void applySheet(const SettingsSheetValues& values);
    std::filesystem::path automaticFilePath() const;
    // The fresh pass/fail judgement of a completed scan or run, folded into the run's outcome.
    void judgeRun(CCorvelDoc& document);
    template <typename Condition> void waitPumping(Condition busy);
    // Asks the scan thread to end and waits, pumping, until it has.
    void endScanThread();

    UserInteraction& ui_;
    FrameServices& frame_;
    ScanEvents& events_;
    ScanConfigurationStore& store_;
    CommandLineSwitches switches_;
    std::filesystem::path scanFolder_;
    bool stopEnabled_ = false;
    bool scanInProgress_ = true;
    CCorvelDoc* scanDocument_ = nullptr;
    int lastResult_ = -1;
    RunOutcome outcome_;
};
