#include "app/settings/ScanConfigurationStore.h"
#include "app/settings/SettingRanges.h"
#include "app/settings/SettingsFile.h"
#include "app/base/ScriptedUserInteraction.h"
#include "common/platform/KnownFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kPlenty = std::uint64_t(64) << 30; // as if 64 GB were free

// A settings file every check accepts; tests change one line of it.
std::string goodSettings(const std::string& acquisition = "NoOfSamples=2048\n")
{
    return "[Sensors]\nUseInput1=True\nUseInput2=False\n"
           "[Input]\nCoupling1=0\nCoupling2=1\nInput1Mode=Magnetometer\n"
           "[Acquisition]\nNoOfAverages=1\nSampleInterval=0.001\nScanMode=0\nNoOfRollingPoints=2\n"
           "NumberofRuns=1\n" +
           acquisition +
           "[InstrumentSetup]\nInput1SensorGain=1\nInput2SensorGain=1000\n"
           "[DigitalFiltering]\nFilter=0\n"
           "[General]\nAutoFileName=run.ts6\n"
           "[Sensor]\nUnitMagnetic=1\nUnitVibration=2\nMagneticScaling1=100\n"
           "[FFT]\nFFTK=2\nFFTWindowing=3\nInput1Scaling=0\nInput2Scaling=3\n";
}

// The file with extra lines at the start of its [Sensor] section.
std::string withSensorLines(const std::string& lines)
{
    std::string text = goodSettings();
    return text.insert(text.find("[Sensor]\n") + 9, lines);
}

// Loads text as a settings file and checks it with the given memory.
std::optional<std::string> refusalFor(const std::string& text, std::uint64_t available = kPlenty)
{
    const fs::path path = fs::temp_directory_path() / "ranges.ini";
    std::ofstream(path) << text;
    CScanConfiguration c;
    DefaultSettings d;
    if (!loadSettingsFile(path, c, d)) return std::string("not loaded");
    return SettingRanges::checkSettingsFile(c, d, available);
}

// The same file with one key's value replaced (keys are unique in goodSettings()).
std::string with(const std::string& key, const std::string& value, std::string text = goodSettings())
{
    const std::size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) {
        ADD_FAILURE() << key << " is not in the file";
        return text;
    }
    const std::size_t end = text.find('\n', at + 1);
    return text.replace(at + 1, end - at - 1, key + "=" + value);
}

} // namespace

TEST(SettingRanges, AGoodFileIsAccepted)
{
    EXPECT_EQ(refusalFor(goodSettings()), std::nullopt);
}

TEST(SettingRanges, OutOfRangeValuesAreNamedWithTheAcceptedRange)
{
    struct Case
    {
        const char* key;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"NoOfSamples", "0", "NoOfSamples=0 is out of range: accepted 5 to "},
        {"NoOfSamples", "-1", "NoOfSamples=-1 is out of range: accepted 5 to "},
        {"NoOfAverages", "1000000", "NoOfAverages=1000000 is out of range: accepted 1 to 1000."},
        {"NoOfAverages", "0", "NoOfAverages=0 is out of range: accepted 1 to 1000."},
        {"Input1SensorGain", "2147483647",
         "Input1SensorGain=2147483647 is out of range: accepted 1, 10, 100 or 1000."},
        {"Input2SensorGain", "5", "Input2SensorGain=5 is out of range: accepted 1, 10, 100 or 1000."},
        {"SampleInterval", "0", "SampleInterval=0 is out of range: accepted a number of seconds above 0."},
        {"SampleInterval", "-1", "SampleInterval=-1 is out of range: accepted a number of seconds above 0."},
        {"MagneticScaling1", "0", "MagneticScaling1=0 is out of range: accepted any number but 0."},
        {"MagneticScaling1", "nan", "MagneticScaling1=0 is out of range: accepted any number but 0."},
        {"FFTK", "0", "FFTK=0 is out of range: accepted 1 to 16."},
        {"FFTK", "1062546964", "FFTK=1062546964 is out of range: accepted 1 to 16."},
        {"FFTWindowing", "7", "FFTWindowing=7 is out of range: accepted 0 to 6."},
        {"Input2Scaling", "4", "Input2Scaling=4 is out of range: accepted 0 to 3."},
        {"ScanMode", "3", "ScanMode=3 is out of range: accepted 0 to 2."},
        {"Filter", "2", "Filter=2 is out of range: accepted 0 to 1."},
        {"Coupling2", "-1", "Coupling2=-1 is out of range: accepted 0 to 1."},
        {"UnitMagnetic", "3", "UnitMagnetic=3 is out of range: accepted 0 to 2."},
    };
    for (const Case& c : cases) {
        const auto refusal = refusalFor(with(c.key, c.value));
        ASSERT_TRUE(refusal.has_value()) << c.key << "=" << c.value;
        EXPECT_EQ(refusal->rfind(c.message, 0), 0u) << *refusal;
    }
    EXPECT_EQ(refusalFor(withSensorLines("MicrophoneScaling2=0\n")),
              "MicrophoneScaling2=0 is out of range: accepted a number of mV/Pa above 0.");
}

