#pragma once

#include "common/Export.h"
#include "common/SystemTime.h"

#include <string>

namespace FenmarlCommonDLL {

// Date-time texts with the library's month names ("Sept" for September).
class FENMARL_COMMON_API SystemTimeConverter
{
public:
    virtual ~SystemTimeConverter();
    // "05-Mar-24 14:07:09".
    static std::wstring ddMMMYYHMSFormat(const SYSTEMTIME& time);
    // "Jan" ... "Dec" from the string table; "Invalid" outside 1..12.
    static std::wstring numberToMonthString(unsigned short month);

private:
    SystemTimeConverter();
};

} // namespace FenmarlCommonDLL
