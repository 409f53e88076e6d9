#include "common/IniFile.h"

#include "common/platform/PrivateProfile.h"
#include "common/platform/Text.h"

namespace FenmarlCommonDLL {

IniFile::IniFile() = default;
IniFile::~IniFile() = default;

std::wstring IniFile::GetIniFileValue(const std::wstring& file, const std::wstring& section,
                                      const std::wstring& key)
{
    using namespace platform;
    return utf8ToWide(getPrivateProfileString(wideToUtf8(section), wideToUtf8(key), "", wideToUtf8(file)));
}

bool IniFile::SetIniFileValue(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                              const std::wstring& value)
{
    using namespace platform;
    return writePrivateProfileString(wideToUtf8(section), wideToUtf8(key), wideToUtf8(value),
                                     wideToUtf8(file));
}

} // namespace FenmarlCommonDLL
