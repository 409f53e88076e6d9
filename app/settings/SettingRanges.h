#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/settings/ScanConfiguration.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The accepted ranges of every setting, in one place without widgets: the
// Settings sheet enforces them on its fields, and values from a settings
// file or the registry store are checked against the same ranges before
// anything is allocated or sent to the instrument.
namespace SettingRanges {

inline constexpr int kMinSamples = 5, kMaxSamples = 700000;
inline constexpr int kMinAverages = 1, kMaxAverages = 1000;
inline constexpr int kMinRollingPoints = 2, kMaxRollingPoints = 60;
inline constexpr int kMinRuns = 2, kMaxRuns = 10000;
inline constexpr int kMinDiscreteFrequencies = 1, kMaxDiscreteFrequencies = 16;
inline constexpr int kMaxScanMode = ScanModes::Multiple;
inline constexpr int kMaxFilter = 1;        // none, low pass
inline constexpr int kMaxCoupling = 1;      // DC, AC
inline constexpr int kMaxWindow = 6;        // None … Blackman
inline constexpr int kMaxSpectrumUnit = 3;  // RMS … PkPk/sqrt(Hz)
inline constexpr int kMaxMagneticUnit = 2;  // nT, uT, mG
inline constexpr int kMaxVibrationUnit = 3; // ug, mg, g, mms-2

// What one scan sample costs while it is acquired and analysed: the driver's
// time and six channel values, both inputs' time axis, time and averaged
// records (three axes each), and the display conversion's scratch series.
inline constexpr std::uint64_t kScanBytesPerSample = (7 + 2 * 7 + 4) * sizeof(double);
// Fixed costs of a scan beside its samples (read buffers, spectra, mappings).
inline constexpr std::uint64_t kScanFixedBytes = 16u << 20;

// Memory the scan may use: the kernel's MemAvailable, or, when the
// environment variable TESSELON_AVAILABLE_MEMORY holds a byte count, the
// smaller of the two (tests use small limits).
std::uint64_t availableMemoryBytes();
// Memory a scan of this many samples needs.
std::uint64_t scanMemoryNeed(std::int64_t samples);
// The most samples a settings file may ask for with this much memory.
std::int64_t maxSamplesFor(std::uint64_t availableBytes);

// A sensor gain the instrument has: 1, 10, 100 or 1000.
bool validGain(int gain);
// A file name without folders, as the automatic name of a Multiple scan.
bool isPlainFileName(const std::string& name);

// The first value of a loaded settings file that is out of range, as
// "Key=value is out of range: accepted …"; nothing when all are accepted.
// Only values the scan uses are checked (the run count in Multiple mode,
// the rolling points with the low pass on, the scalings of used inputs).
// The sample count is bounded by availableBytes instead of the sheet's maximum.
std::optional<std::string> checkSettingsFile(const CScanConfiguration& c, const DefaultSettings& d,
                                             std::uint64_t availableBytes);

// Values read from the registry store that are out of range go back to their
// defaults; each one is reported through note ("Key=value ... default").
void applyRegistryFallbacks(CScanConfiguration& c, const std::function<void(const std::string&)>& note);
void applyRegistryFallbacks(DefaultSettings& d, const std::function<void(const std::string&)>& note);

} // namespace SettingRanges
