#pragma once

#include "common/Export.h"

#include <string>
#include <string_view>

// Text conversions at the OS and file-format boundaries.
namespace FenmarlCommonDLL::platform {

FENMARL_COMMON_API std::string wideToUtf8(std::wstring_view text);
FENMARL_COMMON_API std::wstring utf8ToWide(std::string_view text);
// Windows code page 1252 <-> UTF-8 (files written on either system must open on both).
FENMARL_COMMON_API std::string cp1252ToUtf8(std::string_view text);
// Characters with no 1252 form become '?'.
FENMARL_COMMON_API std::string utf8ToCp1252(std::string_view text);
// UTF-16LE code units <-> UTF-8.
FENMARL_COMMON_API std::string utf16ToUtf8(std::u16string_view text);
FENMARL_COMMON_API std::u16string utf8ToUtf16(std::string_view text);

} // namespace FenmarlCommonDLL::platform
