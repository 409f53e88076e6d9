#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The fixed block each graph writes into a stored scan document and into the
// graph marker file. Nothing reads it back; its length keeps older readers'
// offsets intact.
inline constexpr std::size_t kGraphLegacyBlockSize = 468;
const std::array<std::uint8_t, kGraphLegacyBlockSize>& GraphLegacyBlock();
