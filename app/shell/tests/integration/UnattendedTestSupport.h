#pragma once

// What the unattended-run tests share: a folder and a settings file of their
// own, the run's switches and a look at the files a run left.

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanThread.h"
#include "app/acquisition/tests/ScanThreadTestSupport.h"
#include "app/base/ConfigurationValues.h"
#include "app/base/ScriptedUserInteraction.h"
#include "common/platform/PrivateProfile.h"
#include "testsupport/ProgramLogs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace UnattendedTest {

inline std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Files of that extension in the folder (and below it, when asked).
inline std::vector<std::filesystem::path> filesWithExtension(const std::filesystem::path& folder,
                                                             const std::string& extension, bool below = false)
{
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    if (below) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec))
            if (entry.path().extension() == extension) found.push_back(entry.path());
    } else {
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            if (entry.path().extension() == extension) found.push_back(entry.path());
    }
    return found;
}

// Opens the one scan file a run left in the folder (or below it) into `doc`:
// a failed run still keeps what it acquired.
inline ::testing::AssertionResult openTheOnlyScan(const std::filesystem::path& folder, CCorvelDoc& doc,
                                                  bool below = false)
{
    const auto scans = filesWithExtension(folder, ".ts6", below);
    if (scans.size() != 1u)
        return ::testing::AssertionFailure() << scans.size() << " scan files in " << folder << ", not one";
    if (!doc.OnOpenDocument(scans[0], nullptr))
        return ::testing::AssertionFailure() << scans[0] << " does not open";
    return ::testing::AssertionSuccess();
}

// A settings file for input 1 (a magnetometer) with every key a scan reads.
struct Settings
{
    std::string samples = "2000";
    int scanMode = 0;
    int runs = 1;
    std::string interval = "0.001";
    std::string autoName = "auto.ts6";
    std::string averages = "1";
    std::string extra = {}; // further sections, appended as they are
};

inline void writeSettingsFile(const std::filesystem::path& file, const Settings& s)
{
    std::ofstream ini(file);
    ini << "[Display]\nShowFieldComponents=True\n"
        << "[Sensors]\nUseInput1=True\nUseInput2=False\n"
        << "[Input]\nInput1AutoScale=True\nInput2AutoScale=True\nCoupling1=0\nCoupling2=0\n"
        << "Mode1=Normal\nInput1DisplayType=Both\nInput1Mode=Magnetometer\n"
        << "Mode2=Normal\nInput2DisplayType=Both\nInput2Mode=Magnetometer\n"
        << "[Acquisition]\nNoOfAverages=" << s.averages << "\nNoOfSamples=" << s.samples
        << "\nSampleInterval=" << s.interval << "\nScanMode=" << s.scanMode
        << "\nNoOfRollingPoints=2\nNumberofRuns=" << s.runs << "\nOversample=False\n"
        << "[InstrumentSetup]\nInput1SensorGain=1\nInput2SensorGain=1\n"
        << "[DigitalFiltering]\nFilter=0\n"
        << "[General]\nExportMultiASCII=True\nAutoFileName=" << s.autoName << "\n"
        << "[Sensor]\nUnitMagnetic=1\nUnitVibration=2\nMagneticScaling1=10\nMagneticScaling2=10\n"
        << "[FFT]\nFFTK=2\nFFTWindowing=3\nFFTOverlap=True\nInput1Scaling=0\nInput2Scaling=0\n"
        << s.extra;
}

// Each test gets a folder named after it: the settings file and the output
// folder are in it. The scan thread is ended and the instrument closed after it.
class RunFixture : public ::testing::Test
{
protected:
    // `prefix` keeps apart the folders of fixtures whose tests share a name.
    explicit RunFixture(std::string prefix = {}) : prefix_(std::move(prefix)) {}

    void SetUp() override
    {
        base = std::filesystem::path(ScanTest::scratchFolder()) /
               (prefix_ + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(base);
        out = base / "out";
        std::filesystem::create_directories(out);
        settingsFile = base / "run.ini";
    }
    void TearDown() override
    {
        scanRequested = false;
        WaitForScanThreadExit();
        CloseDevice();
    }

    // An unattended run of the settings file, writing into `folder`.
    std::vector<std::string> arguments(const std::filesystem::path& folder) const
    {
        return {"-s", "-r", "-i" + settingsFile.string(), "-o" + folder.string()};
    }
    std::vector<std::string> arguments() const { return arguments(out); }

    void writeSettings(const Settings& settings = {}) const { writeSettingsFile(settingsFile, settings); }

    // A key of the result file in `folder` (by default the output folder).
    std::string result(const std::string& key = "Success", const std::filesystem::path& folder = {}) const
    {
        return FenmarlCommonDLL::platform::getPrivateProfileString(
            "Tesselon-6", key, "", (folder.empty() ? out : folder) / "SuccessFailure.ini");
    }

    std::filesystem::path base, out, settingsFile;
    ScriptedUserInteraction ui;

private:
    std::string prefix_;
};

} // namespace UnattendedTest
