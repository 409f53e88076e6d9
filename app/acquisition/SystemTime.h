#pragma once

#include <cstdint>

// The Windows local-time record kept with every scan (16-bit fields).
struct SystemTime
{
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;

    bool operator==(const SystemTime&) const = default;

    static SystemTime localNow();
};
