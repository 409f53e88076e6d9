#pragma once

// The instrument's 24-byte measurement record: one sample of six channels.
// Byte 0 holds the sign bits (bit k for channel k); bytes 1 to 23 hold the
// 23-bit magnitudes bit-sliced, byte j carrying bit (23 - j) of every
// channel, most significant first. A set sign bit means magnitude - 8388607.
// Bit 7 of byte 0 (ignored by decoders) is set by the simulated instrument
// on the first record stored after its FIFO overflowed.

#include "usb/Export.h"

#include <cstdint>

namespace FenmarlUsb::record {

inline constexpr int kChannels = 6;
inline constexpr int kBytes = 24;
inline constexpr std::int32_t kMaxMagnitude = 8388607; // 0x7FFFFF
inline constexpr double kFullScaleVolts = 10.24;
inline constexpr double kVoltsPerCount = kFullScaleVolts / kMaxMagnitude;
inline constexpr std::uint8_t kOverflowMark = 0x80;

// raw in [-8388607, 8388607]; values outside are clamped.
FENMARL_USB_API void encode(const std::int32_t raw[kChannels], std::uint8_t out[kBytes]);
// Straightforward reference decoder (bit by bit).
FENMARL_USB_API void decode(const std::uint8_t in[kBytes], std::int32_t raw[kChannels]);
// Volts → counts, rounded, clipped at full scale.
FENMARL_USB_API std::int32_t countsFromVolts(double volts);
inline double voltsFromCounts(std::int32_t raw)
{
    return raw * kVoltsPerCount;
}

} // namespace FenmarlUsb::record
