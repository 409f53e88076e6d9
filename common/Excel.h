#pragma once

#include "common/Export.h"
#include "common/SystemTime.h"

#include <string>

namespace FenmarlCommonDLL {

// Text that spreadsheets show as written.
class FENMARL_COMMON_API Excel
{
public:
    virtual ~Excel();
    // "Jan" ... "Dec"; "Invalid month number, valid range is 1 to 12" otherwise.
    static std::wstring numberToShortMonthString(int month);
    // "=""text""" — shown unchanged rather than read as a number or date.
    static std::wstring wrapToStopExcelFormat(const std::wstring& text);
    // "05-Mar-2024"; with twoDigitYear "05-Mar-24".
    static std::wstring GetExcelDate(const SYSTEMTIME& time, bool twoDigitYear);
    // "14:07:09".
    static std::wstring GetExcelTime(const SYSTEMTIME& time);

private:
    Excel();
};

} // namespace FenmarlCommonDLL
