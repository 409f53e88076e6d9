// The unattended run end to end on the simulated instrument: settings file
// and -s -r -i -o switches, detection, connection, zeroing, one scan, the scan
// file with its text export, and the result file; and the ways it fails.

#include "app/acquisition/tests/ScanThreadTestSupport.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanThread.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/shell/ApplicationSequence.h"
#include "app/shell/CoreFrameLoop.h"
#include "app/shell/InstrumentDetection.h"
#include "app/shell/MainFrameControl.h"
#include "app/shell/ScriptedUserInteraction.h"
#include "common/platform/PrivateProfile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace ScanTest;
using namespace FenmarlCommonDLL::platform;
namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<fs::path> filesWithExtension(const fs::path& folder, const std::string& extension)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == extension) found.push_back(entry.path());
    return found;
}

class UnattendedRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = fs::path(scratchFolder()) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        out = base / "out";
        fs::create_directories(out);
        settingsFile = base / "run.ini";
    }
    void TearDown() override
    {
        scanRequested = false;
        WaitForScanThreadExit();
        CloseDevice();
    }

    void writeSettings(const std::string& samples = "2000", int scanMode = 0, int runs = 1)
    {
        std::ofstream ini(settingsFile);
        ini << "[Display]\nShowFieldComponents=True\n"
            << "[Sensors]\nUseInput1=True\nUseInput2=False\n"
            << "[Input]\nInput1AutoScale=True\nInput2AutoScale=True\nCoupling1=0\nCoupling2=0\n"
            << "Mode1=Normal\nInput1DisplayType=Both\nInput1Mode=Magnetometer\n"
            << "Mode2=Normal\nInput2DisplayType=Both\nInput2Mode=Magnetometer\n"
            << "[Acquisition]\nNoOfAverages=1\nNoOfSamples=" << samples << "\nSampleInterval=0.001\n"
            << "ScanMode=" << scanMode << "\nNoOfRollingPoints=2\nNumberofRuns=" << runs
            << "\nOversample=False\n"
            << "[InstrumentSetup]\nInput1SensorGain=1\nInput2SensorGain=1\n"
            << "[DigitalFiltering]\nFilter=0\n"
            << "[General]\nExportMultiASCII=True\nAutoFileName=auto.ts6\n"
            << "[Sensor]\nUnitMagnetic=1\nUnitVibration=2\nMagneticScaling1=10\nMagneticScaling2=10\n"
            << "[FFT]\nFFTK=2\nFFTWindowing=3\nFFTOverlap=True\nInput1Scaling=0\nInput2Scaling=0\n";
    }

    std::vector<std::string> arguments() const
    {
        return {"-s", "-r", "-i" + settingsFile.string(), "-o" + out.string()};
    }

    std::string result() const
    {
        return getPrivateProfileString("Tesselon-6", "Success", "", out / "SuccessFailure.ini");
    }

    fs::path base, out, settingsFile;
    ScriptedUserInteraction ui;
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

    const char* data = std::getenv("XDG_DATA_HOME");
    const std::string log = readText(fs::path(data ? data : "") / "Tesselon/Logs/Tesselon.log");
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
    writeSettings("12abc");
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
    writeSettings("40000");
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
    writeSettings("400000");
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
    writeSettings("400", 2, 2);
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
