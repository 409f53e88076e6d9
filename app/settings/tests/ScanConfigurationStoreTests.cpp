#include "app/base/RegistryKey.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/base/ScriptedUserInteraction.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace platform = FenmarlCommonDLL::platform;

namespace {

const std::string kScanKey = ScanConfigurationStore::kScanConfigurationPath;
const std::string kDefaultsKey = ScanConfigurationStore::kDefaultsPath;

platform::RegistryKey openUser(const std::string& path)
{
    platform::RegistryKey key;
    EXPECT_EQ(key.create(platform::RegistryRoot::CurrentUser, path), 0u);
    return key;
}

std::int32_t storedInt(const std::string& keyPath, const std::string& name)
{
    platform::RegistryKey key;
    EXPECT_EQ(key.open(platform::RegistryRoot::CurrentUser, keyPath, false), 0u);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(key.queryValue(name, &type, &data), 0u) << name;
    EXPECT_EQ(type, platform::REG_BINARY_) << name;
    EXPECT_EQ(data.size(), 4u) << name;
    if (data.size() != 4) return -12345;
    return static_cast<std::int32_t>(data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24);
}

void writeMachineInstallDir(const std::string& value)
{
    std::ofstream out(platform::machineConfigFolder() / "registry.reg");
    std::string escaped;
    for (char c : value) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    out << "Windows Registry Editor Version 5.00\r\n\r\n"
        << "[HKEY_LOCAL_MACHINE\\Software\\Fenmarl\\Tesselon-6]\r\n"
        << "\"InstallDir\"=\"" << escaped << "\"\r\n";
}

// A configuration and defaults unlike the built-in ones in every field.
void changeEverything(CScanConfiguration& c, DefaultSettings& d)
{
    c.Input1Mode = "Magnetometer";
    c.Input2Mode = "Microphone";
    c.Input1DisplayType = "Time Domain";
    c.Input2DisplayMode = "Mean Zero";
    c.UseInput2 = 1;
    c.DiffGrad = 1;
    c.Input1Maximum = 3.25;
    c.NoOfAverages = 7;
    c.NoOfSamples = 4096;
    c.SampleInterval = 0.0002;
    c.Input1SensorGain = 100;
    c.Input2HPFilter = 1;
    c.Filter = 1;
    c.ScanMode = ScanModes::Multiple;
    c.CutOffFrequency = 9;
    c.NumberofRuns = 11;
    c.Oversample = 1;
    c.Specification.applyTimeTest[1] = 1;
    c.Specification.maximumExcursion[0] = 0.5;
    c.Specification.audioAlert = 1;
    c.Specification.curve[0] = {{10, 1}, {20, 3}, {40, 2.5}};
    c.Specification.curve[1] = {{5, 0.25}, {50, 0.5}};
    d.Input1TTitle = "Mag T \xC3\xA9";
    d.FilePath = "/data/scans/";
    d.FFTK = 4;
    d.Input2Scaling = 3;
    d.Input1MicrophoneScaling = 0.07;
    d.ZeroAndStabilise = 0;
    d.Input2FDifGradTitle = "Gradient F";
}

// Every test starts from an empty user and machine store, also when several
// run in one process.
class ScanConfigurationStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::remove(platform::userConfigFolder() / "registry.reg");
        std::filesystem::remove(platform::machineConfigFolder() / "registry.reg");
    }
};

} // namespace

TEST_F(ScanConfigurationStoreTest, FirstRunCreatesBothKeysWithTheDefaults)
{
    ScriptedUserInteraction ui;
    ScanConfigurationStore store(ui, {});
    EXPECT_EQ(store.scanConfiguration(), CScanConfiguration());
    EXPECT_TRUE(ui.messages().empty());

    EXPECT_EQ(storedInt(kScanKey, "NoOfSamples"), 1000);
    EXPECT_EQ(storedInt(kScanKey, "UseInput1"), 1);
    EXPECT_EQ(storedInt(kScanKey, "CutOffFrequency"), 2);
    EXPECT_EQ(storedInt(kScanKey + "\\Specification", "Display"), 1);
    EXPECT_EQ(storedInt(kDefaultsKey, "FFTWindowing"), 3);

    platform::RegistryKey key;
    ASSERT_EQ(key.open(platform::RegistryRoot::CurrentUser, kScanKey, false), 0u);
    std::string text;
    EXPECT_EQ(key.queryString("Input1Mode", &text), 0u);
    EXPECT_EQ(text, "Accelerometer");
    std::uint8_t interval[8];
    EXPECT_EQ(key.queryBinary("SampleInterval", interval, 8), 0u);
    double value;
    std::memcpy(&value, interval, 8);
    EXPECT_EQ(value, 0.001);

    // The data folder defaults to the per-user application directory.
    const auto documents = platform::documentsFolder() / "Tesselon-6";
    EXPECT_EQ(store.applicationDirectory(), documents);
    EXPECT_TRUE(std::filesystem::is_directory(documents));
    EXPECT_EQ(store.defaultSettings().FilePath, documents.string() + "/");
}

