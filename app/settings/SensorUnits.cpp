#include "app/settings/SensorUnits.h"

#include "app/base/ConfigurationValues.h"
#include "app/specification/SpecificationTest.h"

namespace SensorUnits {

std::string unitName(const std::string& sensorType, int magneticUnits, int vibrationUnits)
{
    if (SensorTypes::isMagnetometer(sensorType)) return magneticUnits == 0 ? "nT" : magneticUnits == 1 ? "uT" : "mG";
    if (SensorTypes::isMicrophone(sensorType)) return "Pa";
    // Anything else reads as an accelerometer.
    return vibrationUnits == 0 ? "ug" : vibrationUnits == 1 ? "mg" : vibrationUnits == 3 ? "mms-2" : "g";
}

double unitFactor(const std::string& sensorType, int magneticUnits, int vibrationUnits)
{
    // One table for graphs and the limit test: one mm/s² is 1/9806.65 g, not 9806.65 g.
    return SpecificationUnitFactor(unitName(sensorType, magneticUnits, vibrationUnits));
}

bool usesDifferentialTitles(bool diffGrad, bool useInput1, const std::string& input1Mode,
                            const std::string& input2Mode)
{
    return diffGrad && useInput1 && SensorTypes::isMagnetometer(input1Mode) &&
           SensorTypes::isMagnetometer(input2Mode);
}

} // namespace SensorUnits