TEST(SettingRanges, ValuesAreCheckedWhereTheScanUsesThem)
{
    // Runs and the automatic name only matter to Multiple scans, rolling
    // points only with the low pass, a magnetic scaling only for a magnetometer in use.
    EXPECT_EQ(refusalFor(with("NumberofRuns", "1000000")), std::nullopt);
    EXPECT_EQ(refusalFor(with("NoOfRollingPoints", "2147483647")), std::nullopt);
    EXPECT_EQ(refusalFor(with("Input1Mode", "Accelerometer", with("MagneticScaling1", "0"))), std::nullopt);

    const std::string multiple = with("NumberofRuns", "3", with("ScanMode", "2"));
    EXPECT_EQ(refusalFor(multiple), std::nullopt);
    EXPECT_EQ(refusalFor(with("NumberofRuns", "10001", multiple)),
              "NumberofRuns=10001 is out of range: accepted 2 to 10000.");
    EXPECT_EQ(refusalFor(with("NoOfAverages", "0", multiple)), std::nullopt)
        << "Multiple scans do not average";
    for (const char* name : {"../escape.ts6", "sub/run.ts6", "..", ""})
        EXPECT_EQ(refusalFor(with("AutoFileName", name, multiple)),
                  "AutoFileName=" + std::string(name) +
                      " is out of range: accepted a file name without folders.")
            << name;
    EXPECT_EQ(refusalFor(with("NoOfRollingPoints", "2147483647", with("Filter", "1"))),
              "NoOfRollingPoints=2147483647 is out of range: accepted 2 to 60.");
    EXPECT_EQ(refusalFor(with("NoOfRollingPoints", "60", with("Filter", "1"))), std::nullopt);
    // A continuous scan grows as it goes: its sample count is not used.
    EXPECT_EQ(refusalFor(with("NoOfSamples", "0", with("ScanMode", "1"))), std::nullopt);
}

TEST(SettingRanges, TheSampleCountIsBoundedByTheMemoryAvailable)
{
    // More than the sheet's 700,000 is fine where the memory is there.
    EXPECT_EQ(refusalFor(with("NoOfSamples", "7000000")), std::nullopt);
    const std::uint64_t need = SettingRanges::scanMemoryNeed(7000000);
    EXPECT_GT(need, std::uint64_t(7000000) * 56) << "at least the driver's own buffers";
    EXPECT_EQ(refusalFor(with("NoOfSamples", "7000000"), need), std::nullopt);
    const auto refused = refusalFor(with("NoOfSamples", "7000000"), need - 1);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->rfind("NoOfSamples=7000000 is out of range: accepted 5 to 6999999 (", 0), 0u)
        << *refused;
    EXPECT_NE(refused->find("MB of memory is available"), std::string::npos);

    const auto huge = refusalFor(with("NoOfSamples", "2147483647"), std::uint64_t(64) << 20);
    ASSERT_TRUE(huge.has_value());
    EXPECT_EQ(huge->rfind("NoOfSamples=2147483647 is out of range", 0), 0u);
    EXPECT_EQ(SettingRanges::maxSamplesFor(SettingRanges::kScanFixedBytes), 0);
}

TEST(SettingRanges, TheEnvironmentCapsTheAvailableMemory)
{
    const std::uint64_t real = SettingRanges::availableMemoryBytes();
    ASSERT_GT(real, 0u) << "the kernel reports MemAvailable";
    setenv("TESSELON_AVAILABLE_MEMORY", "1048576", 1);
    EXPECT_EQ(SettingRanges::availableMemoryBytes(), 1048576u);
    setenv("TESSELON_AVAILABLE_MEMORY", "lots", 1);
    EXPECT_EQ(SettingRanges::availableMemoryBytes(), real) << "an unreadable cap is ignored";
    unsetenv("TESSELON_AVAILABLE_MEMORY");
}

