#pragma once

#include <optional>
#include <string>

// What every settings page does with a typed number: read it as the
// framework's data exchange does, and say what is accepted when it is refused.
namespace EntryRules {

inline constexpr const char* kCaption = "Tesselon-6";

// printf of one number into a string.
std::string formatNumber(const char* pattern, double value);

// The framework's range and number messages.
std::string integerRangeMessage(int minimum, int maximum);
std::string numberRangeMessage(double minimum, double maximum);
inline constexpr const char* kEnterInteger = "Please enter an integer.";
inline constexpr const char* kEnterNumber = "Please enter a number.";
// Whole-text integer/number reading as the framework's data exchange does
// it (surrounding blanks allowed); nothing on anything else.
std::optional<int> readInteger(const std::string& text);
std::optional<double> readNumber(const std::string& text);

} // namespace EntryRules
