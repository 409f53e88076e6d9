#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/settings/ScanConfiguration.h"

#include <filesystem>
#include <string>

// The private-profile settings file of unattended runs (-i). Every key is
// read in a fixed order and stored, so a missing key resets its field
// (false, 0 or empty). Fails when NoOfSamples is not a 32-bit decimal
// integer; the keys read before it keep their new values.
bool loadSettingsFile(const std::filesystem::path& path, CScanConfiguration& configuration,
                      DefaultSettings& defaults);

// The value rules of the settings file, exposed for their tests.
namespace SettingsFileValues {
// Exactly "True" (case-sensitive).
bool toBool(const std::string& value);
// Leading decimal integer (blanks and sign allowed), 0 when there is none;
// values beyond 32 bits are clamped.
std::int32_t toInt(const std::string& value);
// The whole text is a decimal integer that fits 32 bits.
bool toStrictInt(const std::string& value, std::int32_t* result);
// Leading decimal number, 0 when there is none or it is not finite.
double toDouble(const std::string& value);
} // namespace SettingsFileValues
