#include "app/settings/SettingRanges.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace SettingRanges {

namespace {

std::string number(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string outOfRange(const char* key, const std::string& value, const std::string& accepted)
{
    return std::string(key) + "=" + value + " is out of range: accepted " + accepted + ".";
}

std::string between(long long minimum, long long maximum)
{
    return std::to_string(minimum) + " to " + std::to_string(maximum);
}

// Checks run in the order of the settings file; the first refusal wins.
class Checks
{
public:
    void integer(const char* key, std::int32_t value, long long minimum, long long maximum)
    {
        if (!refusal && (value < minimum || value > maximum))
            refusal = outOfRange(key, std::to_string(value), between(minimum, maximum));
    }
    void gain(const char* key, std::int32_t value)
    {
        if (!refusal && !validGain(value))
            refusal = outOfRange(key, std::to_string(value), "1, 10, 100 or 1000");
    }
    void positive(const char* key, double value, const char* unit)
    {
        if (!refusal && !(std::isfinite(value) && value > 0.0))
            refusal = outOfRange(key, number(value), std::string("a number of ") + unit + " above 0");
    }
    void nonZero(const char* key, double value)
    {
        if (!refusal && !(std::isfinite(value) && value != 0.0))
            refusal = outOfRange(key, number(value), "any number but 0");
    }
    void fileName(const char* key, const std::string& value)
    {
        if (!refusal && !isPlainFileName(value))
            refusal = outOfRange(key, value, "a file name without folders");
    }

    std::optional<std::string> refusal;
};

// Registry values: an out-of-range one takes the default's value.
class Fallbacks
{
public:
    explicit Fallbacks(const std::function<void(const std::string&)>& note) : note_(note) {}

    void integer(const char* key, std::int32_t& value, std::int32_t fallback, long long minimum,
                 long long maximum)
    {
        if (value >= minimum && value <= maximum) return;
        report(key, std::to_string(value), between(minimum, maximum), std::to_string(fallback));
        value = fallback;
    }
    void gain(const char* key, std::int32_t& value, std::int32_t fallback)
    {
        if (validGain(value)) return;
        report(key, std::to_string(value), "1, 10, 100 or 1000", std::to_string(fallback));
        value = fallback;
    }
    void positive(const char* key, double& value, double fallback)
    {
        if (std::isfinite(value) && value > 0.0) return;
        report(key, number(value), "a number above 0", number(fallback));
        value = fallback;
    }
    void nonZero(const char* key, double& value, double fallback)
    {
        if (std::isfinite(value) && value != 0.0) return;
        report(key, number(value), "any number but 0", number(fallback));
        value = fallback;
    }

private:
    void report(const char* key, const std::string& value, const std::string& accepted,
                const std::string& fallback)
    {
        if (note_)
            note_("Registry value " + std::string(key) + "=" + value + " is out of range (accepted " +
                  accepted + "); using " + fallback + " instead.");
    }
    const std::function<void(const std::string&)>& note_;
};

std::uint64_t memAvailableFromKernel()
{
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        if (line.rfind("MemAvailable:", 0) != 0) continue;
        std::istringstream fields(line.substr(13));
        std::uint64_t kilobytes = 0;
        if (fields >> kilobytes) return kilobytes * 1024;
    }
    return 0;
}

} // namespace

std::uint64_t availableMemoryBytes()
{
    std::uint64_t available = memAvailableFromKernel();
    if (const char* cap = std::getenv("TESSELON_AVAILABLE_MEMORY")) {
        std::uint64_t limit = 0;
        const char* end = cap + std::char_traits<char>::length(cap);
        const auto [ptr, ec] = std::from_chars(cap, end, limit);
        if (ec == std::errc() && ptr == end && (available == 0 || limit < available)) available = limit;
    }
    return available;
}

std::uint64_t scanMemoryNeed(std::int64_t samples)
{
    return kScanFixedBytes +
           static_cast<std::uint64_t>(std::max<std::int64_t>(samples, 0)) * kScanBytesPerSample;
}

std::int64_t maxSamplesFor(std::uint64_t availableBytes)
{
    if (availableBytes <= kScanFixedBytes) return 0;
    return static_cast<std::int64_t>((availableBytes - kScanFixedBytes) / kScanBytesPerSample);
}

bool validGain(int gain)
{
    return gain == 1 || gain == 10 || gain == 100 || gain == 1000;
}

bool isPlainFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of("/\\") == std::string::npos;
}

