#pragma once

#include "common/Export.h"

#include <string>

namespace FenmarlCommonDLL {

class FENMARL_COMMON_API LastError
{
public:
    virtual ~LastError();
    // "5, Access is denied." — the number, then the system's text when it has one.
    static std::wstring descritpion(unsigned long code);

private:
    LastError();
};

// An exception carrying wide text.
class FENMARL_COMMON_API WException
{
public:
    explicit WException(std::wstring message);
    virtual ~WException();
    std::wstring what() const;

private:
    std::wstring message_;
};

} // namespace FenmarlCommonDLL
