#include "app/base/EntryRules.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace EntryRules {

namespace {

const char* skipBlanks(const char* p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

// The whole text, blanks around it allowed, read by parse (strtol, strtod);
// nothing when anything else is there. errno is as parse left it.
template <class Parse>
auto readWhole(const std::string& text, Parse parse) -> std::optional<decltype(parse("", nullptr))>
{
    const char* p = skipBlanks(text.c_str());
    if (*p == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const auto v = parse(p, &end);
    if (end == p || *skipBlanks(end) != '\0') return std::nullopt;
    return v;
}

} // namespace

std::string formatNumber(const char* pattern, double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

std::string integerRangeMessage(int minimum, int maximum)
{
    return "Please enter an integer between " + std::to_string(minimum) + " and " + std::to_string(maximum) +
           ".";
}

std::string numberRangeMessage(double minimum, double maximum)
{
    const std::string pattern = "%." + std::to_string(DBL_DIG) + "g";
    return "Please enter a number between " + formatNumber(pattern.c_str(), minimum) + " and " +
           formatNumber(pattern.c_str(), maximum) + ".";
}

std::optional<int> readInteger(const std::string& text)
{
    const auto v = readWhole(text, [](const char* p, char** end) { return std::strtol(p, end, 10); });
    if (!v || errno == ERANGE || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
    return static_cast<int>(*v);
}

std::optional<double> readNumber(const std::string& text)
{
    const auto v = readWhole(text, [](const char* p, char** end) { return std::strtod(p, end); });
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

} // namespace EntryRules
