#include "app/base/RegistryKey.h"

#include "app/base/TextRules.h"
#include "common/platform/Win32Error.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform = FenmarlCommonDLL::platform;

std::uint32_t CRegistryKey::open(const std::string& path, Root root)
{
    if (open_) return kKeyAlreadyOpen;
    return opened(key_.open(root, path, root == Root::CurrentUser), path);
}

std::uint32_t CRegistryKey::create(const std::string& path)
{
    if (open_) return kKeyAlreadyOpen;
    return opened(key_.create(Root::CurrentUser, path), path);
}

std::uint32_t CRegistryKey::opened(std::uint32_t rc, const std::string& path)
{
    if (rc != platform::kErrorSuccess) return rc;
    path_ = path;
    open_ = true;
    return rc;
}

std::uint32_t CRegistryKey::query(const std::string& name, bool hasDestination, std::uint32_t* type,
                                  std::vector<std::uint8_t>* data) const
{
    if (!open_) return kKeyNotOpen;
    if (!hasDestination) return kNotReadable;
    return key_.queryValue(name, type, data);
}

std::uint32_t CRegistryKey::close()
{
    if (!open_) return kKeyNotOpen;
    key_.close();
    open_ = false;
    return platform::kErrorSuccess;
}

std::uint32_t CRegistryKey::readBinary(const std::string& name, void* value, std::size_t size) const
{
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const std::uint32_t rc = query(name, value != nullptr, &type, &data);
    if (rc != platform::kErrorSuccess) return rc;
    if (type != platform::REG_BINARY_) return kWrongType;
    if (data.size() != size) return kWrongSize;
    std::memcpy(value, data.data(), size);
    return platform::kErrorSuccess;
}

std::uint32_t CRegistryKey::readInt(const std::string& name, std::int32_t* value) const
{
    if (!value) return open_ ? kNotReadable : kKeyNotOpen;
    std::uint8_t b[4];
    const std::uint32_t rc = readBinary4(name, b);
    if (rc == platform::kErrorSuccess)
        *value = static_cast<std::int32_t>(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 |
                                           std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24);
    return rc;
}

std::uint32_t CRegistryKey::readDouble(const std::string& name, double* value) const
{
    if (!value) return open_ ? kNotReadable : kKeyNotOpen;
    std::uint8_t b[8];
    const std::uint32_t rc = readBinary8(name, b);
    if (rc == platform::kErrorSuccess) {
        std::uint64_t u = 0;
        for (int i = 7; i >= 0; --i)
            u = (u << 8) | b[i];
        *value = std::bit_cast<double>(u);
    }
    return rc;
}

std::uint32_t CRegistryKey::readText(const std::string& name, std::string* value) const
{
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const std::uint32_t rc = query(name, value != nullptr, &type, &data);
    if (rc != platform::kErrorSuccess) return rc;
    if (type != platform::REG_SZ_) return kNotText;
    if (data.size() > kMaxTextBytes) return kWrongSize;
    std::string text(data.begin(), data.end());
    // A terminator stored with the text is not part of it.
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    if (!isPlainText(text)) return kNotText;
    *value = std::move(text);
    return platform::kErrorSuccess;
}

std::uint32_t CRegistryKey::writeBinary(const std::string& name, const void* value, std::size_t size)
{
    if (!open_) return kKeyNotOpen;
    return key_.setValue(name, platform::REG_BINARY_, value, size);
}

std::uint32_t CRegistryKey::writeInt(const std::string& name, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    const std::uint8_t b[4] = {std::uint8_t(u), std::uint8_t(u >> 8), std::uint8_t(u >> 16),
                               std::uint8_t(u >> 24)};
    return writeBinary(name, b, sizeof b);
}

std::uint32_t CRegistryKey::writeDouble(const std::string& name, double value)
{
    const auto u = std::bit_cast<std::uint64_t>(value);
    std::uint8_t b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<std::uint8_t>(u >> (8 * i));
    return writeBinary(name, b, sizeof b);
}

std::uint32_t CRegistryKey::writeText(const std::string& name, const std::string& value)
{
    if (!open_) return kKeyNotOpen;
    return key_.setValue(name, platform::REG_SZ_, value.data(), value.size());
}

std::string registryErrorText(std::uint32_t code)
{
    std::string text = platform::win32ErrorText(code);
    if (!text.empty()) return text;
    switch (code) {
    case CRegistryKey::kKeyNotOpen:
        return "The registry key is not open.";
    case CRegistryKey::kKeyAlreadyOpen:
        return "The registry key is already open.";
    case CRegistryKey::kWrongType:
        return "The registry value has the wrong type.";
    case CRegistryKey::kNotText:
        return "The registry value is not a text.";
    case CRegistryKey::kNotReadable:
        return "The registry value's memory cannot be read.";
    case CRegistryKey::kWrongSize:
        return "The registry value has the wrong size.";
    default:
        break;
    }
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%08X.", static_cast<unsigned>(code));
    return buffer;
}
