// Unattended runs on the simulated instrument that go wrong: bad values,
// bad folders, failing saves, full temporary storage, colliding names,
// terminating signals and instruments that cannot be used. Each must end
// with Success=No, a reason, a message, and the data it acquired kept.

#include "app/acquisition/tests/ScanThreadTestSupport.h"
#include "app/shell/tests/integration/UnattendedTestSupport.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/MappedSeries.h"
#include "app/acquisition/ScanThread.h"
#include "app/shell/ApplicationSequence.h"
#include "app/shell/InstrumentDetection.h"
#include "app/base/ScriptedUserInteraction.h"
#include "app/shell/TerminationSignals.h"
#include "common/platform/PrivateProfile.h"
#include "simulator/BareDevice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace ScanTest;
using namespace UnattendedTest;
using namespace FenmarlCommonDLL::platform;
namespace fs = std::filesystem;

namespace {

class UnattendedFailure : public RunFixture
{
protected:
    UnattendedFailure() : RunFixture("failure-") {}

    void TearDown() override
    {
        RunFixture::TearDown();
        MappedSeries::setGrowthLimitForTesting(0);
        unsetenv("TESSELON_AVAILABLE_MEMORY");
    }
};

} // namespace

TEST_F(UnattendedFailure, ASampleCountBeyondTheMemoryIsRefusedBeforeTheInstrumentIsTouched)
{
    setenv("TESSELON_AVAILABLE_MEMORY", std::to_string(64 << 20).c_str(), 1);
    writeSettings({.samples = "2147483647", .runs = 2});
    auto instrument = plugInstruments({instrumentConfig()}, false).front();
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);
    EXPECT_EQ(result(), "No");
    EXPECT_NE(result("Reason").find("NoOfSamples=2147483647 is out of range: accepted 5 to "),
              std::string::npos)
        << result("Reason");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_NE(ui.messages()[0].text.find("NoOfSamples=2147483647"), std::string::npos);
    EXPECT_NE(ui.messages()[0].text.find("64 MB of memory is available"), std::string::npos);
    EXPECT_TRUE(filesWithExtension(out, ".ts6", true).empty());
    EXPECT_TRUE(instrument->controlRequests().empty()) << "nothing was scanned";
}

TEST_F(UnattendedFailure, OutOfRangeValuesGiveNoAndNothingIsScanned)
{
    for (const auto& [samples, averages, key] :
         {std::tuple<const char*, const char*, const char*>{"0", "1", "NoOfSamples=0"},
          {"-1", "1", "NoOfSamples=-1"},
          {"200", "1000000", "NoOfAverages=1000000"}}) {
        writeSettings({.samples = samples, .runs = 2, .averages = averages});
        auto instrument = plugInstruments({instrumentConfig()}, false).front();
        ScriptedUserInteraction quiet;
        EXPECT_EQ(RunUnattendedProgram(arguments(), quiet), 1) << key;
        EXPECT_EQ(result(), "No") << key;
        EXPECT_NE(result("Reason").find(key), std::string::npos) << result("Reason");
        EXPECT_TRUE(instrument->controlRequests().empty()) << key;
    }
    EXPECT_TRUE(filesWithExtension(out, ".ts6", true).empty());
}

TEST_F(UnattendedFailure, AMissingOutputFolderIsCreatedWithItsParents)
{
    writeSettings({.samples = "400", .runs = 2});
    plugInstruments({instrumentConfig()}, false);
    const fs::path deep = base / "new" / "deeper" / "out";
    EXPECT_EQ(RunUnattendedProgram(arguments(deep), ui), 0);
    EXPECT_EQ(result("Success", deep), "Yes");
    EXPECT_EQ(filesWithExtension(deep, ".ts6", true).size(), 1u);
    EXPECT_EQ(filesWithExtension(deep, ".dat", true).size(), 1u);
}

