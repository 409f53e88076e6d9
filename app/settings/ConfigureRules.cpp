#include "app/settings/ConfigureRules.h"

#include "app/base/ConfigurationValues.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ConfigureRules {

namespace {

using EntryRules::formatNumber;

} // namespace

const std::vector<std::string>& sensorTypes()
{
    static const std::vector<std::string> v{SensorTypes::Accelerometer, SensorTypes::Magnetometer,
                                            SensorTypes::Microphone};
    return v;
}
const std::vector<std::string>& couplings()
{
    static const std::vector<std::string> v{"DC", "AC"};
    return v;
}
const std::vector<std::string>& displayTypes()
{
    static const std::vector<std::string> v{"Time Domain", "Frequency Domain", "Both"};
    return v;
}
const std::vector<std::string>& displayModes()
{
    static const std::vector<std::string> v{"Normal", "Mean Zero", "Offset To Zero"};
    return v;
}
const std::vector<std::string>& intervalChoices()
{
    static const std::vector<std::string> v{"100us", "200us", "500us", "1ms",   "2ms", "5ms", "10ms", "20ms",
                                            "50ms",  "100ms", "200ms", "500ms", "1s",  "5s",  "10s"};
    return v;
}
const std::vector<std::string>& spectrumUnits()
{
    static const std::vector<std::string> v{"RMS", "RMS/sqrt(Hz)", "PkPk", "PkPk/sqrt(Hz)"};
    return v;
}
const std::vector<std::string>& magneticUnits()
{
    static const std::vector<std::string> v{"nT", "uT", "mG"};
    return v;
}
const std::vector<std::string>& vibrationUnits()
{
    static const std::vector<std::string> v{"ug", "mg", "g", "mms-2"};
    return v;
}
const std::vector<std::string>& microphoneUnits()
{
    static const std::vector<std::string> v{"Pa"};
    return v;
}
const std::vector<std::string>& standardScalings()
{
    static const std::vector<std::string> v{"100", "250", "500", "1000", "Custom"};
    return v;
}

double parseSampleInterval(const std::string& text)
{
    // Leading decimal number, as atof reads it (0 when there is none).
    double value = std::atof(text.c_str());
    const std::size_t unit = text.find_first_of("mu");
    if (unit != std::string::npos) value *= text[unit] == 'm' ? 0.001 : 0.000001;
    return value;
}

bool intervalCharactersValid(const std::string& text)
{
    return text.find_first_not_of("1234567890.musS ") == std::string::npos;
}

std::string sampleIntervalText(double t)
{
    if (t >= 1 && t < 1000) return formatNumber("%gs", t);
    if (t * 1000 >= 1 && t * 1000 < 1000) return formatNumber("%gms", t * 1000);
    if (t * 1000000 >= 1 && t * 1000000 < 1000) return formatNumber("%gus", t * 1000000);
    return formatNumber("%g", t);
}

std::string maximumFrequencyText(double t)
{
    return formatNumber("%.6g", 0.5 / t);
}

std::string intervalTextForFrequency(double f)
{
    if (!(f > 1e-20)) return {};
    const double interval = 1.0 / (2.0 * f);
    if (interval < 0.001) return formatNumber("%5gus", interval * 1000000);
    if (interval < 1) return formatNumber("%5gms", interval * 1000);
    return formatNumber("%5gs", interval);
}

std::string cutOffText(int rollingPoints, double t)
{
    // No interval yet (0, "ms") or no usable rolling count: nothing to show
    // rather than "inf" or a negative frequency.
    if (!(t > 0.0) || !std::isfinite(t) || rollingPoints < 1) return {};
    const double cutOff = std::pow(static_cast<double>(rollingPoints), -1.0206) * 0.4776 / t;
    if (!std::isfinite(cutOff)) return {};
    return formatNumber("%.6g", cutOff);
}

bool isIntervalChoice(const std::string& text)
{
    for (const auto& c : intervalChoices())
        if (c == text) return true;
    return false;
}