TEST_F(ScanConfigurationStoreTest, SavedSettingsComeBackOnTheNextStart)
{
    ScriptedUserInteraction ui;
    CScanConfiguration expectedConfig;
    DefaultSettings expectedDefaults;
    {
        ScanConfigurationStore store(ui, {});
        changeEverything(store.scanConfiguration(), store.defaultSettings());
        expectedConfig = store.scanConfiguration();
        expectedDefaults = store.defaultSettings();
        store.saveAll();
    }
    ScanConfigurationStore again(ui, {});
    EXPECT_EQ(again.scanConfiguration(), expectedConfig);
    EXPECT_EQ(again.defaultSettings(), expectedDefaults);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(ScanConfigurationStoreTest, MissingValueEndsTheReadKeepingWhatWasRead)
{
    ScriptedUserInteraction ui;
    {
        ScanConfigurationStore store(ui, {});
        changeEverything(store.scanConfiguration(), store.defaultSettings());
        store.saveAll();
    }
    // Input1SensorGain comes after NoOfSamples and before Filter in the read order.
    openUser(kScanKey).deleteValue("Input1SensorGain");
    ScanConfigurationStore again(ui, {});
    const auto& c = again.scanConfiguration();
    EXPECT_EQ(c.NoOfSamples, 4096);
    EXPECT_EQ(c.Input1Mode, "Magnetometer");
    EXPECT_EQ(c.Input1SensorGain, 1);
    EXPECT_EQ(c.Input2HPFilter, 0);
    EXPECT_EQ(c.Filter, 0);
    EXPECT_EQ(c.NumberofRuns, 5);
    // The pass/fail limits are read on their own.
    EXPECT_EQ(c.Specification.curve[0].size(), 3u);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(ScanConfigurationStoreTest, DamagedValueIsReportedAndChangesNothing)
{
    struct Damage
    {
        const char* name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    const Damage damages[] = {
        {"NoOfSamples", platform::REG_DWORD_, {0x10, 0, 0, 0}},           // DWORD where binary is expected
        {"NoOfSamples", platform::REG_BINARY_, {1, 0, 0, 0, 0, 0, 0, 0}}, // 8 bytes where 4 are expected
        {"Input1Mode", platform::REG_SZ_, {'A', 0x01, 'B'}},              // control character
        {"Input1Mode", platform::REG_SZ_, {'A', 0xC3, 0x28}},             // not UTF-8
        {"Input1Mode", platform::REG_SZ_, std::vector<std::uint8_t>(CRegistryKey::kMaxTextBytes + 1, 'a')},
        {"SampleInterval", platform::REG_BINARY_, {0, 0, 0, 0}},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.name);
        {
            ScriptedUserInteraction quiet;
            ScanConfigurationStore store(quiet, {});
            changeEverything(store.scanConfiguration(), store.defaultSettings());
            store.saveAll();
        }
        auto key = openUser(kScanKey);
        ASSERT_EQ(key.setValue(damage.name, damage.type, damage.data.data(), damage.data.size()), 0u);

        ScriptedUserInteraction ui;
        ScanConfigurationStore store(ui, {});
        EXPECT_EQ(store.scanConfiguration(), CScanConfiguration());
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].caption, "Registry Error");
        EXPECT_EQ(messages[0].icon(), platform::MB_ICONEXCLAMATION_);
        EXPECT_EQ(messages[0].text.rfind("Error reading scan configuration from registry\n", 0), 0u);
        EXPECT_NE(messages[0].text.find(damage.name), std::string::npos);

        // Without messages the same read is silent.
        ScriptedUserInteraction silent;
        ScanConfigurationStore other(silent, {});
        silent.clear();
        EXPECT_FALSE(other.readScanConfiguration(false));
        EXPECT_TRUE(silent.messages().empty());
        openUser(kScanKey).deleteValue(damage.name);
    }
}

