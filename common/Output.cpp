#include "common/Output.h"

#include "common/platform/Text.h"

namespace FenmarlCommonDLL {

Output::~Output() = default;

void Output::Progress(std::string text)
{
    writeOutput(string_to_wstring(text));
}

// Malformed bytes become U+FFFD rather than failing, so progress text is never lost.
std::wstring Output::string_to_wstring(const std::string& text)
{
    return platform::utf8ToWide(text);
}

} // namespace FenmarlCommonDLL
