#pragma once

#include "common/Export.h"

namespace FenmarlCommonDLL {

// A minimum and maximum with a tolerance (a fraction of each end's size).
class FENMARL_COMMON_API Range
{
public:
    explicit Range(float tolerance = 0.0f);
    virtual ~Range();

    // Widens the range to include v; the first value sets both ends.
    void recordMinMax(float v);
    void setMinMax(float minimum, float maximum);
    void reset();
    float minValue() const;
    float maxValue() const;
    // min - |min|*tolerance <= v <= max + |max|*tolerance; an end not yet set does not limit.
    bool isWithinRange(float v) const;

private:
    float minimum_ = 0.0f;
    float maximum_ = 0.0f;
    float tolerance_;
    bool minimumSet_ = false;
    bool maximumSet_ = false;
};

} // namespace FenmarlCommonDLL
