#include "app/settings/SettingsFile.h"

#include "app/base/TextRules.h"
#include "common/platform/PrivateProfile.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace {

// The reader's buffer holds 10000 characters with the terminator.
constexpr std::size_t kMaxValueLength = 9999;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

class SettingsReader
{
public:
    explicit SettingsReader(const std::filesystem::path& path) : path_(path) {}

    std::string text(const char* section, const char* key) const
    {
        std::string value = FenmarlCommonDLL::platform::getPrivateProfileString(section, key, "", path_);
        if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
        return sanitiseUtf8(value);
    }
    std::int32_t boolean(const char* section, const char* key) const
    {
        return SettingsFileValues::toBool(text(section, key)) ? 1 : 0;
    }
    std::int32_t integer(const char* section, const char* key) const
    {
        return SettingsFileValues::toInt(text(section, key));
    }
    double number(const char* section, const char* key) const
    {
        return SettingsFileValues::toDouble(text(section, key));
    }

private:
    std::filesystem::path path_;
};

// Divisor that turns a sensor's uT/10V scaling into the chosen magnetic unit.
double magneticUnitsPerMicrotesla(std::int32_t unit)
{
    switch (unit) {
    case 0:
        return 1000.0; // nT
    case 1:
        return 1.0; // uT
    case 2:
        return 10.0; // mG
    default:
        return 1.0;
    }
}

} // namespace

namespace SettingsFileValues {

bool toBool(const std::string& value)
{
    return value == "True";
}

std::int32_t toInt(const std::string& value)
{
    std::size_t i = 0;
    while (i < value.size() && isBlank(value[i]))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    long long result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        result = result * 10 + (value[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1) result = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) result = -result;
    if (result > INT_MAX) return INT_MAX;
    if (result < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(result);
}

bool toStrictInt(const std::string& value, std::int32_t* result)
{
    const char* begin = value.data();
    const char* end = begin + value.size();
    if (begin != end && *begin == '+') ++begin;
    if (begin == end || *begin == '+') return false;
    std::int32_t parsed = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, parsed, 10);
    if (ec != std::errc() || ptr != end) return false;
    *result = parsed;
    return true;
}

double toDouble(const std::string& value)
{
    std::size_t i = 0;
    while (i < value.size() && isBlank(value[i]))
        ++i;
    if (i < value.size() && value[i] == '+') ++i;
    if (i < value.size() && value[i] != '-' && value[i] != '.' && (value[i] < '0' || value[i] > '9'))
        return 0.0; // no "inf", "nan" or hexadecimal forms
    double parsed = 0.0;
    const auto [ptr, ec] = std::from_chars(value.data() + i, value.data() + value.size(), parsed);
    if (ec != std::errc() || !std::isfinite(parsed)) return 0.0;
    return parsed;
}

} // namespace SettingsFileValues

bool loadSettingsFile(const std::filesystem::path& path, CScanConfiguration& c, DefaultSettings& d)
{
    const SettingsReader ini(path);

    c.DiffGrad = ini.boolean("Display", "DiffGrad");
    c.ShowFieldComponents = ini.boolean("Display", "ShowFieldComponents");
    c.ShowTotalField = ini.boolean("Display", "ShowTotalField");

    c.UseInput1 = ini.boolean("Sensors", "UseInput1");
    c.UseInput2 = ini.boolean("Sensors", "UseInput2");

    c.Input1AutoScale = ini.boolean("Input", "Input1AutoScale");
    c.Input2AutoScale = ini.boolean("Input", "Input2AutoScale");
    c.Input1HPFilter = ini.integer("Input", "Coupling1");
    c.Input2HPFilter = ini.integer("Input", "Coupling2");
    c.Input1Maximum = ini.number("Input", "Input1Maximum");
    c.Input1Minimum = ini.number("Input", "Input1Minimum");
    c.Input2Maximum = ini.number("Input", "Input2Maximum");
    c.Input2Minimum = ini.number("Input", "Input2Minimum");
    c.Input1DisplayMode = ini.text("Input", "Mode1");
    c.Input1DisplayType = ini.text("Input", "Input1DisplayType");
    c.Input1Mode = ini.text("Input", "Input1Mode");
    c.Input2DisplayMode = ini.text("Input", "Mode2");
    c.Input2DisplayType = ini.text("Input", "Input2DisplayType");
    c.Input2Mode = ini.text("Input", "Input2Mode");

    c.NoOfAverages = ini.integer("Acquisition", "NoOfAverages");
    if (!SettingsFileValues::toStrictInt(ini.text("Acquisition", "NoOfSamples"), &c.NoOfSamples))
        return false;
    c.SampleInterval = ini.number("Acquisition", "SampleInterval");
    c.UseFrequency = ini.boolean("Acquisition", "UseFrequency");
    c.ScanMode = ini.integer("Acquisition", "ScanMode");
    c.CutOffFrequency = ini.integer("Acquisition", "NoOfRollingPoints");
    c.NumberofRuns = ini.integer("Acquisition", "NumberofRuns");
    c.Oversample = ini.boolean("Acquisition", "Oversample");

    c.Input1SensorGain = ini.integer("InstrumentSetup", "Input1SensorGain");
    c.Input2SensorGain = ini.integer("InstrumentSetup", "Input2SensorGain");

    c.Filter = ini.integer("DigitalFiltering", "Filter");

    d.ExportMultiASCII = ini.boolean("General", "ExportMultiASCII");
    d.autoFileName = ini.text("General", "AutoFileName");

    d.MagneticUnits = ini.integer("Sensor", "UnitMagnetic");
    d.VibrationUnits = ini.integer("Sensor", "UnitVibration");
    d.Input1CustomMagneticScaling = ini.number("Sensor", "MagneticScaling1");
    d.Input2CustomMagneticScaling = ini.number("Sensor", "MagneticScaling2");
    // Derived from the scalings just read, so a file always gives the same result.
    const double perMicrotesla = magneticUnitsPerMicrotesla(d.MagneticUnits);
    d.Input1MagneticScaling = d.Input1CustomMagneticScaling / (10.0 / perMicrotesla);
    d.Input2MagneticScaling = d.Input2CustomMagneticScaling / (10.0 / perMicrotesla);
    // Sensitivities are written in mV/Pa and held in V/Pa; without the key the
    // stored sensitivity stays as it is.
    if (!ini.text("Sensor", "MicrophoneScaling1").empty())
        d.Input1MicrophoneScaling = ini.number("Sensor", "MicrophoneScaling1") / 1000.0;
    if (!ini.text("Sensor", "MicrophoneScaling2").empty())
        d.Input2MicrophoneScaling = ini.number("Sensor", "MicrophoneScaling2") / 1000.0;

    d.FFTK = ini.integer("FFT", "FFTK");
    d.FFTWindowing = ini.integer("FFT", "FFTWindowing");
    d.FFTOverlap = ini.boolean("FFT", "FFTOverlap");
    d.Input1Scaling = ini.integer("FFT", "Input1Scaling");
    d.Input2Scaling = ini.integer("FFT", "Input2Scaling");

    auto& s = c.Specification;
    s.applyTimeTest[0] = ini.boolean("Specification", "Apply1Time");
    s.applyTimeTest[1] = ini.boolean("Specification", "Apply2Time");
    s.applyFrequencyTest[0] = ini.boolean("Specification", "Apply1Frequency");
    s.applyFrequencyTest[1] = ini.boolean("Specification", "Apply2Frequency");
    s.maximumExcursion[0] = ini.number("Specification", "Excursion1");
    s.maximumExcursion[1] = ini.number("Specification", "Excursion2");
    return true;
}
