#pragma once

// The instrument's 24-byte stream record: byte 0 holds the six sign bits,
// bytes 1 to 23 hold the 23-bit magnitudes bit-sliced (bit k of byte j is bit
// 23 - j of channel k). Kept header-only so the benchmark and the tests use
// exactly the code the decode thread runs.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace TorvaneDecode {

inline constexpr std::size_t kChannels = 6;
inline constexpr std::size_t kRecordBytes = 24;
inline constexpr std::size_t kRecordsPerBlock = 20;
inline constexpr std::size_t kBlockBytes = kRecordBytes * kRecordsPerBlock; // 480
inline constexpr std::int32_t kFullScaleCounts = 8388607;                   // 0x7FFFFF
inline constexpr double kVoltsPerCount = 10.24 / 8388607.0;
// Bit 7 of byte 0 carries no sign; the instrument sets it on the first record
// stored after its FIFO overflowed.
inline constexpr std::uint8_t kFifoOverflowMark = 0x80;

namespace detail {

inline std::uint64_t loadBigEndian64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_bswap64(v);
}

// 8x8 bit-matrix transpose: bit c of byte r moves to bit r of byte c.
inline std::uint64_t transpose8x8(std::uint64_t x)
{
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    x = x ^ t ^ (t << 28);
    return x;
}

} // namespace detail

// Signed counts of the six channels of one record.
inline void decodeRecordCounts(const std::uint8_t* record, std::int32_t counts[kChannels])
{
    // Loaded big-endian so that after the transpose byte k of each word holds
    // channel k's bits most significant first. The third word reads bytes
    // 16..23 and shifts byte 16 out, so nothing past the record is touched.
    const std::uint64_t high = detail::transpose8x8(detail::loadBigEndian64(record + 1));
    const std::uint64_t middle = detail::transpose8x8(detail::loadBigEndian64(record + 9));
    const std::uint64_t low = detail::transpose8x8(detail::loadBigEndian64(record + 16) << 8);
    const std::uint8_t signs = record[0];
    for (std::size_t k = 0; k < kChannels; ++k) {
        const std::uint32_t magnitude = (static_cast<std::uint32_t>((high >> (8 * k)) & 0xFF) << 15) |
                                        (static_cast<std::uint32_t>((middle >> (8 * k)) & 0xFF) << 7) |
                                        (static_cast<std::uint32_t>((low >> (8 * k)) & 0xFF) >> 1);
        counts[k] = static_cast<std::int32_t>(magnitude) - (((signs >> k) & 1) ? kFullScaleCounts : 0);
    }
}

// Volts of the six channels of one record, less each channel's zero offset.
inline void decodeRecord(const std::uint8_t* record, const double zeroOffsets[kChannels],
                         double volts[kChannels])
{
    std::int32_t counts[kChannels];
    decodeRecordCounts(record, counts);
    for (std::size_t k = 0; k < kChannels; ++k)
        volts[k] = counts[k] * kVoltsPerCount - zeroOffsets[k];
}

} // namespace TorvaneDecode
