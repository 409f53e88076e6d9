#include "app/acquisition/tests/ScanThreadTestSupport.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanThread.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/shell/CoreFrameLoop.h"
#include "app/acquisition/InstrumentSetup.h"
#include "app/shell/MainFrameControl.h"
#include "app/base/ScriptedUserInteraction.h"
#include "common/platform/PrivateProfile.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace ScanTest;
using namespace FenmarlCommonDLL::platform;
namespace fs = std::filesystem;

namespace {

class ScriptedSheet : public SettingsSheet
{
public:
    std::function<bool(SettingsSheetValues&)> script;
    int shown = 0;
    bool run(SettingsSheetValues& values) override
    {
        ++shown;
        return script ? script(values) : false;
    }
};

std::vector<std::string> messageTexts(const ScriptedUserInteraction& ui)
{
    std::vector<std::string> texts;
    for (const auto& m : ui.messages())
        texts.push_back(m.text);
    return texts;
}

class MainFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = scratchFolder();
        fs::create_directories(folder);
    }

    // Plugs the instrument and builds the frame; switches may be set before.
    void build(bool highSpeed = true)
    {
        auto config = instrumentConfig(highSpeed);
        instrument = plugInstrument(config);
        store = std::make_unique<ScanConfigurationStore>(ui, switches);
        CScanConfiguration& c = store->scanConfiguration();
        c.Input1Mode = "Magnetometer";
        c.NoOfSamples = 200;
        store->defaultSettings().ZeroAndStabilise = 0;
        store->defaultSettings().FilePath = folder + "/";
        control = std::make_unique<MainFrameControl>(ui, loop, loop.scanEvents(), *store, switches);
        loop.setControl(control.get());
    }

    void TearDown() override
    {
        if (control) {
            loop.runUntil([] { return !scanRequested.load() && !scanThreadActive.load(); },
                          std::chrono::seconds(30));
            loop.setControl(nullptr);
            control.reset();
        }
        scanRequested = false;
        WaitForScanThreadExit();
    }

    bool runToCompletion()
    {
        return loop.runUntil([] { return !scanRequested.load() && !scanThreadActive.load(); },
                             std::chrono::seconds(60));
    }

    std::string folder;
    CommandLineSwitches switches;
    ScriptedUserInteraction ui;
    CoreFrameLoop loop;
    std::shared_ptr<FenmarlUsb::Instrument> instrument;
    std::unique_ptr<ScanConfigurationStore> store;
    std::unique_ptr<MainFrameControl> control;
};

} // namespace

TEST(MainFrameRules, RefreshPeriodSamplesAndRunSuffix)
{
    EXPECT_EQ(MainFrameControl::RefreshPeriodMs(3.0), 4000u);
    EXPECT_EQ(MainFrameControl::RefreshPeriodMs(1.0), 2000u);
    EXPECT_EQ(MainFrameControl::RoundSamplesUp(1001), 1040);
    EXPECT_EQ(MainFrameControl::RoundSamplesUp(1000), 1000) << "1000/40 + 0.999 = 25.999";
    EXPECT_EQ(MainFrameControl::RoundSamplesUp(1), 40);

    EXPECT_EQ(MainFrameControl::StripRunSuffix("/d/probe_2.ts6"), "/d/probe.ts6");
    EXPECT_EQ(MainFrameControl::StripRunSuffix("/d/a_12.ts6"), "/d/a.ts6");
    EXPECT_EQ(MainFrameControl::StripRunSuffix("/d/a_ 1 .ts6"), "/d/a.ts6") << "digits and spaces";
    EXPECT_EQ(MainFrameControl::StripRunSuffix("/d/a_.ts6"), "/d/a.ts6") << "an empty suffix goes too";
    EXPECT_EQ(MainFrameControl::StripRunSuffix("/d/a_x1.ts6"), "/d/a_x1.ts6");
    EXPECT_EQ(MainFrameControl::StripRunSuffix("/my_dir/scan.ts6"), "/my_dir/scan.ts6");
    EXPECT_EQ(MainFrameControl::StripRunSuffix("/d/scan_3"), "/d/scan");

    EXPECT_EQ(MainFrameControl::AutomaticFileName("/out", true, 2024, 3, 7, 9, 5, 1),
              "/out/Data_20240307_090501.ts6");
    EXPECT_EQ(MainFrameControl::AutomaticFileName("/data/", false, 2024, 12, 31, 23, 59, 58),
              "/data/Data_20241231_235958.ts6");
    EXPECT_EQ(MainFrameControl::inputStatusText(1, true), "Input1 On");
    EXPECT_EQ(MainFrameControl::inputStatusText(2, false), "Input2 Off");
}

