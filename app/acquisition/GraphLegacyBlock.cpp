#include "app/acquisition/GraphLegacyBlock.h"

#include <cstring>
#include <string_view>

namespace {

class BlockBuilder
{
public:
    explicit BlockBuilder(std::array<std::uint8_t, kGraphLegacyBlockSize>& block) : block_(block) {}
    // Text in a zero-padded field of fixed width.
    void text(std::string_view value, std::size_t width)
    {
        std::memcpy(block_.data() + at_, value.data(), value.size());
        at_ += width;
    }
    void int32(std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            block_[at_++] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    void float64(double value)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 8; ++i)
            block_[at_++] = static_cast<std::uint8_t>(bits >> (8 * i));
    }

private:
    std::array<std::uint8_t, kGraphLegacyBlockSize>& block_;
    std::size_t at_ = 0;
};

std::array<std::uint8_t, kGraphLegacyBlockSize> buildBlock()
{
    std::array<std::uint8_t, kGraphLegacyBlockSize> block{};
    BlockBuilder b(block);
    // Title, x-title and y-title fonts with their sizes.
    b.text("Arial", 32);
    b.int32(18);
    b.text("Arial", 32);
    b.int32(12);
    b.text("Arial", 32);
    b.int32(10);
    b.text("Graph Title", 64);
    b.text("X Title / Arbitrary Units", 64);
    b.text("Y Title / Arbitrary Units", 64);
    b.int32(0xFFFFFF); // desk colour
    b.int32(0xC0C0C0); // grid colour
    // Manual x and y limits: none set.
    for (int i = 0; i < 4; ++i)
        b.float64(-1.0);
    return block; // the rest stays zero
}

} // namespace

const std::array<std::uint8_t, kGraphLegacyBlockSize>& GraphLegacyBlock()
{
    static const std::array<std::uint8_t, kGraphLegacyBlockSize> block = buildBlock();
    return block;
}
