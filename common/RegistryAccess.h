#pragma once

#include "common/Export.h"
#include "common/platform/Registry.h"

#include <string>

namespace FenmarlCommonDLL {

// Text values under "Software\\" + part1 + "\\" + part2.
class FENMARL_COMMON_API RegistryAccess
{
public:
    virtual ~RegistryAccess();
    // The REG_SZ value, or defaultValue when the key or value is missing or not text.
    static std::wstring read(const std::wstring& part1, const std::wstring& part2,
                             const std::wstring& valueName, const std::wstring& defaultValue,
                             platform::RegistryRoot root = platform::RegistryRoot::CurrentUser);
    // Creates the key when needed; stores the text as REG_SZ.
    static bool write(const std::wstring& part1, const std::wstring& part2, const std::wstring& valueName,
                      const std::wstring& value,
                      platform::RegistryRoot root = platform::RegistryRoot::CurrentUser);

private:
    RegistryAccess();
};

} // namespace FenmarlCommonDLL
