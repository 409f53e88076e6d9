#pragma once

#include "app/base/ConfigurationValues.h"
#include "app/specification/SpecificationSettings.h"

#include <cstdint>
#include <string>

class ArchiveReader;
class ArchiveWriter;

// The scan configuration record: everything that shapes a scan, its display
// and its pass/fail test. Member names are the registry value names.
class CScanConfiguration
{
public:
    static constexpr const char* kRuntimeClassName = "CScanConfiguration";
    // Format version written by this program's scan data files.
    static constexpr int kCurrentVersion = -9;

    std::string Input1Mode = SensorTypes::Accelerometer;
    std::string Input1DisplayType = "Both";
    std::string Input1DisplayMode = "Normal";
    std::string Input2Mode = SensorTypes::Accelerometer;
    std::string Input2DisplayType = "Both";
    std::string Input2DisplayMode = "Normal";
    std::int32_t UseInput1 = 1;
    std::int32_t UseInput2 = 0;
    std::int32_t DiffGrad = 0;
    std::int32_t ShowFieldComponents = 1;
    std::int32_t ShowTotalField = 0;
    std::int32_t UseFrequency = 0;
    std::int32_t Filter = 0;          // 0 none, 1 low pass
    std::int32_t CutOffFrequency = 2; // rolling points of the low pass
    std::int32_t Oversample = 0;
    std::int32_t ScanMode = ScanModes::Single;
    double SampleInterval = 0.001; // seconds
    std::int32_t NoOfSamples = 1000;
    std::int32_t NoOfAverages = 1;
    std::int32_t Input1AutoScale = 1;
    std::int32_t Input2AutoScale = 1;
    double Input1Minimum = 0.0;
    double Input1Maximum = 0.0;
    double Input2Minimum = 0.0;
    double Input2Maximum = 0.0;
    std::int32_t Input1SensorGain = 1;
    std::int32_t Input2SensorGain = 1;
    std::int32_t Input1HPFilter = 0;
    std::int32_t Input2HPFilter = 0;
    SpecificationSettings Specification;
    std::int32_t NumberofRuns = 5;
    std::string FileName; // Multiple-mode scan file name; never stored

    virtual ~CScanConfiguration() = default;
    CScanConfiguration() = default;
    CScanConfiguration(const CScanConfiguration&) = default;
    CScanConfiguration& operator=(const CScanConfiguration&) = default;
    bool operator==(const CScanConfiguration&) const = default;

    // The per-input members by input index (0 or 1; anything else reads input 2).
    const std::string& inputMode(int input) const { return input == 0 ? Input1Mode : Input2Mode; }
    const std::string& displayType(int input) const
    {
        return input == 0 ? Input1DisplayType : Input2DisplayType;
    }
    const std::string& displayMode(int input) const
    {
        return input == 0 ? Input1DisplayMode : Input2DisplayMode;
    }
    bool usesInput(int input) const { return (input == 0 ? UseInput1 : UseInput2) != 0; }
    std::int32_t autoScale(int input) const { return input == 0 ? Input1AutoScale : Input2AutoScale; }
    double minimum(int input) const { return input == 0 ? Input1Minimum : Input2Minimum; }
    double maximum(int input) const { return input == 0 ? Input1Maximum : Input2Maximum; }
    std::int32_t sensorGain(int input) const { return input == 0 ? Input1SensorGain : Input2SensorGain; }
    std::int32_t hpFilter(int input) const { return input == 0 ? Input1HPFilter : Input2HPFilter; }

    // Writes the record in the newest layout (the same for versions −8 and −9).
    void store(ArchiveWriter& archive) const;
    // Reads a record of the given format version (0 and −1 … −9). On an
    // archive error the record is left exactly as it was.
    //
    // Filter in versions −8 and −9: the value this program writes (0, 1) is
    // read back unchanged; a stored 2, which older writers used for the low
    // pass, reads as 1.
    void load(ArchiveReader& archive, int version);
};
