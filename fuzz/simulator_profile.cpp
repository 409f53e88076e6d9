// The simulator profile reader: any ini text must read into a profile whose
// values stay within the documented ranges (a value out of range takes its
// default and is reported), never crash or allocate without limit.
#include "fuzz/FuzzSupport.h"
#include "simulator/SimulatorProfile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::filesystem::path file = fuzzsupport::scratchPath("simulator_profile_fuzz_", ".ini");
    fuzzsupport::writeInput(file, data, size);
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
