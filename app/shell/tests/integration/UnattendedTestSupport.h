#pragma once

// What the unattended-run tests share: a settings file of their own and a
// look at the files a run left.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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

// A settings file for input 1 (a magnetometer) with every key a scan reads.
struct Settings
{
    std::string samples = "2000";
    int scanMode = 0;
    int runs = 1;
    std::string interval = "0.001";
    std::string autoName = "auto.ts6";
    std::string averages = "1";
    std::string extra; // further sections, appended as they are
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

} // namespace UnattendedTest
