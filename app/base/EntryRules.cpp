#include "app/base/EntryRules.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace EntryRules {

namespace {

std::string format(const char* pattern, double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

bool onlyBlanks(const char* p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    return *p == '\0';
}

} // namespace

std::string integerRangeMessage(int minimum, int maximum)
{
    return "Please enter an integer between " + std::to_string(minimum) + " and " + std::to_string(maximum) +
           ".";
}

std::string numberRangeMessage(double minimum, double maximum)
{
    const std::string pattern = "%." + std::to_string(DBL_DIG) + "g";
    return "Please enter a number between " + format(pattern.c_str(), minimum) + " and " +
           format(pattern.c_str(), maximum) + ".";
}

std::optional<int> readInteger(const std::string& text)
{
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT32_MIN || v > INT32_MAX || !onlyBlanks(end))
        return std::nullopt;
    return static_cast<int>(v);
}

std::optional<double> readNumber(const std::string& text)
{
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '\0') return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p || !onlyBlanks(end) || !std::isfinite(v)) return std::nullopt;
    return v;
}

} // namespace EntryRules
