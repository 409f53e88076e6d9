#pragma once

#include <string>

// The units a sensor's values are shown and tested in, by sensor type and the
// unit settings: one place for graphs, exports and the limit test.
namespace SensorUnits {

// "nT", "uT", "mG", "ug", "mg", "g", "mms-2" or "Pa".
std::string unitName(const std::string& sensorType, int magneticUnits, int vibrationUnits);
// The factor handed to the limit test with a graph's series.
double unitFactor(const std::string& sensorType, int magneticUnits, int vibrationUnits);
// The bottom graphs use the differential titles only for two magnetometers in differential mode.
bool usesDifferentialTitles(bool diffGrad, bool useInput1, const std::string& input1Mode,
                            const std::string& input2Mode);

} // namespace SensorUnits