TEST_F(ScanConfigurationStoreTest, DefaultsAreReadValueByValue)
{
    ScriptedUserInteraction quiet;
    {
        ScanConfigurationStore store(quiet, {});
        changeEverything(store.scanConfiguration(), store.defaultSettings());
        store.saveAll();
    }
    auto key = openUser(kDefaultsKey);
    key.deleteValue("Input1TTitle");
    key.setDword("FFTK", 8);
    key.deleteValue("Input2Scaling");

    ScriptedUserInteraction ui;
    ScanConfigurationStore store(ui, {});
    const auto& d = store.defaultSettings();
    EXPECT_EQ(d.Input1TTitle, "Input 1 Time Domain");
    EXPECT_EQ(d.FFTK, 2);
    EXPECT_EQ(d.Input2Scaling, 0);
    // Values on either side still count.
    EXPECT_EQ(d.FilePath, "/data/scans/");
    EXPECT_EQ(d.Input2FDifGradTitle, "Gradient F");
    EXPECT_EQ(d.ZeroAndStabilise, 0);
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.rfind("Error reading defaults from registry\n\"FFTK\": ", 0), 0u);
}

TEST_F(ScanConfigurationStoreTest, InstallDirReplacesTheApplicationDirectory)
{
    const struct
    {
        std::string stored;
        std::string expected;
    } cases[] = {
        {"C:\\Program Files\\Fenmarl\\Tesselon-6\\", "C:\\Program Files\\Fenmarl\\Tesselon-6"},
        {"C:\\Program Files\\Fenmarl\\Tesselon-6", "C:\\Program Files\\Fenmarl\\Tesselon-6"},
        {"/opt/tesselon-6/", "/opt/tesselon-6"},
        {"/opt/tesselon-6", "/opt/tesselon-6"},
    };
    for (const auto& c : cases) {
        writeMachineInstallDir(c.stored);
        ScriptedUserInteraction ui;
        ScanConfigurationStore store(ui, {});
        EXPECT_EQ(store.applicationDirectory().string(), c.expected);
        // New scan files still go to the per-user folder.
        EXPECT_EQ(store.defaultSettings().FilePath,
                  (platform::documentsFolder() / "Tesselon-6").string() + "/");
    }
}

TEST_F(ScanConfigurationStoreTest, CommandLineOverridesFollowTheRegistry)
{
    {
        ScriptedUserInteraction quiet;
        ScanConfigurationStore store(quiet, {});
        store.scanConfiguration().UseInput1 = 0;
        store.scanConfiguration().UseInput2 = 1;
        store.saveAll();
    }
    ScriptedUserInteraction ui;
    CommandLineSwitches one;
    one.inputCount = 1;
    one.outputFolder = "/results/run";
    ScanConfigurationStore a(ui, one);
    EXPECT_EQ(a.scanConfiguration().UseInput1, 1);
    EXPECT_EQ(a.scanConfiguration().UseInput2, 0);
    EXPECT_EQ(a.defaultSettings().FilePath, "/results/run");

    CommandLineSwitches two;
    two.inputCount = 2;
    ScanConfigurationStore b(ui, two);
    EXPECT_EQ(b.scanConfiguration().UseInput1, 1);
    EXPECT_EQ(b.scanConfiguration().UseInput2, 1);

    ScanConfigurationStore none(ui, {});
    EXPECT_EQ(none.scanConfiguration().UseInput1, 0);
    EXPECT_EQ(none.scanConfiguration().UseInput2, 1);
}

TEST_F(ScanConfigurationStoreTest, SettingsFileReplacesTheRegistryConfigurationButKeepsItsCurves)
{
    {
        ScriptedUserInteraction quiet;
        ScanConfigurationStore store(quiet, {});
        changeEverything(store.scanConfiguration(), store.defaultSettings());
        store.saveAll();
    }
    const auto ini = std::filesystem::temp_directory_path() / "run.ini";
    std::ofstream(ini) << "[Acquisition]\nNoOfSamples=2048\nSampleInterval=0.0005\nNoOfAverages=1\n[Sensors]"
                          "\nUseInput1=True\n"
                       << "[InstrumentSetup]\nInput1SensorGain=1\nInput2SensorGain=10\n[FFT]\nFFTK=2\n";

    ScriptedUserInteraction ui;
    CommandLineSwitches switches;
    switches.templateFile = ini.string();
    switches.inputCount = 2;
    ScanConfigurationStore store(ui, switches);
    const auto& c = store.scanConfiguration();
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(c.NoOfSamples, 2048);
    EXPECT_EQ(c.SampleInterval, 0.0005);
    EXPECT_EQ(c.Input1Mode, ""); // missing keys reset their fields
    EXPECT_EQ(c.UseInput2, 1);   // -n 2 after the file
    EXPECT_EQ(c.Specification.curve[0].size(), 3u);
    EXPECT_EQ(store.defaultSettings().FilePath, "/data/scans/");
    // Without a microphone key the stored sensitivity is kept as it is.
    EXPECT_DOUBLE_EQ(store.defaultSettings().Input1MicrophoneScaling, 0.07);
}

