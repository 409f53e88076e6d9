#pragma once

#include "common/Export.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Private-profile (".ini") files with the semantics of
// GetPrivateProfileString / WritePrivateProfileString: case-insensitive
// section and key, blanks around names and values trimmed, a missing file
// reads as empty, writing creates file, section and key and keeps the rest.
// Bytes are kept as they are (no code-page conversion).
namespace FenmarlCommonDLL::platform {

FENMARL_COMMON_API std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                                       const std::string& defaultValue,
                                                       const std::filesystem::path& file);
// GetPrivateProfileInt: leading decimal digits (optional sign), default when the key is missing.
FENMARL_COMMON_API int getPrivateProfileInt(const std::string& section, const std::string& key,
                                            int defaultValue, const std::filesystem::path& file);
// Written atomically (temporary file + rename). False when the file cannot be written.
FENMARL_COMMON_API bool writePrivateProfileString(const std::string& section, const std::string& key,
                                                  const std::string& value,
                                                  const std::filesystem::path& file);
// WritePrivateProfileSection: the section's entries become exactly these, in one
// atomic write, so a reader never sees a mix of old and new keys. The rest of the
// file is kept. False when a name or value cannot be written or the file cannot be.
FENMARL_COMMON_API bool writePrivateProfileSection(const std::string& section,
                                                   const std::vector<std::pair<std::string, std::string>>& entries,
                                                   const std::filesystem::path& file);

} // namespace FenmarlCommonDLL::platform
