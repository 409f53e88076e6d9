#include "common/SystemTimeConverter.h"

#include "common/Utils.h"

#include <chrono>
#include <ctime>
#include <cwchar>

namespace FenmarlCommonDLL {

SYSTEMTIME getLocalTime()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    SYSTEMTIME st;
    st.wYear = static_cast<std::uint16_t>(tm.tm_year + 1900);
    st.wMonth = static_cast<std::uint16_t>(tm.tm_mon + 1);
    st.wDayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    st.wDay = static_cast<std::uint16_t>(tm.tm_mday);
    st.wHour = static_cast<std::uint16_t>(tm.tm_hour);
    st.wMinute = static_cast<std::uint16_t>(tm.tm_min);
    st.wSecond = static_cast<std::uint16_t>(tm.tm_sec);
    st.wMilliseconds =
        static_cast<std::uint16_t>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return st;
}

std::wstring twoDigits(unsigned value)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%02u", value);
    return text;
}

std::wstring clockTime(const SYSTEMTIME& time)
{
    return twoDigits(time.wHour) + L":" + twoDigits(time.wMinute) + L":" + twoDigits(time.wSecond);
}

SystemTimeConverter::SystemTimeConverter() = default;
SystemTimeConverter::~SystemTimeConverter() = default;

std::wstring SystemTimeConverter::numberToMonthString(unsigned short month)
{
    // Only 1..12 index the month names; the entries after them are other texts.
    if (month < 1 || month > 12) return Utils::loadStrFromResource(113);
    return Utils::loadStrFromResource(100u + month);
}

std::wstring SystemTimeConverter::ddMMMYYHMSFormat(const SYSTEMTIME& time)
{
    return twoDigits(time.wDay) + L"-" + numberToMonthString(time.wMonth) + L"-" +
           twoDigits(time.wYear % 100u) + L" " + clockTime(time);
}

} // namespace FenmarlCommonDLL
