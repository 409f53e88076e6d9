// The unattended run end to end on the simulated instrument: settings file
// and -s -r -i -o switches, detection, connection, zeroing, one scan, the scan
// file with its text export, and the result file; and the ways it fails.

#include "app/acquisition/tests/ScanThreadTestSupport.h"
#include "app/shell/tests/integration/UnattendedTestSupport.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanThread.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/shell/ApplicationSequence.h"
#include "app/shell/CoreFrameLoop.h"
#include "app/shell/InstrumentDetection.h"
#include "app/shell/MainFrameControl.h"
#include "app/base/ScriptedUserInteraction.h"
#include "common/platform/PrivateProfile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace ScanTest;
using namespace UnattendedTest;
using namespace FenmarlCommonDLL::platform;
namespace fs = std::filesystem;

namespace {

class UnattendedRun : public RunFixture
{
protected:
    std::string resultKey(const char* key) const
    {
        return getPrivateProfileString("Tesselon-6", key, "(absent)", out / "SuccessFailure.ini");
    }

    // Plugs in an instrument that refuses the vendor request `request` once
    // `after` of them have gone through.
    void plugRefusing(int request, int after = 0)
    {
        auto config = instrumentConfig();
        FenmarlUsb::InstrumentFault fault;
        fault.request = request;
        fault.after = after;
        config.faults = {fault};
        plugInstruments({config}, false);
    }
};

} // namespace

TEST_F(UnattendedRun, ScansSavesExportsAndReportsSuccess)
{
    writeSettings();
    auto instrument = plugInstruments({instrumentConfig()}, false).front();
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 0);

    EXPECT_EQ(result(), "Yes");
    const auto scans = filesWithExtension(out, ".ts6");
    ASSERT_EQ(scans.size(), 1u);
    EXPECT_EQ(scans[0].filename().string().rfind("Data_", 0), 0u);
    const fs::path exported = fs::path(scans[0]).replace_extension(".dat");
    ASSERT_TRUE(fs::exists(exported));
    EXPECT_EQ(readText(exported).rfind("Scan started at ", 0), 0u);

    CCorvelDoc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(scans[0], nullptr));
    EXPECT_EQ(reopened.scan.configuration.Input1Mode, "Magnetometer");
    EXPECT_EQ(reopened.scan.input1.samplesAcquired, 2000);
    EXPECT_EQ(reopened.scan.input1.averagesCompleted, 1);
    EXPECT_EQ(reopened.scan.input1.spectrumPointCount, 1024);

    // Connected, set up and zeroed before the scan, without a single question.
    EXPECT_TRUE(ui.messages().empty());
    const auto progress = ui.progressEvents();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress[0].title, "Zeroing Instrument");
    EXPECT_EQ(progress[0].line1, "Zeroing sensor");
    EXPECT_EQ(instrument->state().sensorWord & 0x81, 0x01) << "input 1 powered, input 2 off";
    EXPECT_FALSE(IsDeviceOpen()) << "the instrument is released at exit";

    const std::string log = TestSupport::logText("Tesselon.log");
    for (const char* line :
         {"Tesselon: Started", "Detect Instruments: Running silently.",
          "Main Frame: Starting data acquisition (Scan).", "Main Frame: Saving data acquisition (Scan).",
          "Main Frame: Completed data acquisition (Scan).", "Tesselon: Exit"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(UnattendedRun, NoInstrumentReportsFailure)
{
    writeSettings();
    plugInstruments({}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);
    EXPECT_EQ(result(), "No");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Error - No Tesselon-6 found");
    EXPECT_EQ(ui.messages()[0].caption, "Error");
    EXPECT_EQ(ui.messages()[0].icon(), MB_ICONERROR_);
    EXPECT_TRUE(filesWithExtension(out, ".ts6").empty());
}

TEST_F(UnattendedRun, ABadSettingsFileIsReportedAndNothingIsScanned)
{
    writeSettings({.samples = "12abc"});
    auto instrument = plugInstruments({instrumentConfig()}, false).front();
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);
    EXPECT_EQ(result(), "No");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Error loading settings from ini file: " + settingsFile.string());
    EXPECT_EQ(ui.messages()[0].caption, "Loading Ini Settings");
    EXPECT_TRUE(filesWithExtension(out, ".ts6").empty());
    EXPECT_TRUE(instrument->controlRequests().empty()) << "the instrument was never touched";
}

TEST_F(UnattendedRun, BadSwitchesEndTheProgramBeforeAnything)
{
    writeSettings();
    auto instrument = plugInstruments({instrumentConfig()}, false).front();
    EXPECT_EQ(RunUnattendedProgram({"-s", "-q"}, ui), 2);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Tesselon-6");
    EXPECT_TRUE(instrument->controlRequests().empty());
}

TEST_F(UnattendedRun, AnUnplugMidScanKeepsTheDataAndReportsFailure)
{
    writeSettings({.samples = "40000"});
    auto config = instrumentConfig();
    config.unplugAfterBytes = 24 * 8000;
    plugInstruments({config}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);

    EXPECT_EQ(result(), "No");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text.rfind("The scan ended early", 0), 0u);
    EXPECT_EQ(ui.messages()[0].icon(), MB_ICONERROR_);
    const auto scans = filesWithExtension(out, ".ts6");
    ASSERT_EQ(scans.size(), 1u) << "what was acquired is saved";
    EXPECT_NE(ui.messages()[0].text.find(scans[0].string()), std::string::npos);
    CCorvelDoc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(scans[0], nullptr));
    EXPECT_GT(reopened.scan.input1.samplesAcquired, 0);
    EXPECT_LT(reopened.scan.input1.samplesAcquired, 40000);
}