TEST(MainFrameRules, GainCodesAndZeroingTexts)
{
    EXPECT_EQ(SensorGainCode(1), 1);
    EXPECT_EQ(SensorGainCode(10), 2);
    EXPECT_EQ(SensorGainCode(100), 3);
    EXPECT_EQ(SensorGainCode(1000), 4);
    EXPECT_EQ(SensorGainCode(0), 1) << "an invalid gain is sent as gain 1";

    CScanConfiguration c;
    c.Input1Mode = "Magnetometer";
    c.UseInput2 = 0;
    c.Input2Mode = "Microphone";
    EXPECT_EQ(ZeroingTextsFor(c).line1, "Zeroing sensor") << "an unused microphone does not count";
    EXPECT_EQ(ZeroingTextsFor(c).line2, "Please wait 2 seconds");
    c.Input1HPFilter = 1;
    EXPECT_EQ(ZeroingTextsFor(c).line1, "Stabilising Input");
    EXPECT_EQ(ZeroingTextsFor(c).line2, "Please wait 10 seconds");
    c.Input1HPFilter = 0;
    c.UseInput2 = 1;
    EXPECT_EQ(ZeroingTextsFor(c).line1, "Stabilising Input") << "a used microphone settles";
    c.UseInput2 = 0;
    c.Input1Mode = "Accelerometer";
    EXPECT_EQ(ZeroingTextsFor(c).line2, "Please wait 10 seconds");
}

TEST_F(MainFrameTest, ShortIntervalsAreRaisedToTheBusMinimum)
{
    build(false);
    store->scanConfiguration().SampleInterval = 0.00015;
    ASSERT_TRUE(control->start());
    EXPECT_DOUBLE_EQ(store->scanConfiguration().SampleInterval, 0.0002);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
              "The shortest sample time for USB 1 is 200us.\nSetting sample interval to 200us");
    EXPECT_EQ(ui.messages()[0].caption, "Sample Interval");
    EXPECT_EQ(ui.messages()[0].icon(), MB_ICONERROR_);
    ASSERT_TRUE(runToCompletion());
    // The completed scan was saved under its automatic name in the data folder.
    ASSERT_NE(control->scanDocument(), nullptr);
    const fs::path saved = control->scanDocument()->pathName();
    EXPECT_EQ(saved.parent_path(), fs::path(folder));
    EXPECT_EQ(saved.filename().string().rfind("Data_", 0), 0u);
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_TRUE(loop.mainWindowCloseEnabled());
    EXPECT_TRUE(loop.documentCloseEnabled(control->scanDocument()));
}

TEST_F(MainFrameTest, HighSpeedKeepsTheIntervalAboveItsMinimum)
{
    build(true);
    store->scanConfiguration().SampleInterval = 0.00015;
    ASSERT_TRUE(control->start());
    EXPECT_DOUBLE_EQ(store->scanConfiguration().SampleInterval, 0.00015);
    EXPECT_TRUE(ui.messages().empty());
    ASSERT_TRUE(runToCompletion());
    store->scanConfiguration().SampleInterval = 0.00005;
    ASSERT_TRUE(control->start());
    EXPECT_DOUBLE_EQ(store->scanConfiguration().SampleInterval, 0.0001);
    EXPECT_EQ(messageTexts(ui),
              std::vector<std::string>{
                  "The shortest sample time for USB 2 is 100uS.\nSetting sample interval to 100uS"});
    ASSERT_TRUE(runToCompletion());
}

TEST_F(MainFrameTest, LongIntervalsWithoutOversamplingAskAboutAliasing)
{
    build();
    store->scanConfiguration().SampleInterval = 0.002;
    ui.queueMessageReply(IDNO_);
    EXPECT_FALSE(control->start());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "The data maybe aliased.\nWould you like to continue?");
    EXPECT_EQ(ui.messages()[0].caption, "Acquisition");
    EXPECT_EQ(ui.messages()[0].flags, MB_YESNO_ | MB_ICONEXCLAMATION_);
    EXPECT_FALSE(scanRequested.load());
    EXPECT_TRUE(loop.documents().empty());

    ui.clear();
    store->scanConfiguration().SampleInterval = 0.001;
    ASSERT_TRUE(control->start());
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_FALSE(control->start()) << "a second Run while one is requested does nothing";
    ASSERT_TRUE(runToCompletion());
}

