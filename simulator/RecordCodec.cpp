#include "simulator/RecordCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace FenmarlUsb::record {

void encode(const std::int32_t raw[kChannels], std::uint8_t out[kBytes])
{
    std::memset(out, 0, kBytes);
    for (int k = 0; k < kChannels; ++k) {
        const std::int32_t value = std::clamp(raw[k], -kMaxMagnitude, kMaxMagnitude);
        // Negative values are stored as magnitude - 8388607 with the sign bit set;
        // zero has the one form with the sign bit clear.
        std::uint32_t magnitude = static_cast<std::uint32_t>(value);
        if (value < 0) {
            out[0] |= static_cast<std::uint8_t>(1u << k);
            magnitude = static_cast<std::uint32_t>(value + kMaxMagnitude);
        }
        for (int j = 1; j < kBytes; ++j)
            if (magnitude & (1u << (23 - j))) out[j] |= static_cast<std::uint8_t>(1u << k);
    }
}

void decode(const std::uint8_t in[kBytes], std::int32_t raw[kChannels])
{
    for (int k = 0; k < kChannels; ++k) {
        std::int32_t magnitude = 0;
        for (int j = 1; j < kBytes; ++j)
            if (in[j] & (1u << k)) magnitude |= 1 << (23 - j);
        raw[k] = (in[0] & (1u << k)) ? magnitude - kMaxMagnitude : magnitude;
    }
}

std::int32_t countsFromVolts(double volts)
{
    if (!(volts == volts)) return 0;
    const double counts = std::round(volts / kVoltsPerCount);
    return static_cast<std::int32_t>(std::clamp(counts, -double(kMaxMagnitude), double(kMaxMagnitude)));
}

} // namespace FenmarlUsb::record
