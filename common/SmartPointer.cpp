#include "common/SmartPointer.h"

namespace FenmarlCommonDLL {

SmartPointerBase::SmartPointerBase() = default;
SmartPointerBase::SmartPointerBase(const SmartPointerBase&) {}
SmartPointerBase& SmartPointerBase::operator=(const SmartPointerBase&)
{
    return *this;
}
SmartPointerBase::~SmartPointerBase() = default;

void SmartPointerBase::increment()
{
    count_.fetch_add(1, std::memory_order_relaxed);
}

void SmartPointerBase::decrement()
{
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

std::int32_t SmartPointerBase::referenceCount() const
{
    return count_.load(std::memory_order_acquire);
}

} // namespace FenmarlCommonDLL