// Continuous mode: the corrections, Stop disabled for 5 s, then a Stop.
TEST_F(MainFrameTest, ContinuousScanIsCorrectedAndStopped)
{
    switches.writeResultFile = true;
    build();
    CScanConfiguration& c = store->scanConfiguration();
    c.ScanMode = ScanModes::Continuous;
    c.SampleInterval = 1.0;
    c.NoOfAverages = 4;
    c.Oversample = 1;
    ASSERT_TRUE(control->start());
    EXPECT_EQ(messageTexts(ui),
              (std::vector<std::string>{
                  "The shortest sample time for continuous acquisition is 5s.\nSetting sample interval to 5s",
                  "Averaging cannot be used for continuous acquisition.\nSetting number of averages to 1"}));
    EXPECT_EQ(ui.messages()[1].caption, "Sample Averaging");
    EXPECT_DOUBLE_EQ(c.SampleInterval, 5.0);
    EXPECT_EQ(c.NoOfAverages, 1);
    EXPECT_EQ(loop.timerPeriod(FrameServices::kGraphTimerId), 6000u);
    EXPECT_EQ(loop.timerPeriod(FrameServices::kStopTimerId), 5000u);
    EXPECT_FALSE(loop.mainWindowCloseEnabled());

    ui.clear();
    EXPECT_FALSE(control->canStop());
    control->stop();
    EXPECT_TRUE(ui.messages().empty()) << "Stop is disabled within 5 s of the start";
    EXPECT_TRUE(scanRequested.load());

    ASSERT_TRUE(loop.runUntil([&] { return control->canStop(); }, std::chrono::seconds(30)));
    EXPECT_FALSE(loop.timerRunning(FrameServices::kStopTimerId));
    ASSERT_TRUE(loop.runUntil([] { return scanThreadActive.load(); }, std::chrono::seconds(30)));
    EXPECT_EQ(control->scanStatusText().rfind("Sample ", 0), 0u);
    control->stop();
    EXPECT_EQ(messageTexts(ui), std::vector<std::string>{"Stop Current Scan? This may take several seconds"});
    EXPECT_EQ(ui.messages()[0].caption, "Scan");
    const auto progress = ui.progressEvents();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress[0].title, "Stopping scan");
    EXPECT_EQ(progress[0].line1, "Stopping");
    EXPECT_EQ(progress[0].line2, "Please wait...");
    EXPECT_EQ(progress.back().kind, ScriptedUserInteraction::ProgressEvent::Kind::Close);
    EXPECT_FALSE(scanRequested.load());
    EXPECT_FALSE(scanThreadActive.load());
    EXPECT_FALSE(IsScanning());
    EXPECT_FALSE(control->scanInProgress());
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "Success", "", control->resultFilePath()), "No");
    EXPECT_EQ(control->scanStatusText(), "Idle");
}

// Aborting a single scan sends the set-up again and zeroes the instrument.
TEST_F(MainFrameTest, AbortSetsTheInstrumentUpAgainAndResetsIt)
{
    build();
    store->scanConfiguration().NoOfSamples = 400000;
    ASSERT_TRUE(control->start());
    ASSERT_TRUE(loop.runUntil([&] { return control->canStop(); }, std::chrono::seconds(30)));
    instrument->clearControlRequests();
    ui.queueMessageReply(IDNO_);
    control->stop();
    EXPECT_TRUE(scanRequested.load()) << "No leaves the scan running";
    control->stop();
    EXPECT_EQ(messageTexts(ui),
              (std::vector<std::string>{"Abort Current Scan? This may take several seconds",
                                        "Abort Current Scan? This may take several seconds"}));
    EXPECT_EQ(ui.progressEvents().front().title, "Aborting scan");
    EXPECT_FALSE(scanThreadActive.load());
    bool zeroed = false;
    int sensorWords = 0;
    for (const auto& r : instrument->controlRequests()) {
        sensorWords += r.request == 0xA3;
        zeroed = zeroed || (r.request == 0xA9 && (r.value & 0x04));
    }
    EXPECT_GE(sensorWords, 6) << "the set-up was sent again";
    EXPECT_TRUE(zeroed) << "Reset shorted the inputs to zero them";
    ASSERT_NE(control->scanDocument(), nullptr);
    EXPECT_LT(control->scanDocument()->scan.input1.samplesAcquired, 400000);
}

