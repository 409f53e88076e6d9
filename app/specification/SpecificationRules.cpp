#include "app/specification/SpecificationRules.h"

#include "app/base/ConfigurationValues.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace SpecificationRules {

std::string formatValue(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.5lg", value);
    return buf;
}

CurveRow makeRow(double frequency, double intensity)
{
    return {formatValue(frequency), formatValue(intensity)};
}

std::string unitFor(const std::string& sensorType)
{
    if (SensorTypes::isMagnetometer(sensorType)) return "uT";
    if (SensorTypes::isMicrophone(sensorType)) return "Pa";
    return "g";
}

std::string excursionLabel(const std::string& sensorType)
{
    return "Maximum Excursion / " + unitFor(sensorType);
}

std::string intensityLabel(const std::string& sensorType)
{
    return "Intensity / " + unitFor(sensorType);
}

std::optional<std::string> validateCurve(int input, const std::vector<CurveRow>& rows)
{
    const std::vector<CurvePoint> curve = curveFromRows(rows);
    const double distinct = input == 0 ? 1e-6 : 2e-6;
    bool spread = false;
    for (std::size_t i = 1; i < curve.size() && !spread; ++i)
        spread = std::fabs(curve[i].frequency - curve[0].frequency) > distinct;
    if (curve.size() < 2 || !spread) return std::string(kTooFewFrequencies);
    for (std::size_t i = 1; i < curve.size(); ++i)
        if (curve[i].frequency < curve[i - 1].frequency - 1e-6) return std::string(kDecreasingFrequencies);
    return std::nullopt;
}

std::vector<CurvePoint> curveFromRows(const std::vector<CurveRow>& rows)
{
    std::vector<CurvePoint> curve;
    curve.reserve(rows.size());
    for (const auto& row : rows)
        curve.push_back({std::atof(row.frequency.c_str()), std::atof(row.intensity.c_str())});
    return curve;
}

} // namespace SpecificationRules
