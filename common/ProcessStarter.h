#pragma once

#include "common/Export.h"

#include <cstdint>
#include <string>

namespace FenmarlCommonDLL {

// Opens a document, folder or address with the desktop's default program
// (xdg-open), or runs a program with one parameter, as the shell's "open" does.
class FENMARL_COMMON_API ProcessStarter
{
public:
    ProcessStarter();
    virtual ~ProcessStarter();

    // True when the shell's result is above 32.
    bool start(std::wstring file, std::wstring parameters);
    // The text for the last failure's shell code; empty after a success.
    std::wstring getLastError();
    void displayLastErrorDetails();

    std::int64_t lastResult() const { return lastResult_; }

private:
    std::int64_t lastResult_ = -1;
    std::wstring file_;
    std::wstring parameters_;
};

} // namespace FenmarlCommonDLL