TEST_F(MainFrameTest, ConfigureStoresThePagesAndSetsTheInstrumentUp)
{
    build();
    ScriptedSheet sheet;
    sheet.script = [](SettingsSheetValues& v) {
        v.scanConfiguration.NoOfSamples = 1001;
        v.scanConfiguration.UseInput1 = 1;
        v.scanConfiguration.UseInput2 = 0;
        v.scanConfiguration.Input2Mode = "Accelerometer";
        v.specification.applyTimeTest[0] = v.specification.applyTimeTest[1] = 1;
        v.specification.applyFrequencyTest[1] = 1;
        v.specification.maximumExcursion[0] = 2.5;
        v.gain1 = 100;
        v.coupling1 = 1;
        v.defaults.FFTK = 4;
        return true;
    };
    instrument->clearControlRequests();
    ASSERT_TRUE(control->configure(sheet));
    const CScanConfiguration& c = store->scanConfiguration();
    EXPECT_EQ(c.NoOfSamples, 1040);
    EXPECT_EQ(c.Specification.applyTimeTest[0], 1);
    EXPECT_EQ(c.Specification.applyTimeTest[1], 0) << "tests of an unused input are switched off";
    EXPECT_EQ(c.Specification.applyFrequencyTest[1], 0);
    EXPECT_DOUBLE_EQ(c.Specification.maximumExcursion[0], 2.5);
    EXPECT_EQ(c.Input1SensorGain, 100);
    EXPECT_EQ(c.Input1HPFilter, 1);
    EXPECT_EQ(store->defaultSettings().FFTK, 4);

    std::vector<int> codes;
    for (const auto& r : instrument->controlRequests())
        codes.push_back(r.request);
    EXPECT_EQ(codes, (std::vector<int>{0xA3, 0xA3, 0xA3, 0xA3, 0xA3, 0xA3, 0xA9, 0xA9}));
    // Input 1 powered, gain 100 (code 3), high-pass on; input 2 off, an accelerometer.
    EXPECT_EQ(instrument->state().sensorWord, 0x000D);
    EXPECT_EQ(instrument->state().inputWord, 0x0002);
    EXPECT_TRUE(loop.documents().empty()) << "no scan without ScanOnExit";

    // Cancel: nothing stored, nothing sent.
    instrument->clearControlRequests();
    sheet.script = [](SettingsSheetValues& v) {
        v.scanConfiguration.NoOfSamples = 7;
        return false;
    };
    EXPECT_FALSE(control->configure(sheet));
    EXPECT_EQ(store->scanConfiguration().NoOfSamples, 1040);
    EXPECT_TRUE(instrument->controlRequests().empty());
}

TEST_F(MainFrameTest, ConfigureZeroesAndScansOnExitWhenAsked)
{
    build();
    store->defaultSettings().ZeroAndStabilise = 1;
    ScriptedSheet sheet;
    sheet.script = [](SettingsSheetValues& v) {
        v.scanConfiguration.NoOfSamples = 1000;
        v.scanConfiguration.Input1Mode = "Magnetometer";
        v.scanConfiguration.UseInput2 = 0;
        v.scanConfiguration.Input2Mode = "Microphone";
        v.defaults.ScanOnExit = 1;
        return true;
    };
    ASSERT_TRUE(control->configure(sheet));
    EXPECT_EQ(store->scanConfiguration().NoOfSamples, 1000);
    const auto progress = ui.progressEvents();
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0].title, "Zeroing Instrument");
    EXPECT_EQ(progress[0].line1, "Zeroing sensor");
    EXPECT_EQ(progress[0].line2, "Please wait 2 seconds");
    EXPECT_FALSE(progress[0].showBar);
    EXPECT_EQ(progress[1].kind, ScriptedUserInteraction::ProgressEvent::Kind::Close);
    ASSERT_EQ(loop.documents().size(), 1u) << "ScanOnExit starts a scan";
    ASSERT_TRUE(runToCompletion());
}

