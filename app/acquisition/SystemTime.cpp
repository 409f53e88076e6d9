#include "app/acquisition/SystemTime.h"

#include <chrono>
#include <ctime>

SystemTime SystemTime::localNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    SystemTime t;
    t.wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
    t.wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
    t.wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
    t.wDay = static_cast<std::uint16_t>(local.tm_mday);
    t.wHour = static_cast<std::uint16_t>(local.tm_hour);
    t.wMinute = static_cast<std::uint16_t>(local.tm_min);
    t.wSecond = static_cast<std::uint16_t>(local.tm_sec);
    t.wMilliseconds = static_cast<std::uint16_t>(ms);
    return t;
}
