#pragma once

// One record of a firmware image as the library stores it: 22 bytes, records
// back to back, the image ending with the first record whose type is not 0.
// Header-only so the simulated bare device can know the firmware it expects.

#include <cstddef>
#include <cstdint>
#include <span>

namespace TorvaneDLL {

struct ImageRecord
{
    std::uint8_t length;   // data bytes to send, 1 to 16
    std::uint8_t padding;  // always 0
    std::uint16_t address; // 8051 target address
    std::uint8_t type;     // 0 = data; anything else ends the image
    std::uint8_t data[17];
};

static_assert(sizeof(ImageRecord) == 22);
static_assert(offsetof(ImageRecord, length) == 0);
static_assert(offsetof(ImageRecord, address) == 2);
static_assert(offsetof(ImageRecord, type) == 4);
static_assert(offsetof(ImageRecord, data) == 5);

inline constexpr std::uint8_t kDataRecord = 0;
inline constexpr std::uint8_t kEndRecord = 1;
inline constexpr std::size_t kMaximumRecordData = 16;

// The loader image (runs first and lets the firmware be written) and the
// instrument's firmware, each ending with its type-1 record.
std::span<const ImageRecord> loaderImage();
std::span<const ImageRecord> firmwareImage();

} // namespace TorvaneDLL