// A refused set-up call or zeroing is shown with the call and the driver's
// text, and no scan follows it; the settings themselves are kept.
TEST_F(MainFrameTest, ARefusedSetupInConfigureIsShownAndNoScanFollows)
{
    build();
    store->defaultSettings().ZeroAndStabilise = 1;
    ScriptedSheet sheet;
    sheet.script = [](SettingsSheetValues& v) {
        v.scanConfiguration.NoOfSamples = 1000;
        v.gain1 = 100;
        v.defaults.ScanOnExit = 1;
        return true;
    };
    FenmarlUsb::InstrumentFault fault;
    fault.request = 0xA3;
    fault.after = 2; // both TurnSensorOn calls go through; SetSensorGain(1, 3) is refused
    instrument->setFaults({fault});
    ASSERT_TRUE(control->configure(sheet));
    EXPECT_EQ(store->scanConfiguration().Input1SensorGain, 100);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(
        ui.messages()[0].text,
        "The instrument could not be set up.\nSetSensorGain(1, 3) failed: WinUsb_ControlTransfer failed");
    EXPECT_EQ(ui.messages()[0].caption, "Instrument Setup");
    EXPECT_TRUE(ui.progressEvents().empty()) << "no zeroing after a refused call";
    EXPECT_TRUE(loop.documents().empty()) << "ScanOnExit does not scan an instrument not set up";

    // Zeroing that fails is reported the same way.
    FenmarlUsb::InstrumentFault zeroing;
    zeroing.request = 0xA9; // the input word: SetInputType goes through, Reset's zeroing switch does not
    zeroing.after = 2;
    instrument->setFaults({zeroing});
    ASSERT_TRUE(control->configure(sheet));
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[1].text.rfind("The instrument could not be set up.\nReset failed", 0), 0u)
        << ui.messages()[1].text;
    EXPECT_TRUE(loop.documents().empty());
}

// Each set-up call goes to input 1, then input 2; a refusal on input 2 names
// that input and the value sent, and stops the calls after it.
TEST_F(MainFrameTest, ARefusalOnTheSecondInputNamesItAndItsValue)
{
    build();
    ScriptedSheet sheet;
    sheet.script = [](SettingsSheetValues& v) {
        v.scanConfiguration.Input2Mode = SensorTypes::Magnetometer;
        return true;
    };
    FenmarlUsb::InstrumentFault sensor;
    sensor.request = 0xA3;
    sensor.after = 5; // TurnSensorOn ×2, SetSensorGain ×2, SetSensorHPFilter(1) go through
    instrument->setFaults({sensor});
    ASSERT_TRUE(control->configure(sheet));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text.rfind("The instrument could not be set up.\nSetSensorHPFilter(2, ", 0),
              0u)
        << ui.messages()[0].text;

    FenmarlUsb::InstrumentFault input;
    input.request = 0xA9;
    input.after = 1; // SetInputType(1) goes through; a magnetometer on input 2 is type 0
    instrument->setFaults({input});
    ASSERT_TRUE(control->configure(sheet));
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(
        ui.messages()[1].text.rfind("The instrument could not be set up.\nSetInputType(2, 0) failed", 0), 0u)
        << ui.messages()[1].text;
}

TEST_F(MainFrameTest, MultipleModeNamesAreCheckedBeforeTheScan)
{
    build();
    multipleRuns(store->scanConfiguration(), 3);
    const fs::path dir = fs::path(folder) / "runs";
    const fs::path locked = fs::path(folder) / "locked";
    fs::create_directories(dir);
    fs::create_directories(locked);
    std::ofstream(dir / "a_1.ts6") << "old";
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);

    ui.queueFile(dir / "a_12.ts6");
    ui.queueMessageReply(IDNO_);
    ui.queueFile(locked / "b.ts6");
    EXPECT_FALSE(control->start()) << "the third dialog is cancelled";
    fs::permissions(locked, fs::perms::owner_all);

    EXPECT_EQ(messageTexts(ui),
              (std::vector<std::string>{"One or more files already exist.\nDo you want to replace them?",
                                        "The directory is read only.\nPlease select another"}));
    EXPECT_EQ(ui.messages()[0].caption, "Confirm Save As");
    EXPECT_EQ(ui.messages()[1].caption, "Confirm Save As");
    const auto requests = ui.fileRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(requests[0].save);
    EXPECT_EQ(requests[0].defaultExtension, "ts6");
    EXPECT_EQ(requests[0].filter, "Tesselon-6 files (*.ts6)|*.ts6");
    EXPECT_TRUE(requests[0].overwritePrompt);
    EXPECT_EQ(requests[0].initialFolder, fs::path(folder + "/"));
    EXPECT_FALSE(scanRequested.load());
    EXPECT_TRUE(loop.documents().empty());
}

