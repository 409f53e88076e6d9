#include "common/StickyBool.h"

namespace FenmarlCommonDLL {

StickyBool::StickyBool(bool resetValue) : resetValue_(resetValue), value_(resetValue) {}
StickyBool::~StickyBool() = default;

StickyBool::operator bool() const
{
    return value_;
}

StickyBool& StickyBool::operator=(bool value)
{
    if (value != resetValue_) value_ = value;
    return *this;
}

void StickyBool::Reset()
{
    value_ = resetValue_;
}

void StickyBool::Reset(bool resetValue)
{
    resetValue_ = resetValue;
    value_ = resetValue;
}

} // namespace FenmarlCommonDLL
