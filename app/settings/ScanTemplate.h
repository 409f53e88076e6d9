#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/settings/ScanConfiguration.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class ArchiveReader;
class ArchiveWriter;

// A scan template (.tst): the Scan Configuration page's record plus the
// values of the other Settings pages, as plain fields.
struct ScanTemplate
{
    static constexpr std::int32_t kVersion = -8;
    static constexpr const char* kDefaultExtension = "tst";
    static constexpr const char* kFilter = "Scan Template Files (*.tst)|*.tst||";

    CScanConfiguration configuration;
    std::int32_t reserved[2] = {0, 0}; // carried by the page, used for nothing else
    std::string sampleIntervalText;    // as typed, e.g. "500us"

    // Specification page.
    std::int32_t applyTime[2] = {0, 0};
    std::int32_t applyFrequency[2] = {0, 0};
    std::int32_t displayCurves = 1;
    std::int32_t audioAlert = 0;
    double maximumExcursion[2] = {0.0, 0.0};
    std::vector<CurvePoint> curve[2];

    // Instrument Setup page.
    std::int32_t sensorGain[2] = {1, 1};

    // General page.
    std::string dataFolder;
    std::int32_t scanOnExit = 0;
    std::int32_t exportAscii = 0;

    // Sensor page.
    double magneticScaling[2] = {1.0, 1.0};
    double microphoneScaling[2] = {0.05, 0.05};
    double vibrationScaling[2] = {1.0, 1.0};
    std::int32_t magneticUnits = 0;
    std::int32_t microphoneUnits = 0;
    std::int32_t vibrationUnits = 0;

    // FFT page.
    std::int32_t window = 3;
    std::int32_t discreteFrequencies = 2;
    std::int32_t overlap = 1;
    std::int32_t spectrumUnits[2] = {0, 0};

    bool operator==(const ScanTemplate&) const = default;

    // The pages as filled from the current settings.
    static ScanTemplate fromSettings(const CScanConfiguration& configuration, const DefaultSettings& defaults,
                                     const std::string& sampleIntervalText);
    // What pressing OK on the filled pages stores.
    void applyTo(CScanConfiguration& configuration, DefaultSettings& defaults) const;
    // The page's coupling choice of input i (0 or 1) from the loaded high-pass flag.
    std::int32_t coupling(int input) const { return configuration.hpFilter(input) != 0 ? 1 : 0; }

    void store(ArchiveWriter& archive) const;
    // Reads a whole template. A file without a version word is read from its
    // start as version −1. Throws ArchiveException; `*this` is untouched then.
    void load(const std::vector<std::uint8_t>& bytes);
    // Everything after the version word, for a known version (−1 … −8).
    void loadBody(ArchiveReader& archive, int version);

    // Through a 4096-byte buffer; the old file survives a failed save.
    void save(const std::filesystem::path& path) const;
    void load(const std::filesystem::path& path);
};
