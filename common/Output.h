#pragma once

#include "common/Export.h"

#include <string>

namespace FenmarlCommonDLL {

// Progress sink; the application's diagnostics window implements it.
class FENMARL_COMMON_API Output
{
public:
    virtual ~Output();
    virtual void writeOutput(const std::wstring& text) = 0;
    // UTF-8 text, passed on as wide text.
    void Progress(std::string text);
    static std::wstring string_to_wstring(const std::string& text);
};

} // namespace FenmarlCommonDLL
