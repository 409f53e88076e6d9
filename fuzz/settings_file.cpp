// Settings file of unattended runs: any file content must load or fail
// cleanly; the reader goes through the private-profile parser.
#include "app/settings/SettingsFile.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const std::filesystem::path& scratchFile()
{
    static const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                              ("settings_file_fuzz_" + std::to_string(::getpid()) + ".ini");
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!fuzzsupport::writeInput(scratchFile(), data, size)) return 0;

    CScanConfiguration configuration;
    DefaultSettings defaults;
    loadSettingsFile(scratchFile(), configuration, defaults);
    // A settings file never sets a non-finite number.
    if (configuration.SampleInterval != configuration.SampleInterval ||
        defaults.Input1MagneticScaling != defaults.Input1MagneticScaling)
        __builtin_trap();
    return 0;
}
