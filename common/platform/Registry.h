#pragma once

#include "common/Export.h"

#include <cstdint>
#include <string>
#include <vector>

// The registry store: HKEY_CURRENT_USER (writable, userConfigFolder()/registry.reg)
// and HKEY_LOCAL_MACHINE (read-only, machineConfigFolder()/registry.reg), kept
// as Windows "Registry Editor Version 5.00" text. Every write re-reads the file
// under an advisory lock and replaces it atomically, so two processes never
// lose each other's values. Results are Win32 error numbers (0 = success).
namespace FenmarlCommonDLL::platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

inline constexpr std::uint32_t REG_SZ_ = 1;
inline constexpr std::uint32_t REG_BINARY_ = 3;
inline constexpr std::uint32_t REG_DWORD_ = 4;

class FENMARL_COMMON_API RegistryKey
{
public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;

    // subKey uses backslashes: "Software\\Fenmarl\\Tesselon-6\\Defaults".
    // Missing key: ERROR_FILE_NOT_FOUND (2). Write access to LocalMachine: ERROR_ACCESS_DENIED (5).
    std::uint32_t open(RegistryRoot root, const std::string& subKey, bool writable);
    // Creates the key and its missing parents; opens it writable.
    std::uint32_t create(RegistryRoot root, const std::string& subKey);
    void close();
    bool isOpen() const { return open_; }

    // Missing value: ERROR_FILE_NOT_FOUND. REG_SZ data are the UTF-8 bytes without a terminator.
    std::uint32_t queryValue(const std::string& name, std::uint32_t* type,
                             std::vector<std::uint8_t>* data) const;
    std::uint32_t setValue(const std::string& name, std::uint32_t type, const void* data, std::size_t size);
    std::uint32_t deleteValue(const std::string& name);

    // Conveniences: wrong type → ERROR_INVALID_DATA (13); wrong size → ERROR_INVALID_DATA.
    std::uint32_t queryString(const std::string& name, std::string* value) const;
    std::uint32_t queryDword(const std::string& name, std::uint32_t* value) const;
    // Exactly `size` bytes of REG_BINARY expected.
    std::uint32_t queryBinary(const std::string& name, void* value, std::size_t size) const;
    std::uint32_t setString(const std::string& name, const std::string& value);
    std::uint32_t setDword(const std::string& name, std::uint32_t value);
    std::uint32_t setBinary(const std::string& name, const void* value, std::size_t size);

private:
    bool open_ = false;
    bool writable_ = false;
    RegistryRoot root_ = RegistryRoot::CurrentUser;
    std::string path_;
};

// Groups many writes into one replacement of the per-user store: while a
// batch is open, writes (from any thread of the process) change the store in
// memory under the store's advisory lock, so other processes wait; the file
// is written once when the outermost batch ends. Reads see the new values at
// once. Batches nest.
class FENMARL_COMMON_API RegistryBatch
{
public:
    RegistryBatch();
    // Writes what changed (see commit()).
    ~RegistryBatch();
    RegistryBatch(const RegistryBatch&) = delete;
    RegistryBatch& operator=(const RegistryBatch&) = delete;

    // Ends this batch now; the outermost one writes the file. Returns the
    // Win32 error of that write (0 when nothing needed writing or an outer
    // batch is still open). Later calls return 0.
    std::uint32_t commit();

private:
    bool open_ = true;
};

} // namespace FenmarlCommonDLL::platform
