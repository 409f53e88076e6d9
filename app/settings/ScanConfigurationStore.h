#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/settings/ScanConfiguration.h"
#include "app/base/CommandLine.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

class UserInteraction;
struct ScanTemplate;

// The process-wide owner of the current scan configuration, the application
// defaults and the application directory. Built on first request from the
// registry store (or the settings file named with -i), written back at exit.
class ScanConfigurationStore
{
public:
    static constexpr const char* kRegistryPath = "Software\\Fenmarl\\Tesselon-6";
    static constexpr const char* kScanConfigurationPath = "Software\\Fenmarl\\Tesselon-6\\ScanConfiguration";
    static constexpr const char* kDefaultsPath = "Software\\Fenmarl\\Tesselon-6\\Defaults";

    // What the first request builds the store with; call before it. Without
    // a user interaction, messages go to the common library's message hook.
    static void prepare(UserInteraction* ui, const CommandLineSwitches& switches);
    // The one store, built on the first call.
    static ScanConfigurationStore& instance();
    static bool exists();
    // Exit processing: save everything (messages on), then destroy the store.
    static void exitProcessing();

    // A store of its own (tests, tools). `ui` must outlive it.
    ScanConfigurationStore(UserInteraction& ui, const CommandLineSwitches& switches);
    virtual ~ScanConfigurationStore();
    ScanConfigurationStore(const ScanConfigurationStore&) = delete;
    ScanConfigurationStore& operator=(const ScanConfigurationStore&) = delete;

    // The text that means true in settings files.
    const std::string trueText = "True";

    const std::filesystem::path& applicationDirectory() const { return applicationDirectory_; }
    CScanConfiguration& scanConfiguration() { return scanConfiguration_; }
    const CScanConfiguration& scanConfiguration() const { return scanConfiguration_; }
    DefaultSettings& defaultSettings() { return defaults_; }
    const DefaultSettings& defaultSettings() const { return defaults_; }

    // Registry store. Each returns true on success.
    bool readScanConfiguration(bool messages);
    bool writeScanConfiguration(bool messages);
    bool readDefaults();
    bool writeDefaults(bool messages);
    // Scan configuration, then defaults, both with messages.
    void saveAll();

    // The settings file for unattended runs; on failure the message
    // "Error loading settings from ini file: <path>" is shown.
    bool loadSettingsFile(const std::filesystem::path& path);
    // -o becomes the data folder; -n sets the use-input flags.
    void applyCommandLineOverrides();

    // Scan templates through the file dialogs (data folder, "tst" filter).
    // Cancel gives false without a message; a damaged file is reported and
    // `out` is left as it was.
    bool chooseAndLoadScanTemplate(ScanTemplate& out);
    bool chooseAndSaveScanTemplate(const ScanTemplate& scanTemplate);
    bool loadScanTemplate(const std::filesystem::path& path, ScanTemplate& out);
    bool saveScanTemplate(const std::filesystem::path& path, const ScanTemplate& scanTemplate);

private:
    void load();
    void showRegistryError(const std::string& text, std::uint32_t code, const std::string& valueName = {});

    UserInteraction& ui_;
    CommandLineSwitches switches_;
    std::filesystem::path applicationDirectory_;
    CScanConfiguration scanConfiguration_;
    DefaultSettings defaults_;
};