TEST_F(UnattendedFailure, AnOutputFolderThatCannotBeMadeIsReportedBeforeTheScan)
{
    writeSettings({.samples = "400", .runs = 2});
    auto instrument = plugInstruments({instrumentConfig()}, false).front();
    std::ofstream(base / "plain") << "a file, not a folder";
    const fs::path impossible = base / "plain" / "out";
    EXPECT_EQ(RunUnattendedProgram(arguments(impossible), ui), 1);
    ASSERT_GE(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text.rfind("The folder " + impossible.string() + " could not be created: ", 0),
              0u)
        << ui.messages()[0].text;
    EXPECT_NE(ui.messages()[0].text.find("Nothing was scanned"), std::string::npos);
    EXPECT_TRUE(instrument->controlRequests().empty()) << "said before the instrument is touched";
    const std::string log = TestSupport::logText("Tesselon.log");
    EXPECT_NE(log.find("could not be created"), std::string::npos);
}

TEST_F(UnattendedFailure, AFailedTextExportMakesTheRunNoAndSaysWhichFile)
{
    writeSettings({.samples = "300", .scanMode = ScanModes::Multiple, .runs = 2});
    plugInstruments({instrumentConfig()}, false);
    // A folder where the first run's text file belongs: it cannot be written.
    fs::create_directories(out / "auto_0.dat");
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);
    EXPECT_EQ(result(), "No");
    EXPECT_EQ(result("Reason").rfind(
                  "The text export " + (out / "auto_0.dat").string() + " could not be written: ", 0),
              0u)
        << result("Reason");
    EXPECT_TRUE(fs::exists(out / "auto_0.ts6")) << "the scan itself is kept";
    EXPECT_TRUE(fs::exists(out / "auto_1.dat"));
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_EQ(
        ui.messages()[0].text.rfind("Cannot open data file\n" + (out / "auto_0.dat").string() + ": ", 0), 0u)
        << ui.messages()[0].text;
}

TEST_F(UnattendedFailure, FullTemporaryStorageEndsTheScanAndKeepsWhatWasAcquired)
{
    // Every series may hold its first growth step only: the second chunk of samples has no room.
    MappedSeries::setGrowthLimitForTesting(MappedSeries::kGrowthStep);
    writeSettings({.samples = "100000", .runs = 2});
    auto config = instrumentConfig();
    config.speedFactor = 50;
    plugInstruments({config}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);
    MappedSeries::setGrowthLimitForTesting(0); // room again to read the file back
    EXPECT_EQ(result(), "No");
    EXPECT_NE(result("Reason").find("temporary storage in"), std::string::npos) << result("Reason");
    EXPECT_NE(result("Reason").find("No space left on device"), std::string::npos) << result("Reason");
    const auto scans = filesWithExtension(out, ".ts6", true);
    ASSERT_EQ(scans.size(), 1u) << "what was acquired is saved";
    CCorvelDoc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(scans[0], nullptr));
    EXPECT_GT(reopened.scan.input1.samplesAcquired, 0);
    EXPECT_LT(reopened.scan.input1.samplesAcquired, 100000);
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_EQ(ui.messages()[0].text.rfind("The scan ended early after ", 0), 0u) << ui.messages()[0].text;
    EXPECT_NE(ui.messages()[0].text.find(scans[0].string()), std::string::npos);
}

TEST_F(UnattendedFailure, AnAutomaticNameIsConfinedToItsFolder)
{
    writeSettings({.samples = "300", .scanMode = ScanModes::Multiple, .runs = 2, .autoName = "../escape.ts6"});
    auto instrument = plugInstruments({instrumentConfig()}, false).front();
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);
    EXPECT_EQ(result(), "No");
    EXPECT_NE(result("Reason").find("AutoFileName=../escape.ts6"), std::string::npos) << result("Reason");
    EXPECT_TRUE(filesWithExtension(base, ".ts6", true).empty());
    EXPECT_TRUE(instrument->controlRequests().empty());
}

TEST_F(UnattendedFailure, RunNamesThatWouldBeCutAreRefusedInsteadOfOverwritten)
{
    // Deep enough that "<folder>/run_N.ts6" passes 255 characters.
    fs::path deep = out;
    while (deep.string().size() < 250)
        deep /= std::string(40, 'd');
    writeSettings({.samples = "300", .scanMode = ScanModes::Multiple, .runs = 3, .autoName = "run.ts6"});
    plugInstruments({instrumentConfig()}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(deep), ui), 1);
    EXPECT_EQ(result("Success", deep), "No");
    EXPECT_NE(result("Reason", deep).find("would have names longer than 255 characters"), std::string::npos)
        << result("Reason", deep);
    EXPECT_TRUE(filesWithExtension(base, ".ts6", true).empty()) << "no run was scanned, none overwrote another";
}

