#pragma once

#include "app/acquisition/ScanData.h"
#include "app/acquisition/SystemTime.h"

#include <array>
#include <cstdint>

class ArchiveReader;
class ArchiveWriter;

// Pieces of the scan data file (.ts6) that belong to the scan itself. The
// document (CCorvelDoc) puts them together with the configuration and the
// data settings.
namespace ScanFile {

// {8F98967B-E329-4EDC-B485-148EA7740B71} in its binary form.
inline constexpr std::array<std::uint8_t, 16> kSignature = {0x7B, 0x96, 0x98, 0x8F, 0x29, 0xE3, 0xDC, 0x4E,
                                                            0xB4, 0x85, 0x14, 0x8E, 0xA7, 0x74, 0x0B, 0x71};
inline constexpr std::int32_t kVersion = -9;
inline constexpr std::int32_t kOldestVersion = -9;
// The loader's bound on axes per input group (the instrument has three).
inline constexpr std::int32_t kMaxAxes = 3;
inline constexpr const char* kInvalidFileMessage = "The file is not a valid Tesselon-6 file";

// Day, day of week, hour, milliseconds, minute, month, second, year.
void storeTime(ArchiveWriter& archive, const SystemTime& time);
SystemTime loadTime(ArchiveReader& archive);
// Version 0 files have no version word: its 4 bytes are the day and day of week.
SystemTime loadTimeAfterWord(ArchiveReader& archive, std::int32_t firstWord);

// Counts, reserved flag, pointCount time rows and pointCount frequency rows.
void storeScanData(ArchiveWriter& archive, const ScanData& data);
// Reads into `data`, which must be freshly constructed. Every count is
// checked against the bytes left before anything is allocated; throws
// ArchiveException on anything that does not fit.
void loadScanData(ArchiveReader& archive, ScanData& data, std::int32_t version);

} // namespace ScanFile
