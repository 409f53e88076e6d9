#pragma once

#include "app/specification/SpecificationSettings.h"

#include <optional>
#include <string>
#include <vector>

// Rules of the pass/fail limits page, without widgets.
namespace SpecificationRules {

inline constexpr const char* kCurveCaption = "Invalid Frequency Curve";
inline constexpr const char* kTooFewFrequencies =
    "The frequency curve must contain at least two distinct frequency values";
inline constexpr const char* kDecreasingFrequencies =
    "The frequency values must be in ascending order.\nThey cannot decrease.";
// Every numeric field of the page.
inline constexpr double kMinimumValue = 0.0;
inline constexpr double kMaximumValue = 1e10;

// One row of the curve list as its two texts.
struct CurveRow
{
    std::string frequency;
    std::string intensity;
    bool operator==(const CurveRow&) const = default;
};

// "%.5lg": the form a value takes in the list.
std::string formatValue(double value);
CurveRow makeRow(double frequency, double intensity);
// The unit of excursions and intensities: "uT", "g" or "Pa" by sensor type.
std::string unitFor(const std::string& sensorType);
std::string excursionLabel(const std::string& sensorType); // "Maximum Excursion / uT"
std::string intensityLabel(const std::string& sensorType); // "Intensity / uT"

// The curve of input 0 or 1 whose apply-frequency check is set: the message
// refusing it, or nothing when it may be stored.
std::optional<std::string> validateCurve(int input, const std::vector<CurveRow>& rows);
// The stored curve: the list texts read back as numbers.
std::vector<CurvePoint> curveFromRows(const std::vector<CurveRow>& rows);

} // namespace SpecificationRules
