#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ArchiveReader;
class ArchiveWriter;
class CRegistryKey;

// One point of a frequency-domain limit curve.
struct CurvePoint
{
    double frequency = 0.0; // Hz
    double intensity = 0.0; // uT, g or Pa after the input's sensor type
    bool operator==(const CurvePoint&) const = default;
};

// Pass/fail limits, flags and curves; index 0 is input group 1, index 1 input group 2.
// A limit curve in an archive: point count, then frequency and intensity per point.
void StoreCurve(ArchiveWriter& archive, const std::vector<CurvePoint>& curve);
std::vector<CurvePoint> LoadCurve(ArchiveReader& archive);

struct SpecificationSettings
{
    std::int32_t applyTimeTest[2] = {0, 0};
    std::int32_t applyFrequencyTest[2] = {0, 0};
    std::int32_t passedTime[2] = {1, 1};
    std::int32_t passedFrequency[2] = {1, 1};
    double referenceValue[2] = {0.0, 0.0};
    std::int32_t takeReference[2] = {1, 1};
    std::int32_t displayCurves = 1;
    std::int32_t audioAlert = 0;
    double maximumExcursion[2] = {0.0, 0.0};
    std::vector<CurvePoint> curve[2];

    bool operator==(const SpecificationSettings&) const = default;

    // Curves longer than this in the registry store are damage, not data.
    static constexpr std::int32_t kMaxRegistryPoints = 10000;

    // The store's subkey of the scan configuration key.
    static std::string registryPath(const std::string& scanConfigurationPath)
    {
        return scanConfigurationPath + "\\Specification";
    }

    // Reads what the subkey holds; values that are missing or of the wrong
    // type or size leave their fields as they were. A key that cannot be
    // opened changes nothing. Returns false in that case.
    bool readFromRegistry(const std::string& scanConfigurationPath);
    // Creates the subkey and writes every value; the first failing code, or 0.
    std::uint32_t writeToRegistry(const std::string& scanConfigurationPath) const;

    // The block inside a serialised scan configuration. `version` is the
    // file's format version (audio alert only in −8 and below).
    void store(ArchiveWriter& archive) const;
    void load(ArchiveReader& archive, int version);
};
