#pragma once

#include "app/base/EntryRules.h"
#include "app/settings/SettingRanges.h"

#include <optional>
#include <string>
#include <vector>

// The Settings sheet's rules without widgets: interval texts, derivations,
// the pages' checks and messages. The pages only move values between these
// functions and their controls.
namespace ConfigureRules {

inline constexpr const char* kCaption = EntryRules::kCaption;

// Choice lists, in stored/compared index order.
const std::vector<std::string>& sensorTypes();      // SensorTypes: Accelerometer, Magnetometer, Microphone
const std::vector<std::string>& couplings();        // "DC", "AC"
const std::vector<std::string>& displayTypes();     // "Time Domain", "Frequency Domain", "Both"
const std::vector<std::string>& displayModes();     // "Normal", "Mean Zero", "Offset To Zero"
const std::vector<std::string>& intervalChoices();  // "100us" … "10s"
const std::vector<std::string>& spectrumUnits();    // "RMS", "RMS/sqrt(Hz)", "PkPk", "PkPk/sqrt(Hz)"
const std::vector<std::string>& magneticUnits();    // "nT", "uT", "mG"
const std::vector<std::string>& vibrationUnits();   // "ug", "mg", "g", "mms-2"
const std::vector<std::string>& microphoneUnits();  // "Pa"
const std::vector<std::string>& standardScalings(); // "100", "250", "500", "1000", "Custom"

// Spin ranges of the Scan Configuration page: the ranges settings files and
// the registry are checked against too.
inline constexpr int kMinSamples = SettingRanges::kMinSamples, kMaxSamples = SettingRanges::kMaxSamples;
inline constexpr int kMinAverages = SettingRanges::kMinAverages, kMaxAverages = SettingRanges::kMaxAverages;
inline constexpr int kMinRollingPoints = SettingRanges::kMinRollingPoints,
                     kMaxRollingPoints = SettingRanges::kMaxRollingPoints;
inline constexpr int kMinRuns = SettingRanges::kMinRuns, kMaxRuns = SettingRanges::kMaxRuns;
inline constexpr int kMinDiscreteFrequencies = SettingRanges::kMinDiscreteFrequencies,
                     kMaxDiscreteFrequencies = SettingRanges::kMaxDiscreteFrequencies;

// The leading decimal number of the text, scaled by the first 'm' (0.001) or
// 'u' (0.000001) found in it; otherwise seconds. "1.5 ms" gives 0.0015.
double parseSampleInterval(const std::string& text);
// Only "1234567890.musS " may appear in an interval text.
bool intervalCharactersValid(const std::string& text);
// The interval as the page shows it on opening: "%gs", "%gms", "%gus" or "%g".
std::string sampleIntervalText(double seconds);
// "%.6g" of 0.5 ÷ interval.
std::string maximumFrequencyText(double seconds);
// The interval typed for a maximum frequency f: "%5gus", "%5gms" or "%5gs"
// of 1 ÷ (2 f); empty when f is not above 1e-20.
std::string intervalTextForFrequency(double frequency);
// The low-pass cut-off display: "%.6g" of N^(−1.0206) × 0.4776 ÷ interval.
std::string cutOffText(int rollingPoints, double seconds);
// Whether an interval text is one of the list's entries (exact match).
bool isIntervalChoice(const std::string& text);

// The framework's range and number messages, shared with every page.
using EntryRules::integerRangeMessage;
using EntryRules::kEnterInteger;
using EntryRules::kEnterNumber;
using EntryRules::numberRangeMessage;
using EntryRules::readInteger;
using EntryRules::readNumber;

// A refused value: which field and what to say.
struct Refusal
{
    enum Field {
        Samples,
        Averages,
        Runs,
        Interval,
        RollingPoints,
        Gain1,
        Gain2,
        CustomVibration1,
        CustomVibration2,
        Microphone1,
        Microphone2,
        YRange1,
        YRange2,
    };
    Field field;
    std::string message;
    bool operator==(const Refusal&) const = default;
};

struct ScanPageInput
{
    int scanMode = ScanModes::Single;
    int samples = 1000;
    int averages = 1;
    int runs = 5;
    int rollingPoints = 2;
    std::string intervalText;
    double interval = 0.001; // parsed before the check
};
// The interval refusal: the usual words, then what is accepted.
inline constexpr const char* kInvalidIntervalMessage =
    "Please enter a valid interval\n"
    "A number above 0 followed by us, ms or s, for example 500us, 2ms or 1s "
    "(only digits, '.', 'm', 'u', 's' and spaces).";
// The Scan Configuration page's checks in their order; the first refusal.
std::optional<Refusal> validateScanPage(const ScanPageInput& input);

// A manual value axis needs its minimum below its maximum (input 0 or 1).
std::optional<Refusal> validateYRange(int input, bool autoScale, double minimum, double maximum);

// Instrument Setup: each gain exactly 1, 10, 100 or 1000.
bool validGain(int gain);
std::optional<Refusal> validateGains(int gain1, int gain2);

// Sensor page: custom vibration scalings may not be 0.
inline constexpr const char* kCustomScalingZero = "Custom scaling cannot be zero";
std::optional<Refusal> validateCustomVibration(double custom1, double custom2);
// A microphone's sensitivity divides its samples, so 0 is refused as well.
inline constexpr const char* kMicrophoneSensitivityZero = "Microphone sensitivity cannot be zero";
std::optional<Refusal> validateMicrophoneSensitivity(double sensitivity1, double sensitivity2);

// General page: the folder with exactly one trailing separator.
std::string folderWithSeparator(const std::string& folder);

// FFT page: radio buttons None, Bartlett, Blackman, Flat Top, Hamming, Hann,
// Welch and the window codes they stand for.
int windowCodeForButton(int button);
int buttonForWindowCode(int code); // unknown codes show "None"
bool windowButtonHidden(int button);

// Sensor page scalings. Magnetic: sensitivity s in uT/10V, stored as
// s × u ÷ 10 with u = 1000 (nT), 1 (uT), 10 (mG). Vibration: sensitivity in
// V/g, stored as u ÷ s with u = 1e6 (ug), 1000 (mg), 1 (g), 9806.65 (mms-2).
// Microphone: mV/Pa on the page, V/Pa stored.
double magneticUnitFactor(int units);
double vibrationUnitFactor(int units);
double magneticScalingFor(double sensitivity, int units);
double magneticSensitivityFrom(double scaling, int units);
double vibrationScalingFor(double sensitivity, int units);
// The sensitivity behind a stored vibration scaling; `fallback` when it is 0.
double vibrationSensitivityFrom(double scaling, int units, double fallback);
// Index in standardScalings() for a sensitivity: a standard value or 4 (Custom).
int standardScalingChoice(double sensitivity);
// The sensitivity of a standard choice; 0 for Custom.
double standardScalingValue(int choice);

} // namespace ConfigureRules
