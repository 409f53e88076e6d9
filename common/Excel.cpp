#include "common/Excel.h"

namespace FenmarlCommonDLL {

Excel::Excel() = default;
Excel::~Excel() = default;

std::wstring Excel::numberToShortMonthString(int month)
{
    static const wchar_t* const names[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                           L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    if (month < 1 || month > 12) return L"Invalid month number, valid range is 1 to 12";
    return names[month - 1];
}

std::wstring Excel::wrapToStopExcelFormat(const std::wstring& text)
{
    return L"\"=\"\"" + text + L"\"\"\"";
}

std::wstring Excel::GetExcelDate(const SYSTEMTIME& time, bool twoDigitYear)
{
    const std::wstring year = twoDigitYear ? twoDigits(time.wYear % 100u) : std::to_wstring(time.wYear);
    return twoDigits(time.wDay) + L"-" + numberToShortMonthString(time.wMonth) + L"-" + year;
}

std::wstring Excel::GetExcelTime(const SYSTEMTIME& time)
{
    return clockTime(time);
}

} // namespace FenmarlCommonDLL