std::optional<std::string> checkSettingsFile(const CScanConfiguration& c, const DefaultSettings& d,
                                             std::uint64_t availableBytes)
{
    Checks check;
    check.integer("Coupling1", c.Input1HPFilter, 0, kMaxCoupling);
    check.integer("Coupling2", c.Input2HPFilter, 0, kMaxCoupling);
    check.integer("ScanMode", c.ScanMode, ScanModes::Single, kMaxScanMode);
    if (c.ScanMode != ScanModes::Multiple)
        check.integer("NoOfAverages", c.NoOfAverages, kMinAverages, kMaxAverages);
    // A continuous scan grows as it goes; its count is not used.
    if (c.ScanMode != ScanModes::Continuous) {
        const std::int64_t most = maxSamplesFor(availableBytes);
        if (!check.refusal && (c.NoOfSamples < kMinSamples || c.NoOfSamples > most)) {
            std::string accepted = std::to_string(kMinSamples) + " to " + std::to_string(most);
            if (c.NoOfSamples > most)
                accepted += " (this many samples need " +
                            std::to_string(scanMemoryNeed(c.NoOfSamples) >> 20) + " MB; " +
                            std::to_string(availableBytes >> 20) + " MB of memory is available)";
            check.refusal = outOfRange("NoOfSamples", std::to_string(c.NoOfSamples), accepted);
        }
    }
    check.positive("SampleInterval", c.SampleInterval, "seconds");
    if (c.Filter == 1)
        check.integer("NoOfRollingPoints", c.CutOffFrequency, kMinRollingPoints, kMaxRollingPoints);
    if (c.ScanMode == ScanModes::Multiple) check.integer("NumberofRuns", c.NumberofRuns, kMinRuns, kMaxRuns);
    check.gain("Input1SensorGain", c.Input1SensorGain);
    check.gain("Input2SensorGain", c.Input2SensorGain);
    check.integer("Filter", c.Filter, 0, kMaxFilter);
    if (c.ScanMode == ScanModes::Multiple) check.fileName("AutoFileName", d.autoFileName);
    check.integer("UnitMagnetic", d.MagneticUnits, 0, kMaxMagneticUnit);
    check.integer("UnitVibration", d.VibrationUnits, 0, kMaxVibrationUnit);
    if (c.UseInput1 && SensorTypes::isMagnetometer(c.Input1Mode))
        check.nonZero("MagneticScaling1", d.Input1CustomMagneticScaling);
    if (c.UseInput2 && SensorTypes::isMagnetometer(c.Input2Mode))
        check.nonZero("MagneticScaling2", d.Input2CustomMagneticScaling);
    // Held in V/Pa, written in the file in mV/Pa.
    check.positive("MicrophoneScaling1", d.Input1MicrophoneScaling * 1000.0, "mV/Pa");
    check.positive("MicrophoneScaling2", d.Input2MicrophoneScaling * 1000.0, "mV/Pa");
    check.integer("FFTK", d.FFTK, kMinDiscreteFrequencies, kMaxDiscreteFrequencies);
    check.integer("FFTWindowing", d.FFTWindowing, 0, kMaxWindow);
    check.integer("Input1Scaling", d.Input1Scaling, 0, kMaxSpectrumUnit);
    check.integer("Input2Scaling", d.Input2Scaling, 0, kMaxSpectrumUnit);
    return check.refusal;
}

void applyRegistryFallbacks(CScanConfiguration& c, const std::function<void(const std::string&)>& note)
{
    const CScanConfiguration fresh;
    Fallbacks fix(note);
    fix.integer("NoOfAverages", c.NoOfAverages, fresh.NoOfAverages, kMinAverages, kMaxAverages);
    fix.integer("NoOfSamples", c.NoOfSamples, fresh.NoOfSamples, kMinSamples, kMaxSamples);
    fix.positive("SampleInterval", c.SampleInterval, fresh.SampleInterval);
    fix.gain("Input1SensorGain", c.Input1SensorGain, fresh.Input1SensorGain);
    fix.gain("Input2SensorGain", c.Input2SensorGain, fresh.Input2SensorGain);
    fix.integer("Input1HPFilter", c.Input1HPFilter, fresh.Input1HPFilter, 0, kMaxCoupling);
    fix.integer("Input2HPFilter", c.Input2HPFilter, fresh.Input2HPFilter, 0, kMaxCoupling);
    if (c.Filter == 2) c.Filter = 1; // older versions' low pass
    fix.integer("Filter", c.Filter, fresh.Filter, 0, kMaxFilter);
    fix.integer("ScanMode", c.ScanMode, fresh.ScanMode, ScanModes::Single, kMaxScanMode);
    fix.integer("CutOffFrequency", c.CutOffFrequency, fresh.CutOffFrequency, kMinRollingPoints,
                kMaxRollingPoints);
    fix.integer("NumberofRuns", c.NumberofRuns, fresh.NumberofRuns, kMinRuns, kMaxRuns);
}

void applyRegistryFallbacks(DefaultSettings& d, const std::function<void(const std::string&)>& note)
{
    const DefaultSettings fresh;
    Fallbacks fix(note);
    fix.nonZero("Input1MagneticScaling", d.Input1MagneticScaling, fresh.Input1MagneticScaling);
    fix.nonZero("Input1VibrationScaling", d.Input1VibrationScaling, fresh.Input1VibrationScaling);
    fix.integer("FFTWindowing", d.FFTWindowing, fresh.FFTWindowing, 0, kMaxWindow);
    fix.integer("MagneticUnits", d.MagneticUnits, fresh.MagneticUnits, 0, kMaxMagneticUnit);
    fix.integer("FFTK", d.FFTK, fresh.FFTK, kMinDiscreteFrequencies, kMaxDiscreteFrequencies);
    fix.integer("VibrationUnits", d.VibrationUnits, fresh.VibrationUnits, 0, kMaxVibrationUnit);
    fix.nonZero("Input2MagneticScaling", d.Input2MagneticScaling, fresh.Input2MagneticScaling);
    fix.nonZero("Input2VibrationScaling", d.Input2VibrationScaling, fresh.Input2VibrationScaling);
    fix.positive("Input1MicrophoneScaling", d.Input1MicrophoneScaling, fresh.Input1MicrophoneScaling);
    fix.positive("Input2MicrophoneScaling", d.Input2MicrophoneScaling, fresh.Input2MicrophoneScaling);
    fix.integer("Input1Scaling", d.Input1Scaling, fresh.Input1Scaling, 0, kMaxSpectrumUnit);
    fix.integer("Input2Scaling", d.Input2Scaling, fresh.Input2Scaling, 0, kMaxSpectrumUnit);
    fix.nonZero("Input1CustomVibrationScaling", d.Input1CustomVibrationScaling,
                fresh.Input1CustomVibrationScaling);
    fix.nonZero("Input2CustomVibrationScaling", d.Input2CustomVibrationScaling,
                fresh.Input2CustomVibrationScaling);
}

} // namespace SettingRanges
