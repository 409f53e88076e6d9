#include "common/LastError.h"

#include "common/Utils.h"

namespace FenmarlCommonDLL {

LastError::LastError() = default;
LastError::~LastError() = default;

std::wstring LastError::descritpion(unsigned long code)
{
    std::wstring text = std::to_wstring(code);
    const std::wstring message = Utils::errorToString(code);
    if (!message.empty()) text += L", " + message;
    return text;
}

WException::WException(std::wstring message) : message_(std::move(message)) {}
WException::~WException() = default;
std::wstring WException::what() const
{
    return message_;
}

} // namespace FenmarlCommonDLL
