#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

// Scan-file bytes put together field by field from the documented layout,
// independently of the writer under test.
class LayoutBuilder
{
public:
    LayoutBuilder& u8(std::uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    LayoutBuilder& u16(std::uint16_t v) { return u8(std::uint8_t(v)).u8(std::uint8_t(v >> 8)); }
    LayoutBuilder& i32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            u8(std::uint8_t(u >> (8 * i)));
        boundaries.push_back(bytes.size());
        return *this;
    }
    LayoutBuilder& f64(double v)
    {
        const auto u = std::bit_cast<std::uint64_t>(v);
        for (int i = 0; i < 8; ++i)
            u8(std::uint8_t(u >> (8 * i)));
        boundaries.push_back(bytes.size());
        return *this;
    }
    LayoutBuilder& text(const std::string& s)
    {
        u8(std::uint8_t(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        boundaries.push_back(bytes.size());
        return *this;
    }
    LayoutBuilder& raw(const std::vector<std::uint8_t>& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        boundaries.push_back(bytes.size());
        return *this;
    }

    std::vector<std::uint8_t> bytes;
    // Offsets at which a field ends.
    std::vector<std::size_t> boundaries;
};
