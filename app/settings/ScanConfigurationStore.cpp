#include "app/settings/ScanConfigurationStore.h"

#include "app/base/Archive.h"
#include "app/base/RegistryKey.h"
#include "app/settings/ScanTemplate.h"
#include "app/settings/SettingRanges.h"
#include "app/settings/SettingsFile.h"
#include "app/base/AppLog.h"
#include "app/base/UserInteraction.h"
#include "common/platform/Hooks.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/Registry.h"
#include "common/platform/Win32Error.h"

#include <mutex>
#include <variant>
#include <vector>

namespace platform = FenmarlCommonDLL::platform;

namespace {

constexpr std::uint32_t kOk = 0;

template <typename Record>
using FieldPointer = std::variant<std::int32_t Record::*, double Record::*, std::string Record::*>;

template <typename Record> struct Field
{
    const char* name;
    FieldPointer<Record> member;
};

using C = CScanConfiguration;
using D = DefaultSettings;

// Read and write order of the scan configuration's values.
const Field<C> kScanConfigurationFields[] = {
    {"DiffGrad", &C::DiffGrad},
    {"Input1AutoScale", &C::Input1AutoScale},
    {"Input2AutoScale", &C::Input2AutoScale},
    {"UseInput2", &C::UseInput2},
    {"Input1Maximum", &C::Input1Maximum},
    {"Input1Minimum", &C::Input1Minimum},
    {"Input2Maximum", &C::Input2Maximum},
    {"Input2Minimum", &C::Input2Minimum},
    {"NoOfAverages", &C::NoOfAverages},
    {"NoOfSamples", &C::NoOfSamples},
    {"Input1DisplayMode", &C::Input1DisplayMode},
    {"Input1DisplayType", &C::Input1DisplayType},
    {"Input1Mode", &C::Input1Mode},
    {"Input2DisplayMode", &C::Input2DisplayMode},
    {"Input2DisplayType", &C::Input2DisplayType},
    {"Input2Mode", &C::Input2Mode},
    {"SampleInterval", &C::SampleInterval},
    {"ShowFieldComponents", &C::ShowFieldComponents},
    {"ShowTotalField", &C::ShowTotalField},
    {"Input1SensorGain", &C::Input1SensorGain},
    {"Input2SensorGain", &C::Input2SensorGain},
    {"Input1HPFilter", &C::Input1HPFilter},
    {"Input2HPFilter", &C::Input2HPFilter},
    {"UseInput1", &C::UseInput1},
    {"UseFrequency", &C::UseFrequency},
    {"Filter", &C::Filter},
    {"ScanMode", &C::ScanMode},
    {"CutOffFrequency", &C::CutOffFrequency},
    {"NumberofRuns", &C::NumberofRuns},
    {"Oversample", &C::Oversample},
};

// Read and write order of the defaults' values.
const Field<D> kDefaultsFields[] = {
    {"Input1MagneticScaling", &D::Input1MagneticScaling},
    {"Input1VibrationScaling", &D::Input1VibrationScaling},
    {"FFTWindowing", &D::FFTWindowing},
    {"MagneticUnits", &D::MagneticUnits},
    {"FilePath", &D::FilePath},
    {"FFTK", &D::FFTK},
    {"FFTOverlap", &D::FFTOverlap},
    {"VibrationUnits", &D::VibrationUnits},
    {"Input2MagneticScaling", &D::Input2MagneticScaling},
    {"Input2VibrationScaling", &D::Input2VibrationScaling},
    {"Input1TTitle", &D::Input1TTitle},
    {"Input1FTitle", &D::Input1FTitle},
    {"Input2TTitle", &D::Input2TTitle},
    {"Input2FTitle", &D::Input2FTitle},
    {"ScanOnExit", &D::ScanOnExit},
    {"Input1MicrophoneScaling", &D::Input1MicrophoneScaling},
    {"Input2MicrophoneScaling", &D::Input2MicrophoneScaling},
    {"MicrophoneUnits", &D::MicrophoneUnits},
    {"Input1Scaling", &D::Input1Scaling},
    {"Input2Scaling", &D::Input2Scaling},
    {"Input1CustomVibrationScaling", &D::Input1CustomVibrationScaling},
    {"Input2CustomVibrationScaling", &D::Input2CustomVibrationScaling},
    {"Input1CustomMagneticScaling", &D::Input1CustomMagneticScaling},
    {"Input2CustomMagneticScaling", &D::Input2CustomMagneticScaling},
    {"ExportMultiASCII", &D::ExportMultiASCII},
    {"ZeroAndStabilise", &D::ZeroAndStabilise},
    {"UpdateGraphs", &D::UpdateGraphs},
    {"Input2TDifGradTitle", &D::Input2TDifGradTitle},
    {"Input2FDifGradTitle", &D::Input2FDifGradTitle},
};

template <typename Record>
std::uint32_t readField(const CRegistryKey& key, const Field<Record>& field, Record& record)
{
    return std::visit(
        [&](auto member) -> std::uint32_t {
            using T = std::remove_reference_t<decltype(record.*member)>;
            T value{};
            std::uint32_t rc;
            if constexpr (std::is_same_v<T, std::int32_t>)
                rc = key.readInt(field.name, &value);
            else if constexpr (std::is_same_v<T, double>)
                rc = key.readDouble(field.name, &value);
            else
                rc = key.readText(field.name, &value);
            if (rc == kOk) record.*member = std::move(value);
            return rc;
        },
        field.member);
}

template <typename Record>
std::uint32_t writeField(CRegistryKey& key, const Field<Record>& field, const Record& record)
{
    return std::visit(
        [&](auto member) -> std::uint32_t {
            using T = std::remove_cvref_t<decltype(record.*member)>;
            if constexpr (std::is_same_v<T, std::int32_t>)
                return key.writeInt(field.name, record.*member);
            else if constexpr (std::is_same_v<T, double>)
                return key.writeDouble(field.name, record.*member);
            else
                return key.writeText(field.name, record.*member);
        },
        field.member);
}

bool isMissing(std::uint32_t rc)
{
    return rc == platform::kErrorFileNotFound;
}

void logFallback(const std::string& line)
{
    LogToLogFile("Settings", line, LogWarning);
}

// Messages go to the common library's hook when nobody gave us an interface.
class HookInteraction : public MessageOnlyInteraction
{
public:
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override
    {
        return platform::showMessageBox(text, caption, flags);
    }
};

struct Global
{
    std::mutex mutex;
    UserInteraction* ui = nullptr;
    CommandLineSwitches switches;
    HookInteraction hookInteraction;
    std::unique_ptr<ScanConfigurationStore> store;
};

Global& global()
{
    static Global g;
    return g;
}

std::string withoutOneTrailingSeparator(std::string path)
{
    if (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

// What a further write under an open key came to: its code, and the name a failure is reported under.
struct Written
{
    std::uint32_t rc;
    std::string name;
};

// Writes every field of `record` under `path` in one replacement of the store
// file, not one per value; `more` writes further values while the key is open.
// A failure goes to `report` with its code and the value's name (empty: the key).
template <typename Record, std::size_t N, typename More, typename Report>
bool writeRecord(const std::string& path, const Field<Record> (&fields)[N], const Record& record, More more,
                 Report report)
{
    platform::RegistryBatch batch;
    CRegistryKey key;
    std::uint32_t rc = key.create(path);
    if (rc != kOk) {
        report(rc, std::string());
        return false;
    }
    for (const auto& field : fields) {
        rc = writeField(key, field, record);
        if (rc != kOk) {
            key.close();
            report(rc, field.name);
            return false;
        }
    }
    const Written further = more();
    key.close();
    if (further.rc != kOk) {
        report(further.rc, further.name);
        return false;
    }
    if ((rc = batch.commit()) != kOk) {
        report(rc, std::string());
        return false;
    }
    return true;
}

// The scan template file dialog, opening in the data folder: an existing file
// to load, or a name to save under (asking before one is replaced).
UserInteraction::FileRequest templateRequest(bool save, const std::string& folder)
{
    UserInteraction::FileRequest request;
    request.save = save;
    request.defaultExtension = ScanTemplate::kDefaultExtension;
    request.filter = ScanTemplate::kFilter;
    request.hideReadOnly = true;
    request.fileMustExist = !save;
    request.overwritePrompt = save;
    request.initialFolder = folder;
    return request;
}

} // namespace

// ---------------------------------------------------------------- the one store

void ScanConfigurationStore::prepare(UserInteraction* ui, const CommandLineSwitches& switches)
{
    auto& g = global();
    std::lock_guard lock(g.mutex);
    g.ui = ui;
    g.switches = switches;
}

ScanConfigurationStore& ScanConfigurationStore::instance()
{
    auto& g = global();
    std::lock_guard lock(g.mutex);
    if (!g.store)
        g.store = std::make_unique<ScanConfigurationStore>(g.ui ? *g.ui : g.hookInteraction, g.switches);
    return *g.store;
}

bool ScanConfigurationStore::exists()
{
    auto& g = global();
    std::lock_guard lock(g.mutex);
    return g.store != nullptr;
}

void ScanConfigurationStore::exitProcessing()
{
    auto& g = global();
    std::unique_ptr<ScanConfigurationStore> store;
    {
        std::lock_guard lock(g.mutex);
        store = std::move(g.store);
    }
    if (store) store->saveAll();
}

// ---------------------------------------------------------------- construction

ScanConfigurationStore::ScanConfigurationStore(UserInteraction& ui, const CommandLineSwitches& switches)
    : ui_(ui), switches_(switches)
{
    std::error_code ec;
    std::filesystem::path documents = platform::documentsFolder();
    if (documents.empty()) documents = std::filesystem::current_path(ec);
    applicationDirectory_ = documents / "Tesselon-6";
    std::filesystem::create_directories(applicationDirectory_, ec);
    // New scans go to the per-user folder even when the program is installed elsewhere.
    defaults_.FilePath = applicationDirectory_.string() + "/";

    CRegistryKey machine;
    if (machine.open(kRegistryPath, CRegistryKey::Root::LocalMachine) == kOk) {
        std::string installDir;
        if (machine.readText("InstallDir", &installDir) == kOk && !installDir.empty())
            applicationDirectory_ = withoutOneTrailingSeparator(installDir);
        machine.close();
    }

    load();
}

ScanConfigurationStore::~ScanConfigurationStore() = default;

void ScanConfigurationStore::load()
{
    if (!switches_.isTemplateFileSet()) {
        readScanConfiguration(true);
        readDefaults();
        applyCommandLineOverrides();
        return;
    }
    // The settings file has no curves: they come from the registry.
    scanConfiguration_.Specification.readFromRegistry(kScanConfigurationPath);
    readDefaults();
    if (loadSettingsFile(switches_.templateFile)) applyCommandLineOverrides();
}

void ScanConfigurationStore::applyCommandLineOverrides()
{
    if (switches_.isOutputFolderSet()) defaults_.FilePath = switches_.outputFolder;
    if (switches_.inputCount != -1) {
        scanConfiguration_.UseInput1 = 1;
        scanConfiguration_.UseInput2 = switches_.inputCount != 1 ? 1 : 0;
    }
}

// ---------------------------------------------------------------- registry

void ScanConfigurationStore::showRegistryError(const std::string& text, std::uint32_t code,
                                               const std::string& valueName)
{
    std::string message = text;
    if (!message.empty() && message.back() != '\n') message += '\n';
    if (!valueName.empty()) message += "\"" + valueName + "\": ";
    message += registryErrorText(code);
    ui_.messageBox(message, "Registry Error", platform::MB_OK_ | platform::MB_ICONEXCLAMATION_);
}

bool ScanConfigurationStore::readScanConfiguration(bool messages)
{
    CRegistryKey key;
    const std::uint32_t rc = key.open(kScanConfigurationPath);
    if (isMissing(rc)) {
        // First run: create the key with the defaults in force.
        writeScanConfiguration(false);
        return false;
    }
    if (rc != kOk) {
        if (messages) showRegistryError("Error reading scan configuration from registry\n", rc);
        return false;
    }

    CScanConfiguration read = scanConfiguration_;
    for (const auto& field : kScanConfigurationFields) {
        const std::uint32_t fieldRc = readField(key, field, read);
        if (isMissing(fieldRc)) break; // written by an older version: the rest keeps its values
        if (fieldRc != kOk) {
            // A damaged value: nothing of this read is trusted.
            key.close();
            if (messages)
                showRegistryError("Error reading scan configuration from registry\n", fieldRc, field.name);
            return false;
        }
    }
    key.close();
    read.Specification.readFromRegistry(kScanConfigurationPath);
    SettingRanges::applyRegistryFallbacks(read, logFallback);
    scanConfiguration_ = std::move(read);
    return true;
}

bool ScanConfigurationStore::writeScanConfiguration(bool messages)
{
    return writeRecord(
        kScanConfigurationPath, kScanConfigurationFields, scanConfiguration_,
        [this] {
            return Written{scanConfiguration_.Specification.writeToRegistry(kScanConfigurationPath),
                           "Specification"};
        },
        [&](std::uint32_t rc, const std::string& name) {
            if (messages) showRegistryError("Error writing scan configuration to registry", rc, name);
        });
}

bool ScanConfigurationStore::readDefaults()
{
    CRegistryKey key;
    const std::uint32_t rc = key.open(kDefaultsPath);
    if (isMissing(rc)) {
        writeDefaults(false);
        return false;
    }
    if (rc != kOk) {
        showRegistryError("Error reading defaults from registry", rc);
        return false;
    }
    // Each value stands alone: one that cannot be read keeps its default.
    std::uint32_t firstDamage = kOk;
    const char* damagedName = nullptr;
    for (const auto& field : kDefaultsFields) {
        const std::uint32_t fieldRc = readField(key, field, defaults_);
        if (fieldRc != kOk && std::string_view(field.name) == "Input2Scaling") defaults_.Input2Scaling = 0;
        if (fieldRc != kOk && !isMissing(fieldRc) && firstDamage == kOk) {
            firstDamage = fieldRc;
            damagedName = field.name;
        }
    }
    key.close();
    SettingRanges::applyRegistryFallbacks(defaults_, logFallback);
    if (firstDamage != kOk)
        showRegistryError("Error reading defaults from registry", firstDamage, damagedName);
    return true;
}

bool ScanConfigurationStore::writeDefaults(bool messages)
{
    return writeRecord(
        kDefaultsPath, kDefaultsFields, defaults_,
        [] {
            return Written{kOk, std::string()};
        },
        [&](std::uint32_t rc, const std::string& name) {
            if (messages) showRegistryError("Error writing defaults to registry", rc, name);
        });
}

void ScanConfigurationStore::saveAll()
{
    writeScanConfiguration(true);
    writeDefaults(true);
}

// ---------------------------------------------------------------- files

bool ScanConfigurationStore::loadSettingsFile(const std::filesystem::path& path)
{
    CScanConfiguration configuration = scanConfiguration_;
    DefaultSettings defaults = defaults_;
    std::string message = "Error loading settings from ini file: " + path.string();
    if (!::loadSettingsFile(path, configuration, defaults)) {
        // The keys read before the sample count keep their new values.
        scanConfiguration_ = std::move(configuration);
        defaults_ = std::move(defaults);
    } else if (const auto refusal = SettingRanges::checkSettingsFile(configuration, defaults,
                                                                     SettingRanges::availableMemoryBytes())) {
        // Nothing of a refused file is used (or written back at exit).
        message += "\n" + *refusal;
    } else {
        scanConfiguration_ = std::move(configuration);
        defaults_ = std::move(defaults);
        return true;
    }
    ui_.messageBox(message, "Loading Ini Settings", platform::MB_OK_ | platform::MB_ICONERROR_);
    return false;
}

bool ScanConfigurationStore::loadScanTemplate(const std::filesystem::path& path, ScanTemplate& out)
{
    try {
        ScanTemplate loaded = out;
        loaded.load(path);
        out = std::move(loaded);
        return true;
    } catch (const ArchiveException& e) {
        std::string reason;
        switch (e.cause()) {
        case ArchiveException::Cause::OpenFailed:
            reason = "it could not be opened.";
            break;
        case ArchiveException::Cause::ReadFailed:
            reason = "it could not be read.";
            break;
        default:
            reason = "it is damaged or is not a scan template.";
            break;
        }
        ui_.messageBox("The scan template " + path.string() + " could not be loaded: " + reason +
                           "\nThe settings have not been changed.",
                       "Load Scan Template", platform::MB_OK_ | platform::MB_ICONERROR_);
        return false;
    }
}

bool ScanConfigurationStore::saveScanTemplate(const std::filesystem::path& path,
                                              const ScanTemplate& scanTemplate)
{
    try {
        scanTemplate.save(path);
        return true;
    } catch (const ArchiveException& e) {
        ui_.messageBox("The scan template " + path.string() + " could not be saved.\n" + e.what(),
                       "Save Scan Template", platform::MB_OK_ | platform::MB_ICONERROR_);
        return false;
    }
}

bool ScanConfigurationStore::chooseAndLoadScanTemplate(ScanTemplate& out)
{
    const auto path = ui_.chooseFile(templateRequest(false, defaults_.FilePath));
    if (path.empty()) return false;
    return loadScanTemplate(path, out);
}

bool ScanConfigurationStore::chooseAndSaveScanTemplate(const ScanTemplate& scanTemplate)
{
    const auto path = ui_.chooseFile(templateRequest(true, defaults_.FilePath));
    if (path.empty()) return false;
    return saveScanTemplate(path, scanTemplate);
}
