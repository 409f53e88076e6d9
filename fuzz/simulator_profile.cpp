// The simulator profile reader: any ini text must read into a profile whose
// values stay within the documented ranges (a value out of range takes its
// default and is reported), never crash or allocate without limit.
#include "simulator/SimulatorProfile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::filesystem::path profileFile()
{
    // Memory-backed when there is /dev/shm: the reader goes through a file.
    static const std::filesystem::path file = [] {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
        return base / ("simulator_profile_fuzz_" + std::to_string(::getpid()) + ".ini");
    }();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path file = profileFile();
    if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const FenmarlUsb::SimulatorProfile profile = FenmarlUsb::readProfile(file);
    if (profile.instruments.size() > 16) std::abort();
    for (const auto& entry : profile.instruments) {
        const auto& c = entry.config;
        if (!std::isfinite(c.speedFactor) || c.speedFactor <= 0 || !std::isfinite(c.highPassSeconds) ||
            c.highPassSeconds < 0 || c.fifoRecords < 1 || c.fifoRecords > (1u << 22))
            std::abort();
    }
    return 0;
}
