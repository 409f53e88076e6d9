#pragma once

#include <cstdint>
#include <string>

class ArchiveReader;
class ArchiveWriter;

// Application defaults: graph titles, data folder, units, sensor scalings and
// spectrum settings. Member names are the registry value names.
struct DefaultSettings
{
    std::string Input1TTitle = "Input 1 Time Domain";
    std::string Input1FTitle = "Input 1 Frequency Domain";
    std::string Input2TTitle = "Input 2 Time Domain";
    std::string Input2FTitle = "Input 2 Frequency Domain";
    std::string autoFileName; // silent Multiple scans; from the settings file only
    std::string Input2TDifGradTitle = "Input 2 - Input 1 Time";
    std::string Input2FDifGradTitle = "Input 2 - Input 1 Frequency";
    // Data folder, ending with a separator. The store puts the application's
    // documents folder here before it reads the registry.
    std::string FilePath;
    std::int32_t ScanOnExit = 0;
    std::int32_t ExportMultiASCII = 0;
    std::int32_t MagneticUnits = 0;  // nT, uT, mG
    std::int32_t VibrationUnits = 0; // ug, mg, g, mms-2
    std::int32_t MicrophoneUnits = 0;
    double Input1MagneticScaling = 1.0;  // uT/10V
    double Input1VibrationScaling = 1.0; // V/g
    double Input2MagneticScaling = 1.0;
    double Input2VibrationScaling = 1.0;
    double Input1MicrophoneScaling = 0.05; // mV/Pa
    double Input2MicrophoneScaling = 0.05;
    double Input1CustomVibrationScaling = 1.0;
    double Input2CustomVibrationScaling = 1.0;
    double Input1CustomMagneticScaling = 1.0;
    double Input2CustomMagneticScaling = 1.0;
    std::int32_t FFTWindowing = 3; // Hamming
    std::int32_t FFTK = 2;
    std::int32_t FFTOverlap = 1;
    std::int32_t Input1Scaling = 0; // spectrum unit of input 1
    std::int32_t Input2Scaling = 0;
    std::int32_t ZeroAndStabilise = 1;
    std::int32_t UpdateGraphs = 1;

    bool operator==(const DefaultSettings&) const = default;

    // The per-input members by input index (0 or 1; anything else reads input 2).
    std::int32_t spectrumUnit(int input) const { return input == 0 ? Input1Scaling : Input2Scaling; }
    double vibrationScaling(int input) const
    {
        return input == 0 ? Input1VibrationScaling : Input2VibrationScaling;
    }
    double magneticScaling(int input) const
    {
        return input == 0 ? Input1MagneticScaling : Input2MagneticScaling;
    }
    double microphoneScaling(int input) const
    {
        return input == 0 ? Input1MicrophoneScaling : Input2MicrophoneScaling;
    }

    // The data-settings block of a scan data file (newest layout), and its
    // reader for versions 0 … −9. On an archive error nothing is changed.
    // ZeroAndStabilise, UpdateGraphs and autoFileName are not part of it.
    void store(ArchiveWriter& archive) const;
    void load(ArchiveReader& archive, int version);
};