// Stop during a silent scan: the user's answer ends the run with "No" and
// the program closes; what was read is still saved.
TEST_F(UnattendedRun, StopPressedEndsTheRunWithFailure)
{
    writeSettings({.samples = "400000"});
    plugInstruments({instrumentConfig()}, false);
    CommandLineSwitches switches;
    ASSERT_TRUE(ParseCommandLine(RawCommandLineFromArguments(arguments()), switches, {}));
    ScanConfigurationStore::prepare(&ui, switches);
    ScanConfigurationStore& store = ScanConfigurationStore::instance();
    {
        CoreFrameLoop loop;
        MainFrameControl control(ui, loop, loop.scanEvents(), store, switches);
        loop.setControl(&control);
        InstrumentDetection detection(ui, store, true, [&loop] { loop.pumpMessages(); });
        control.silentDetectAndRun(detection);
        ASSERT_TRUE(loop.runUntil([&] { return control.canStop(); }, std::chrono::seconds(60)));
        EXPECT_TRUE(scanRequested.load());
        ui.queueMessageReply(IDYES_);
        control.stop();
        EXPECT_TRUE(loop.closed()) << "a silent run closes after a stop";
        EXPECT_FALSE(scanThreadActive.load());
        EXPECT_EQ(control.lastResult(), 0);
        loop.setControl(nullptr);
    }
    ScanConfigurationStore::exitProcessing();
    EXPECT_EQ(result(), "No");
    EXPECT_EQ(filesWithExtension(out, ".ts6").size(), 1u);
}

// A silent multiple scan names its runs after AutoFileName in the output folder.
TEST_F(UnattendedRun, MultipleRunsAreSavedUnderTheAutomaticName)
{
    writeSettings({.samples = "400", .scanMode = ScanModes::Multiple, .runs = 2});
    plugInstruments({instrumentConfig()}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 0);
    EXPECT_EQ(result(), "Yes");
    for (const char* name : {"auto_0.ts6", "auto_1.ts6", "auto_0.dat", "auto_1.dat"})
        EXPECT_TRUE(fs::exists(out / name)) << name;
    CCorvelDoc second;
    ASSERT_TRUE(second.OnOpenDocument(out / "auto_1.ts6", nullptr));
    EXPECT_EQ(second.scan.input1.samplesAcquired, 400);
    EXPECT_EQ(second.scan.input1.averagesCompleted, 1) << "the run index";
}

