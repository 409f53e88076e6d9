#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

// Builds file bytes field by field, as a file of the documented layout would
// hold them, independently of the writer under test (archives, scan files).
class ByteBuilder
{
public:
    ByteBuilder& u8(std::uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    ByteBuilder& u16(std::uint16_t v)
    {
        u8(std::uint8_t(v));
        return u8(std::uint8_t(v >> 8));
    }
    ByteBuilder& i32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            u8(std::uint8_t(u >> (8 * i)));
        return endField();
    }
    ByteBuilder& f64(double v)
    {
        const auto u = std::bit_cast<std::uint64_t>(v);
        for (int i = 0; i < 8; ++i)
            u8(std::uint8_t(u >> (8 * i)));
        return endField();
    }
    // A short code-page text (below 255 characters).
    ByteBuilder& text(const std::string& cp1252)
    {
        u8(std::uint8_t(cp1252.size()));
        bytes.insert(bytes.end(), cp1252.begin(), cp1252.end());
        return endField();
    }
    ByteBuilder& raw(const std::vector<std::uint8_t>& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return endField();
    }

    std::vector<std::uint8_t> bytes;
    // Offsets at which an i32, f64, text or raw field ends: where a cut file
    // stops between two fields.
    std::vector<std::size_t> boundaries;

private:
    ByteBuilder& endField()
    {
        boundaries.push_back(bytes.size());
        return *this;
    }
};