TEST_F(UnattendedFailure, AnInstrumentThatRefusesToOpenAsksForTheUdevRule)
{
    writeSettings({.samples = "300", .runs = 2});
    auto config = instrumentConfig();
    config.refuseOpen = 5; // access denied
    plugInstruments({config}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);
    EXPECT_EQ(result(), "No");
    ASSERT_EQ(ui.messages().size(), 1u);
    const std::string text = ui.messages()[0].text;
    EXPECT_EQ(text.find("No Tesselon-6 found"), std::string::npos) << text;
    EXPECT_NE(text.find("access denied"), std::string::npos) << text;
    EXPECT_NE(text.find("70-tesselon-6.rules"), std::string::npos) << text;
    EXPECT_NE(result("Reason").find("access denied"), std::string::npos);
}

TEST_F(UnattendedFailure, WhatIsTrueAboutAnInstrumentIsSaid)
{
    // A bare microcontroller that never gets its firmware.
    plugInstruments({}, false);
    auto& bus = FenmarlUsb::SimulatedBus::instance();
    bus.plug(std::make_shared<FenmarlUsb::BareDevice>(nullptr));
    bus.waitIdle();
    const std::string bare = InstrumentDetection::whyNoInstrument();
    EXPECT_NE(bare.find("without its firmware"), std::string::npos) << bare;
    EXPECT_NE(bare.find("04b4:8613"), std::string::npos) << bare;

    plugInstruments({});
    EXPECT_EQ(InstrumentDetection::whyNoInstrument(), "") << "nothing of ours plugged in";

    plugInstrument(instrumentConfig(false));
    EXPECT_NE(InstrumentDetection::whyDataStopped().find("USB 2 port"), std::string::npos);
    plugInstrument(instrumentConfig(true));
    EXPECT_NE(InstrumentDetection::whyDataStopped().find("No data came from the instrument for 10 s"),
              std::string::npos);
    plugInstruments({}, false);
    EXPECT_NE(InstrumentDetection::whyDataStopped().find("disconnected"), std::string::npos);
}