// A set-up call the instrument refuses ends the run before any scan, and the
// result file names the call.
TEST_F(UnattendedRun, ARefusedSetupCallEndsTheRunAndNamesTheCall)
{
    writeSettings();
    plugRefusing(0xA3); // sensor control: TurnSensorOn is the first to send it
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);

    EXPECT_EQ(result(), "No");
    EXPECT_NE(resultKey("Reason").find("TurnSensorOn(1, true) failed"), std::string::npos)
        << resultKey("Reason");
    EXPECT_EQ(resultKey("Passed"), "(absent)");
    EXPECT_TRUE(filesWithExtension(out, ".ts6").empty()) << "nothing was scanned";
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_EQ(
        ui.messages()[0].text.rfind("The instrument could not be set up.\nTurnSensorOn(1, true) failed", 0),
        0u)
        << ui.messages()[0].text;
}

// The rate is refused when the scan starts (after zeroing has set its own):
// the scan does not run at whatever rate the instrument was left at.
TEST_F(UnattendedRun, ARefusedRateStopsTheScan)
{
    writeSettings();
    plugRefusing(0xA4, 1); // zeroing's own rate goes through
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);

    EXPECT_EQ(result(), "No");
    EXPECT_NE(resultKey("Reason").find("SetMeasurementRate failed"), std::string::npos)
        << resultKey("Reason");
    CCorvelDoc reopened;
    ASSERT_TRUE(openTheOnlyScan(out, reopened));
    EXPECT_EQ(reopened.scan.input1.samplesAcquired, 0) << "nothing measured at a wrong rate";
}

// Samples the instrument's FIFO dropped make the run fail, with their count.
TEST_F(UnattendedRun, LostSamplesAreCountedAndFailTheRun)
{
    writeSettings({.samples = "4000", .interval = "0.0001"});
    auto config = instrumentConfig();
    config.fifoRecords = 1;
    config.speedFactor = 50.0;
    plugInstruments({config}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);

    EXPECT_EQ(result(), "No");
    const long long lost = std::stoll(resultKey("LostSamples"));
    EXPECT_GT(lost, 0);
    EXPECT_NE(resultKey("Reason").find("lost samples"), std::string::npos) << resultKey("Reason");
    ASSERT_EQ(filesWithExtension(out, ".ts6").size(), 1u) << "the data is kept";
    bool warned = false;
    for (const auto& m : ui.messages())
        warned = warned ||
                 (m.text.find("lost at least " + std::to_string(lost) + " samples") != std::string::npos &&
                  m.icon() == MB_ICONEXCLAMATION_);
    EXPECT_TRUE(warned);
    const std::string log = TestSupport::logText("Tesselon.log");
    EXPECT_NE(log.find("The instrument lost samples during the scan (at least " + std::to_string(lost)),
              std::string::npos);
}

// A continuous scan whose instrument goes away ends like the other modes:
// its data is saved and the run fails.
TEST_F(UnattendedRun, AnUnpluggedContinuousScanEndsAndKeepsItsData)
{
    writeSettings({.samples = "1000", .scanMode = ScanModes::Continuous, .interval = "5"});
    auto config = instrumentConfig();
    // Zeroing reads 1024 bytes and each continuous interval as many: the
    // instrument goes once the first interval has been read.
    config.unplugAfterBytes = 1500;
    plugInstruments({config}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);

    EXPECT_EQ(result(), "No");
    EXPECT_NE(resultKey("Reason").find("stopped delivering"), std::string::npos) << resultKey("Reason");
    CCorvelDoc reopened;
    ASSERT_TRUE(openTheOnlyScan(out, reopened));
    EXPECT_EQ(reopened.scan.input1.samplesAcquired, 1) << "the interval read before the unplug is kept";
}