TEST_F(MainFrameTest, MultipleScanSavesEveryRun)
{
    build();
    CScanConfiguration& c = multipleRuns(store->scanConfiguration(), 2);
    c.NoOfSamples = 200;
    store->defaultSettings().ExportMultiASCII = 1;
    const fs::path dir = fs::path(folder) / "multi";
    fs::create_directories(dir);
    ui.queueFile(dir / "probe_2.ts6");
    ASSERT_TRUE(control->start());
    EXPECT_EQ(c.FileName, (dir / "probe.ts6").string());
    EXPECT_EQ(control->scanFolder(), dir);
    ASSERT_TRUE(runToCompletion());
    for (const char* name : {"probe_0.ts6", "probe_1.ts6", "probe_0.dat", "probe_1.dat"})
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    // Each run file holds that run: reopen the first and look at its counts.
    CCorvelDoc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(dir / "probe_0.ts6", nullptr));
    EXPECT_EQ(reopened.scan.input1.samplesAcquired, 200);
    EXPECT_EQ(reopened.scan.input1.averagesCompleted, 0);
}

TEST_F(MainFrameTest, ResultFileAndItsFailure)
{
    const fs::path out = fs::path(folder) / "out";
    fs::create_directories(out);
    switches.silentMode = true;
    switches.writeResultFile = true;
    switches.outputFolder = out.string();
    build();
    EXPECT_EQ(control->resultFilePath(), out / "SuccessFailure.ini");
    control->writeResultFile(true);
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "Success", "", out / "SuccessFailure.ini"), "Yes");
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "LostSamples", "", out / "SuccessFailure.ini"), "0");
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "Passed", "absent", out / "SuccessFailure.ini"),
              "absent");
    control->runOutcome().passed = 0;
    control->runOutcome().lostSamples = 127;
    control->writeResultFile(false, "First reason\nsecond line");
    control->writeResultFile(false, "A later reason");
    const fs::path result = out / "SuccessFailure.ini";
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "Success", "", result), "No");
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "Passed", "", result), "No");
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "LostSamples", "", result), "127");
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "Reason", "", result), "First reason second line");
    // Once a failure is recorded, nothing reports the run as a success.
    control->writeResultFile(true);
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "Success", "", result), "No");
    EXPECT_EQ(control->lastResult(), 0);
    EXPECT_TRUE(ui.messages().empty());

    // A "folder" that is a file cannot take the result file.
    std::ofstream(fs::path(folder) / "plain") << "x";
    switches.outputFolder = folder + "/plain";
    MainFrameControl other(ui, loop, loop.scanEvents(), *store, switches);
    other.writeResultFile(true);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Error - unable to generate Success/Failure File ");
    EXPECT_EQ(ui.messages()[0].caption, "Error");
    EXPECT_EQ(ui.messages()[0].icon(), MB_ICONERROR_);
}

TEST_F(MainFrameTest, RunChecksTheDataFolderBeforeTheScan)
{
    build();
    std::ofstream(fs::path(folder) / "plain") << "a file, not a folder";
    store->defaultSettings().FilePath = folder + "/plain/scans/";
    EXPECT_FALSE(control->start());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text.rfind("The folder " + folder + "/plain/scans/ could not be created: ", 0),
              0u)
        << ui.messages()[0].text;
    EXPECT_NE(ui.messages()[0].text.find("(Configure, General page)"), std::string::npos);
    EXPECT_EQ(ui.messages()[0].icon(), MB_ICONERROR_);
    EXPECT_FALSE(scanRequested.load());
    EXPECT_TRUE(loop.documents().empty()) << "nothing started";

    // A missing folder is made, with its parents, and the scan goes there.
    store->defaultSettings().FilePath = folder + "/made/for/scans/";
    fs::remove_all(fs::path(folder) / "made");
    ASSERT_TRUE(control->start());
    ASSERT_TRUE(runToCompletion());
    EXPECT_EQ(control->runOutcome().reason, "");
    bool saved = false;
    for (const auto& entry : fs::directory_iterator(fs::path(folder) / "made/for/scans"))
        saved = saved || entry.path().extension() == ".ts6";
    EXPECT_TRUE(saved);
}

TEST_F(MainFrameTest, AFailedSaveIsShownWithTheFileAndTheReason)
{
    build();
    CCorvelDoc document;
    const fs::path target = fs::path(folder) / "gone" / "scan.ts6";
    fs::remove_all(fs::path(folder) / "gone");
    EXPECT_FALSE(control->saveDocument(document, target));
    ASSERT_EQ(ui.messages().size(), 1u);
    const std::string text = ui.messages()[0].text;
    EXPECT_EQ(text.rfind("The scan could not be saved to " + target.string() + ": ", 0), 0u) << text;
    EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;
    EXPECT_EQ(ui.messages()[0].icon(), MB_ICONERROR_);
    EXPECT_EQ(control->runOutcome().reason, text) << "and the run is not a success";
}
