#include "common/Range.h"

#include <cmath>

namespace FenmarlCommonDLL {

Range::Range(float tolerance) : tolerance_(tolerance) {}
Range::~Range() = default;

void Range::recordMinMax(float v)
{
    if (!minimumSet_ || v < minimum_) {
        minimum_ = v;
        minimumSet_ = true;
    }
    if (!maximumSet_ || v > maximum_) {
        maximum_ = v;
        maximumSet_ = true;
    }
}

void Range::setMinMax(float minimum, float maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
    minimumSet_ = maximumSet_ = true;
}

void Range::reset()
{
    minimum_ = maximum_ = 0.0f;
    minimumSet_ = maximumSet_ = false;
}

float Range::minValue() const
{
    return minimum_;
}
float Range::maxValue() const
{
    return maximum_;
}

bool Range::isWithinRange(float v) const
{
    if (minimumSet_ && v < minimum_ - std::fabs(minimum_) * tolerance_) return false;
    if (maximumSet_ && v > maximum_ + std::fabs(maximum_) * tolerance_) return false;
    return true;
}

} // namespace FenmarlCommonDLL
