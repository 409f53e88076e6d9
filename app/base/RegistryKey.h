#pragma once

#include "common/platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One open key of the registry store. Results are Win32 error codes (0 is
// success) or the key's own codes below.
class CRegistryKey
{
public:
    static constexpr std::uint32_t kKeyNotOpen = 0xC0000200;
    static constexpr std::uint32_t kKeyAlreadyOpen = 0xC0000201;
    static constexpr std::uint32_t kWrongType = 0xC0000202;
    static constexpr std::uint32_t kNotText = 0xC0000203;
    static constexpr std::uint32_t kNotReadable = 0xC0000205;
    static constexpr std::uint32_t kWrongSize = 0xC0000206;

    // Longest text accepted from the store, in bytes: nothing this program
    // keeps there comes near it, so anything longer is damage, not data.
    static constexpr std::size_t kMaxTextBytes = 4096;

    using Root = FenmarlCommonDLL::platform::RegistryRoot;

    CRegistryKey() = default;
    virtual ~CRegistryKey() = default;
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Full access under HKEY_CURRENT_USER; the machine-wide root only reads.
    std::uint32_t open(const std::string& path, Root root = Root::CurrentUser);
    // Creates (or opens) the key and its parents under HKEY_CURRENT_USER.
    std::uint32_t create(const std::string& path);
    std::uint32_t close();
    bool isOpen() const { return open_; }
    const std::string& path() const { return path_; }

    // REG_BINARY of exactly 4 / 8 / `size` bytes; anything else is refused
    // and `value` is left untouched.
    std::uint32_t readBinary4(const std::string& name, void* value) const
    {
        return readBinary(name, value, 4);
    }
    std::uint32_t readBinary8(const std::string& name, void* value) const
    {
        return readBinary(name, value, 8);
    }
    std::uint32_t readBinary(const std::string& name, void* value, std::size_t size) const;
    std::uint32_t readInt(const std::string& name, std::int32_t* value) const;
    std::uint32_t readDouble(const std::string& name, double* value) const;
    // REG_SZ only; a zero-length value reads as empty. Over-long texts, invalid
    // UTF-8 and control characters are refused.
    std::uint32_t readText(const std::string& name, std::string* value) const;

    std::uint32_t writeBinary(const std::string& name, const void* value, std::size_t size);
    std::uint32_t writeInt(const std::string& name, std::int32_t value);
    std::uint32_t writeDouble(const std::string& name, double value);
    std::uint32_t writeText(const std::string& name, const std::string& value);

private:
    // Records a key that opened (rc success) under `path`; rc either way.
    std::uint32_t opened(std::uint32_t rc, const std::string& path);
    // A stored value with its type, when the key is open and the caller gave somewhere to put it.
    std::uint32_t query(const std::string& name, bool hasDestination, std::uint32_t* type,
                        std::vector<std::uint8_t>* data) const;

    FenmarlCommonDLL::platform::RegistryKey key_;
    std::string path_;
    bool open_ = false;
};

// The text for a result code: the system's message, else this program's own
// for the key's codes, else "Unknown error 0x...".
std::string registryErrorText(std::uint32_t code);
