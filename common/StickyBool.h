#pragma once

#include "common/Export.h"

namespace FenmarlCommonDLL {

// A flag that latches once set away from its reset value, until Reset.
class FENMARL_COMMON_API StickyBool
{
public:
    explicit StickyBool(bool resetValue = false);
    virtual ~StickyBool();

    operator bool() const;
    StickyBool& operator=(bool value);
    void Reset();
    void Reset(bool resetValue);

private:
    bool resetValue_;
    bool value_;
};

} // namespace FenmarlCommonDLL
