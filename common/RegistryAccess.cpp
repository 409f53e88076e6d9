#include "common/RegistryAccess.h"

#include "common/platform/Text.h"
#include "common/platform/Win32Error.h"

namespace FenmarlCommonDLL {

namespace {

std::string keyPath(const std::wstring& part1, const std::wstring& part2)
{
    return "Software\\" + platform::wideToUtf8(part1) + "\\" + platform::wideToUtf8(part2);
}

} // namespace

RegistryAccess::RegistryAccess() = default;
RegistryAccess::~RegistryAccess() = default;

std::wstring RegistryAccess::read(const std::wstring& part1, const std::wstring& part2,
                                  const std::wstring& valueName, const std::wstring& defaultValue,
                                  platform::RegistryRoot root)
{
    platform::RegistryKey key;
    if (key.open(root, keyPath(part1, part2), false) != platform::kErrorSuccess) return defaultValue;
    std::string value;
    if (key.queryString(platform::wideToUtf8(valueName), &value) != platform::kErrorSuccess)
        return defaultValue;
    return platform::utf8ToWide(value);
}

bool RegistryAccess::write(const std::wstring& part1, const std::wstring& part2,
                           const std::wstring& valueName, const std::wstring& value,
                           platform::RegistryRoot root)
{
    platform::RegistryKey key;
    const std::string path = keyPath(part1, part2);
    if (key.open(root, path, true) != platform::kErrorSuccess &&
        key.create(root, path) != platform::kErrorSuccess)
        return false;
    return key.setString(platform::wideToUtf8(valueName), platform::wideToUtf8(value)) ==
           platform::kErrorSuccess;
}

} // namespace FenmarlCommonDLL
