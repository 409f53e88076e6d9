#pragma once

#include "common/Export.h"

#include <string>

namespace FenmarlCommonDLL {

// Private-profile (".ini") values with wide texts; files hold UTF-8.
class FENMARL_COMMON_API IniFile
{
public:
    virtual ~IniFile();
    // Empty text when the file, section or key is missing.
    static std::wstring GetIniFileValue(const std::wstring& file, const std::wstring& section,
                                        const std::wstring& key);
    static bool SetIniFileValue(const std::wstring& file, const std::wstring& section,
                                const std::wstring& key, const std::wstring& value);

private:
    IniFile();
};

} // namespace FenmarlCommonDLL