// The real program, killed by a watchdog mid-scan: the scan is stopped, what
// it acquired is saved and the result says why the run failed.
TEST_F(UnattendedFailure, SigtermEndsTheProgramWithItsDataAndAReason)
{
#ifndef TESSELON_PROGRAM_BUILT
    GTEST_SKIP() << "this build has no desktop program (the sanitizer builds leave it out)";
#endif
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const fs::path program = fs::path(self).parent_path() / "tesselon-6";
    ASSERT_TRUE(fs::exists(program)) << "build the tesselon-6 target";

    writeSettings({.samples = "400000", .runs = 2});
    const fs::path profile = base / "simulator.ini";
    std::ofstream(profile) << "[Simulator]\nSpeedFactor = 1\n";
    const fs::path logFile = TestSupport::logFile("Tesselon.log");
    const std::size_t logStart = fs::exists(logFile) ? readText(logFile).size() : 0;

    // Everything the child needs is made before the fork: after it, only exec.
    const auto args = arguments();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment{"TESSELON_USB=simulator", "TESSELON_SIMULATOR=" + profile.string(),
                                         "QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "TESSELON_USB" && name != "TESSELON_SIMULATOR" && name != "QT_QPA_PLATFORM")
            environment.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    // Wait until the scan runs, then send what a watchdog sends.
    const bool scanning = waitFor(
        [&] {
            const std::string log = readText(logFile);
            return log.size() > logStart &&
                   log.find("Starting data acquisition (Scan).", logStart) != std::string::npos;
        },
        std::chrono::seconds(60));
    if (scanning) std::this_thread::sleep_for(std::chrono::seconds(1));
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(scanning);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by itself, not by the signal";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(result(), "No");
    EXPECT_EQ(result("Reason"), "The run was ended by SIGTERM before its scan completed.");
    // What was acquired is saved.
    CCorvelDoc reopened;
    ASSERT_TRUE(openTheOnlyScan(out, reopened, true));
    EXPECT_LT(reopened.scan.input1.samplesAcquired, 400000);
    EXPECT_NE(readText(logFile).find("Tesselon: Exit", logStart), std::string::npos) << "closed in order";
}

// A signal that comes before the scan has started: nothing is scanned and
// the run still ends with its reason.
TEST_F(UnattendedFailure, ASignalBeforeTheScanEndsTheRunWithItsReason)
{
    writeSettings({.samples = "400", .runs = 2});
    auto instrument = plugInstruments({instrumentConfig()}, false).front();
    TerminationSignals::install();
    ASSERT_EQ(std::raise(SIGHUP), 0);
    EXPECT_EQ(TerminationSignals::pending(), SIGHUP);
    EXPECT_EQ(TerminationSignals::name(SIGHUP), "SIGHUP");
    const int rc = RunUnattendedProgram(arguments(), ui);
    TerminationSignals::reset();
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(result(), "No");
    EXPECT_EQ(result("Reason"), "The run was ended by SIGHUP before its scan completed.");
    EXPECT_TRUE(filesWithExtension(out, ".ts6", true).empty());
    EXPECT_EQ(TerminationSignals::pending(), 0);
}

// A read that times out and an instrument on a full-speed port no longer
// both read "may have failed or been disconnected".
TEST_F(UnattendedFailure, AStoppedScanSaysWhyTheDataStopped)
{
    writeSettings({.samples = "40000", .runs = 2});
    auto timingOut = instrumentConfig();
    FenmarlUsb::InstrumentFault fault;
    fault.kind = FenmarlUsb::InstrumentFault::Kind::BulkRead;
    fault.error = 121;
    fault.after = 2;
    timingOut.faults.push_back(fault);
    plugInstruments({timingOut}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), ui), 1);
    EXPECT_EQ(result(), "No");
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_NE(ui.messages()[0].text.find("No data came from the instrument for 10 s"), std::string::npos)
        << ui.messages()[0].text;
    EXPECT_EQ(ui.messages()[0].text.find("may have failed"), std::string::npos);
    EXPECT_NE(result("Reason").find("No data came from the instrument for 10 s"), std::string::npos);

    ScriptedUserInteraction second;
    plugInstruments({instrumentConfig(false)}, false);
    EXPECT_EQ(RunUnattendedProgram(arguments(), second), 1);
    EXPECT_EQ(result(), "No");
    EXPECT_NE(result("Reason").find("USB 2 port"), std::string::npos) << result("Reason");
}

// The microphone sensitivity survives run after run: a 1 Pa (RMS) tone at
// the default 0.05 V/Pa reads 94 dB every time.
TEST_F(UnattendedFailure, AOnePascalToneReads94DecibelsRunAfterRun)
{
    writeSettings({.samples = "16384", .runs = 2});
    {
        std::string text = readText(settingsFile);
        const auto replace = [&text](const std::string& from, const std::string& to) {
            text.replace(text.find(from), from.size(), to);
        };
        replace("Input1Mode=Magnetometer", "Input1Mode=Microphone");
        replace("FFTK=2", "FFTK=1");
        replace("FFTWindowing=3", "FFTWindowing=0");
        std::ofstream(settingsFile) << text;
    }
    auto config = instrumentConfig();
    // 125 Hz falls on a spectrum line at 1 kHz: no window, no leakage.
    config.channels[0].dc = 0.0;
    config.channels[0].noise = 0.0;
    config.channels[0].sines = {{0.05 * std::sqrt(2.0), 125.0, 0.0}};
    for (int run = 0; run < 2; ++run) {
        fs::remove_all(out);
        plugInstruments({config}, false);
        ScriptedUserInteraction quiet;
        ASSERT_EQ(RunUnattendedProgram(arguments(), quiet), 0) << "run " << run;
        const auto exports = filesWithExtension(out, ".dat", true);
        ASSERT_EQ(exports.size(), 1u);
        std::istringstream lines(readText(exports[0]));
        std::string line;
        double loudest = -1e9;
        for (int row = 0; std::getline(lines, line); ++row) {
            if (row < 2) continue; // header and column names
            std::vector<std::string> fields;
            std::stringstream cells(line);
            for (std::string cell; std::getline(cells, cell, '\t');)
                fields.push_back(cell);
            if (fields.size() >= 6 && !fields[5].empty()) loudest = std::max(loudest, std::stod(fields[5]));
        }
        EXPECT_NEAR(loudest, 94.0, 0.5) << "run " << run;
    }
}
