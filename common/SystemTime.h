#pragma once

#include "common/Export.h"

#include <cstdint>
#include <string>

namespace FenmarlCommonDLL {

// The Windows SYSTEMTIME record: calendar date and time with milliseconds.
struct SYSTEMTIME
{
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;     // 1..12
    std::uint16_t wDayOfWeek = 0; // 0 = Sunday
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;

    bool operator==(const SYSTEMTIME&) const = default;
};

// The local time now (GetLocalTime).
FENMARL_COMMON_API SYSTEMTIME getLocalTime();

// At least two digits, with a leading zero ("07"), as dates and times are written.
FENMARL_COMMON_API std::wstring twoDigits(unsigned value);
// "14:07:09".
FENMARL_COMMON_API std::wstring clockTime(const SYSTEMTIME& time);

} // namespace FenmarlCommonDLL
