#pragma once

// Intel HEX reader for the 8051 images: checks every line's byte count and
// checksum, accepts only the 16-bit address space, and cuts data lines into
// pieces of at most 16 bytes (the image record's limit).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace AmbrelTools {

struct HexRecord
{
    std::uint16_t address;
    std::vector<std::uint8_t> data; // 1 to 16 bytes
};

struct HexImage
{
    bool ok = false;
    std::string error; // "line N: ..." when !ok
    std::vector<HexRecord> records;
};

HexImage parseIntelHex(std::string_view text);

// The records as C++ initialisers of TorvaneDLL::ImageRecord, ending with the
// type-1 record.
std::string imageInitialisers(const std::vector<HexRecord>& records);

} // namespace AmbrelTools
