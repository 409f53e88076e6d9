#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// Byte ring between the bulk read thread (the only writer) and the decode
// thread (the only reader). Only the unread count is shared; each side owns
// its own position.
class SampleRing
{
public:
    static constexpr std::size_t kCapacity = 1920000; // 4000 blocks of 480 bytes

    SampleRing();
    virtual ~SampleRing();
    SampleRing(const SampleRing&) = delete;
    SampleRing& operator=(const SampleRing&) = delete;

    // Producer side: room left for writing.
    std::size_t space() const { return kCapacity - available(); }
    // Copies count bytes (at most space()) at the write position, wrapping.
    void write(const std::uint8_t* data, std::size_t count);

    // Consumer side: copies up to count bytes from the read position; returns how many.
    std::size_t read(std::uint8_t* out, std::size_t count);

    std::size_t available() const { return available_.load(std::memory_order_acquire); }

    // Empties the ring. Only while neither thread runs.
    void clear();

private:
    std::unique_ptr<std::uint8_t[]> base_;
    std::size_t writeOffset_ = 0;
    std::size_t readOffset_ = 0;
    std::atomic<std::size_t> available_{0};
};