// The pass/fail flags a silent run stores are the ones a desktop run (with
// its refreshes while the scan runs) stores for the same limits, and they
// follow from the stored data alone.
TEST_F(UnattendedRun, SilentAndDesktopRunsStoreTheSameFlags)
{
    // Input 1 fails its excursion, input 2 holds its own.
    const std::string limits = "[Specification]\nApply1Time=True\nApply2Time=True\nExcursion1=0.001\n"
                               "Excursion2=1000000\n";
    writeSettings({.extra = limits});
    {
        std::string text = readText(settingsFile);
        text.replace(text.find("UseInput2=False"), 15, "UseInput2=True");
        std::ofstream(settingsFile) << text;
    }
    plugInstruments({instrumentConfig()}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 0) << resultKey("Reason");
    EXPECT_EQ(result(), "Yes") << "a failing unit is a measured unit";
    EXPECT_EQ(resultKey("Passed"), "No");
    const auto silentScans = filesWithExtension(out, ".ts6");
    ASSERT_EQ(silentScans.size(), 1u);

    // The desktop program: the same settings, no -s, refreshes while it scans.
    const fs::path desktopFolder = base / "desktop";
    fs::create_directories(desktopFolder);
    plugInstruments({instrumentConfig()}, false);
    CommandLineSwitches switches;
    ASSERT_TRUE(ParseCommandLine(RawCommandLineFromArguments({"-i" + settingsFile.string()}), switches, {}));
    ScanConfigurationStore::prepare(&ui, switches);
    ScanConfigurationStore& store = ScanConfigurationStore::instance();
    store.defaultSettings().FilePath = desktopFolder.string() + "/";
    {
        CoreFrameLoop loop;
        MainFrameControl control(ui, loop, loop.scanEvents(), store, switches);
        loop.setControl(&control);
        InstrumentDetection detection(ui, store, false, [&loop] { loop.pumpMessages(); });
        detection.detect();
        detection.select(0);
        ASSERT_TRUE(detection.connect());
        ASSERT_TRUE(control.start());
        ASSERT_TRUE(loop.runUntil([] { return !scanRequested.load() && !scanThreadActive.load(); },
                                  std::chrono::seconds(60)));
        EXPECT_EQ(control.runOutcome().passed, 0);
        loop.setControl(nullptr);
    }
    ScanConfigurationStore::exitProcessing();
    const auto desktopScans = filesWithExtension(desktopFolder, ".ts6");
    ASSERT_EQ(desktopScans.size(), 1u);

    CCorvelDoc silent;
    CCorvelDoc desktop;
    ASSERT_TRUE(silent.OnOpenDocument(silentScans[0], nullptr));
    ASSERT_TRUE(desktop.OnOpenDocument(desktopScans[0], nullptr));
    for (CCorvelDoc* doc : {&silent, &desktop}) {
        const SpecificationSettings& s = doc->scan.configuration.Specification;
        EXPECT_EQ(s.passedTime[0], 0);
        EXPECT_EQ(s.passedTime[1], 1);
        EXPECT_EQ(s.passedFrequency[0], 1);
        EXPECT_EQ(s.passedFrequency[1], 1);
        // Judging the stored data afresh gives the stored flags back.
        const SpecificationSettings stored = s;
        const SpecificationVerdict verdict = EvaluateSpecification(*doc, true);
        EXPECT_EQ(verdict.passed(), 0);
        EXPECT_FALSE(verdict.time[0].passed);
        EXPECT_LT(verdict.time[0].margin, 0.0);
        EXPECT_GT(verdict.time[1].margin, 0.0);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(doc->scan.configuration.Specification.passedTime[i], stored.passedTime[i]);
            EXPECT_EQ(doc->scan.configuration.Specification.passedFrequency[i], stored.passedFrequency[i]);
        }
    }
}