TEST(SettingRanges, RegistryValuesOutOfRangeFallBackToTheirDefaults)
{
    CScanConfiguration c;
    c.NoOfSamples = 2147483647;
    c.NoOfAverages = 0;
    c.Input1SensorGain = 7;
    c.CutOffFrequency = 61;
    c.NumberofRuns = 9;
    c.SampleInterval = -0.5;
    c.Filter = 2; // the low pass of older versions
    DefaultSettings d;
    d.FFTK = 17;
    d.Input2MicrophoneScaling = 0.0;
    d.Input1CustomVibrationScaling = 0.0;
    d.Input1MagneticScaling = 3.5;
    std::vector<std::string> notes;
    const auto note = [&](const std::string& line) { notes.push_back(line); };
    SettingRanges::applyRegistryFallbacks(c, note);
    SettingRanges::applyRegistryFallbacks(d, note);

    const CScanConfiguration fresh;
    EXPECT_EQ(c.NoOfSamples, fresh.NoOfSamples);
    EXPECT_EQ(c.NoOfAverages, fresh.NoOfAverages);
    EXPECT_EQ(c.Input1SensorGain, fresh.Input1SensorGain);
    EXPECT_EQ(c.CutOffFrequency, fresh.CutOffFrequency);
    EXPECT_EQ(c.SampleInterval, fresh.SampleInterval);
    EXPECT_EQ(c.NumberofRuns, 9) << "in range: kept";
    EXPECT_EQ(c.Filter, 1);
    EXPECT_EQ(d.FFTK, DefaultSettings{}.FFTK);
    EXPECT_EQ(d.Input2MicrophoneScaling, 0.05);
    EXPECT_EQ(d.Input1CustomVibrationScaling, 1.0);
    EXPECT_EQ(d.Input1MagneticScaling, 3.5);
    ASSERT_EQ(notes.size(), 8u);
    EXPECT_EQ(notes[1],
              "Registry value NoOfSamples=2147483647 is out of range (accepted 5 to 700000); using 1000 "
              "instead.");
}

TEST(SettingRanges, TheStoreRefusesAFileOutOfRangeAndKeepsItsSettings)
{
    fs::remove(FenmarlCommonDLL::platform::userConfigFolder() / "registry.reg");
    const fs::path ini = fs::temp_directory_path() / "refused.ini";
    std::ofstream(ini) << with("NoOfAverages", "1000000") << "[Display]\nDiffGrad=True\n";
    ScriptedUserInteraction ui;
    CommandLineSwitches switches;
    switches.templateFile = ini.string();
    ScanConfigurationStore store(ui, switches);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Error loading settings from ini file: " + ini.string() +
                                         "\nNoOfAverages=1000000 is out of range: accepted 1 to 1000.");
    EXPECT_EQ(ui.messages()[0].caption, "Loading Ini Settings");
    // Nothing of the refused file is taken (nor written back at exit).
    EXPECT_EQ(store.scanConfiguration().NoOfAverages, CScanConfiguration{}.NoOfAverages);
    EXPECT_EQ(store.scanConfiguration().DiffGrad, 0);
}

TEST(SettingRanges, MicrophoneSensitivityIsConvertedOnceAndOnlyFromTheFile)
{
    const fs::path without = fs::temp_directory_path() / "nomic.ini";
    const fs::path withKey = fs::temp_directory_path() / "mic.ini";
    std::ofstream(without) << goodSettings();
    std::ofstream(withKey) << withSensorLines("MicrophoneScaling1=50\nMicrophoneScaling2=12.5\n");
    CScanConfiguration c;
    DefaultSettings d; // 0.05 V/Pa
    for (int run = 0; run < 3; ++run)
        ASSERT_TRUE(loadSettingsFile(without, c, d));
    EXPECT_EQ(d.Input1MicrophoneScaling, 0.05) << "run after run in the same home";
    EXPECT_EQ(d.Input2MicrophoneScaling, 0.05);
    ASSERT_TRUE(loadSettingsFile(withKey, c, d));
    ASSERT_TRUE(loadSettingsFile(withKey, c, d));
    EXPECT_DOUBLE_EQ(d.Input1MicrophoneScaling, 0.05) << "50 mV/Pa";
    EXPECT_DOUBLE_EQ(d.Input2MicrophoneScaling, 0.0125);
}

TEST(SettingRanges, TheStoreReadsOutOfRangeRegistryValuesAsTheirDefaults)
{
    fs::remove(FenmarlCommonDLL::platform::userConfigFolder() / "registry.reg");
    ScriptedUserInteraction ui;
    {
        ScanConfigurationStore store(ui, {});
        store.scanConfiguration().NoOfSamples = 2147483647;
        store.scanConfiguration().NoOfAverages = 12;
        store.defaultSettings().FFTK = 1062546964;
        store.saveAll();
    }
    ScanConfigurationStore store(ui, {});
    EXPECT_EQ(store.scanConfiguration().NoOfSamples, CScanConfiguration{}.NoOfSamples);
    EXPECT_EQ(store.scanConfiguration().NoOfAverages, 12) << "values in range are kept";
    EXPECT_EQ(store.defaultSettings().FFTK, DefaultSettings{}.FFTK);
    EXPECT_TRUE(ui.messages().empty()) << "a log line, not a message";
}