std::optional<Refusal> validateScanPage(const ScanPageInput& in)
{
    if (in.samples < kMinSamples || in.samples > kMaxSamples)
        return Refusal{Refusal::Samples, integerRangeMessage(kMinSamples, kMaxSamples)};
    if (in.averages < kMinAverages || in.averages > kMaxAverages)
        return Refusal{Refusal::Averages, integerRangeMessage(kMinAverages, kMaxAverages)};
    if (in.runs < kMinRuns || in.runs > kMaxRuns)
        return Refusal{Refusal::Runs, integerRangeMessage(kMinRuns, kMaxRuns)};
    // A text of the allowed characters can still hold no number ("ms") or 0,
    // which would divide by zero when the scan starts.
    if (!intervalCharactersValid(in.intervalText) || !(parseSampleInterval(in.intervalText) > 0.0))
        return Refusal{Refusal::Interval, kInvalidIntervalMessage};
    if (in.scanMode == ScanModes::Continuous) {
        if (in.averages != 1)
            return Refusal{Refusal::Averages,
                           "Number of averages must be set to 1 for continuous acquisition"};
        if (in.interval < 5.0)
            return Refusal{Refusal::Interval,
                           "Sample interval must be 5s or greater for continuous acquisition"};
    }
    if (in.scanMode == ScanModes::Multiple && in.interval < 0.000199)
        return Refusal{Refusal::Interval,
                       "Sample interval must be 200uS or greater for multiple acquisition"};
    if (in.rollingPoints < kMinRollingPoints || in.rollingPoints > kMaxRollingPoints)
        return Refusal{Refusal::RollingPoints, integerRangeMessage(kMinRollingPoints, kMaxRollingPoints)};
    return std::nullopt;
}

std::optional<Refusal> validateYRange(int input, bool autoScale, double minimum, double maximum)
{
    if (autoScale || minimum < maximum) return std::nullopt;
    return Refusal{input == 0 ? Refusal::YRange1 : Refusal::YRange2,
                   "Input " + std::to_string(input + 1) + " Y Maximum must be greater than Y Minimum (" +
                       formatNumber("%g", minimum) + ")."};
}

bool validGain(int gain)
{
    return gain == 1 || gain == 10 || gain == 100 || gain == 1000;
}

std::optional<Refusal> validateGains(int gain1, int gain2)
{
    if (!validGain(gain1)) return Refusal{Refusal::Gain1, "Input 1 sensor gain must be 1, 10, 100 or 1000"};
    if (!validGain(gain2)) return Refusal{Refusal::Gain2, "Input 2 sensor gain must be 1, 10, 100 or 1000"};
    return std::nullopt;
}

std::optional<Refusal> validateCustomVibration(double custom1, double custom2)
{
    if (custom1 == 0.0) return Refusal{Refusal::CustomVibration1, kCustomScalingZero};
    if (custom2 == 0.0) return Refusal{Refusal::CustomVibration2, kCustomScalingZero};
    return std::nullopt;
}

std::optional<Refusal> validateMicrophoneSensitivity(double sensitivity1, double sensitivity2)
{
    if (sensitivity1 == 0.0) return Refusal{Refusal::Microphone1, kMicrophoneSensitivityZero};
    if (sensitivity2 == 0.0) return Refusal{Refusal::Microphone2, kMicrophoneSensitivityZero};
    return std::nullopt;
}

std::string folderWithSeparator(const std::string& folder)
{
    if (folder.empty()) return folder;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder;
    return folder + "/";
}

namespace {
// Button order None, Bartlett, Blackman, Flat Top, Hamming, Hann, Welch.
constexpr int kButtonCodes[7] = {0, 1, 6, 5, 3, 2, 4};
} // namespace

int windowCodeForButton(int button)
{
    return button >= 0 && button < 7 ? kButtonCodes[button] : 0;
}

int buttonForWindowCode(int code)
{
    for (int b = 0; b < 7; ++b)
        if (kButtonCodes[b] == code) return b;
    return 0;
}

bool windowButtonHidden(int button)
{
    return button == 2 || button == 3;
}

double magneticUnitFactor(int units)
{
    switch (units) {
    case 0:
        return 1000.0;
    case 2:
        return 10.0;
    default:
        return 1.0;
    }
}

double vibrationUnitFactor(int units)
{
    switch (units) {
    case 0:
        return 1000000.0;
    case 1:
        return 1000.0;
    case 3:
        return 9806.65;
    default:
        return 1.0;
    }
}

double magneticScalingFor(double sensitivity, int units)
{
    return sensitivity * magneticUnitFactor(units) / 10.0;
}

double magneticSensitivityFrom(double scaling, int units)
{
    return scaling * 10.0 / magneticUnitFactor(units);
}

double vibrationScalingFor(double sensitivity, int units)
{
    return vibrationUnitFactor(units) / sensitivity;
}

double vibrationSensitivityFrom(double scaling, int units, double fallback)
{
    return scaling != 0.0 ? vibrationUnitFactor(units) / scaling : fallback;
}

int standardScalingChoice(double sensitivity)
{
    for (int i = 0; i < 4; ++i)
        if (std::fabs(sensitivity - standardScalingValue(i)) <= 1e-9 * standardScalingValue(i)) return i;
    return 4;
}

double standardScalingValue(int choice)
{
    static const double values[4] = {100.0, 250.0, 500.0, 1000.0};
    return choice >= 0 && choice < 4 ? values[choice] : 0.0;
}

} // namespace ConfigureRules
