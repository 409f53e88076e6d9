#pragma once

#include <cstdint>
#include <string_view>

// The sensor types as stored in the configuration (Input1Mode, Input2Mode), in
// settings files and in scan files: these exact words are the stored values.
namespace SensorTypes {
inline constexpr const char* Magnetometer = "Magnetometer";
inline constexpr const char* Accelerometer = "Accelerometer";
inline constexpr const char* Microphone = "Microphone";

inline bool isMagnetometer(std::string_view type)
{
    return type == Magnetometer;
}
inline bool isAccelerometer(std::string_view type)
{
    return type == Accelerometer;
}
inline bool isMicrophone(std::string_view type)
{
    return type == Microphone;
}
} // namespace SensorTypes

// The values of CScanConfiguration::ScanMode, stored as an integer.
namespace ScanModes {
enum : std::int32_t { Single = 0, Continuous = 1, Multiple = 2 };
} // namespace ScanModes
