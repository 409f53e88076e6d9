#include "driver/SampleRing.h"

#include <algorithm>
#include <cstring>

SampleRing::SampleRing() : base_(new std::uint8_t[kCapacity]()) {}

SampleRing::~SampleRing() = default;

void SampleRing::write(const std::uint8_t* data, std::size_t count)
{
    count = std::min(count, space());
    if (count == 0) return;
    const std::size_t first = std::min(count, kCapacity - writeOffset_);
    std::memcpy(base_.get() + writeOffset_, data, first);
    std::memcpy(base_.get(), data + first, count - first);
    writeOffset_ = (writeOffset_ + count) % kCapacity;
    available_.fetch_add(count, std::memory_order_acq_rel);
}

std::size_t SampleRing::read(std::uint8_t* out, std::size_t count)
{
    count = std::min(count, available());
    if (count == 0) return 0;
    const std::size_t first = std::min(count, kCapacity - readOffset_);
    std::memcpy(out, base_.get() + readOffset_, first);
    std::memcpy(out + first, base_.get(), count - first);
    readOffset_ = (readOffset_ + count) % kCapacity;
    available_.fetch_sub(count, std::memory_order_acq_rel);
    return count;
}

void SampleRing::clear()
{
    writeOffset_ = 0;
    readOffset_ = 0;
    available_.store(0, std::memory_order_release);
}