TEST_F(ScanConfigurationStoreTest, SettingsFileFailureIsReportedWithItsPath)
{
    const auto ini = std::filesystem::temp_directory_path() / "bad.ini";
    std::ofstream(ini) << "[Display]\nDiffGrad=True\n[Acquisition]\nNoOfSamples=12abc\n";
    ScriptedUserInteraction ui;
    CommandLineSwitches switches;
    switches.templateFile = ini.string();
    switches.inputCount = 2;
    ScanConfigurationStore store(ui, switches);
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error loading settings from ini file: " + ini.string());
    EXPECT_EQ(messages[0].caption, "Loading Ini Settings");
    EXPECT_EQ(messages[0].icon(), platform::MB_ICONERROR_);
    // What the file set before the failure stays; the overrides are not applied.
    EXPECT_EQ(store.scanConfiguration().DiffGrad, 1);
    EXPECT_EQ(store.scanConfiguration().UseInput1, 0);
    EXPECT_EQ(store.scanConfiguration().UseInput2, 0);
}

TEST_F(ScanConfigurationStoreTest, WriteFailuresAreReportedOncePerKey)
{
    ScriptedUserInteraction ui;
    ScanConfigurationStore store(ui, {});
    const std::string saved = std::getenv("XDG_CONFIG_HOME");
    const auto blocked = std::filesystem::temp_directory_path() / "blocked";
    std::filesystem::create_directories(blocked);
    std::ofstream(blocked / "Fenmarl") << "not a folder";
    setenv("XDG_CONFIG_HOME", blocked.c_str(), 1);
    store.saveAll();
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);

    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text.rfind("Error writing scan configuration to registry\n", 0), 0u);
    EXPECT_EQ(messages[1].text.rfind("Error writing defaults to registry\n", 0), 0u);
    for (const auto& m : messages) {
        EXPECT_EQ(m.caption, "Registry Error");
        EXPECT_EQ(m.icon(), platform::MB_ICONEXCLAMATION_);
        EXPECT_GT(m.text.size(), m.text.find('\n') + 1) << "no system text in: " << m.text;
    }
}

TEST_F(ScanConfigurationStoreTest, OneStorePerProcessSavedAtExit)
{
    ScriptedUserInteraction ui;
    CommandLineSwitches switches;
    switches.inputCount = 2;
    ScanConfigurationStore::prepare(&ui, switches);
    EXPECT_FALSE(ScanConfigurationStore::exists());
    auto& first = ScanConfigurationStore::instance();
    EXPECT_EQ(&first, &ScanConfigurationStore::instance());
    EXPECT_EQ(first.scanConfiguration().UseInput2, 1);
    first.scanConfiguration().NoOfSamples = 777;
    ScanConfigurationStore::exitProcessing();
    EXPECT_FALSE(ScanConfigurationStore::exists());
    EXPECT_EQ(storedInt(kScanKey, "NoOfSamples"), 777);
    EXPECT_EQ(storedInt(kScanKey, "UseInput2"), 1);
}

TEST_F(ScanConfigurationStoreTest, RegistryKeyOwnResultCodes)
{
    CRegistryKey key;
    EXPECT_EQ(key.close(), CRegistryKey::kKeyNotOpen);
    std::int32_t value = 5;
    EXPECT_EQ(key.readInt("x", &value), CRegistryKey::kKeyNotOpen);
    ASSERT_EQ(key.create("Software\\Fenmarl\\Test"), 0u);
    EXPECT_EQ(key.open("Software\\Fenmarl\\Test"), CRegistryKey::kKeyAlreadyOpen);
    EXPECT_EQ(key.readInt("missing", &value), 2u);

    EXPECT_EQ(key.writeText("text", "abc"), 0u);
    EXPECT_EQ(key.writeDouble("double", 2.5), 0u);
    EXPECT_EQ(key.writeText("empty", ""), 0u);
    EXPECT_EQ(key.readInt("text", &value), CRegistryKey::kWrongType);
    EXPECT_EQ(key.readInt("double", &value), CRegistryKey::kWrongSize);
    EXPECT_EQ(value, 5);
    std::string text = "before";
    EXPECT_EQ(key.readText("double", &text), CRegistryKey::kNotText);
    EXPECT_EQ(key.readText("empty", &text), 0u);
    EXPECT_EQ(text, "");
    EXPECT_EQ(key.readInt("x", nullptr), CRegistryKey::kNotReadable);
    EXPECT_EQ(key.close(), 0u);

    EXPECT_EQ(key.open("Software\\Fenmarl\\NoSuchKey"), 2u);
    EXPECT_FALSE(key.isOpen());

    EXPECT_NE(registryErrorText(CRegistryKey::kWrongSize).find("wrong size"), std::string::npos);
    EXPECT_EQ(registryErrorText(5), "Access is denied.");
}
