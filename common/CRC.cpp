#include "common/CRC.h"

#include <array>
#include <cstdint>

namespace FenmarlCommonDLL {

namespace {

constexpr std::array<std::uint16_t, 256> makeTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = makeTable();

} // namespace

CRC::CRC() = default;
CRC::~CRC() = default;

unsigned short CRC::CrcCCITT16(unsigned short crc, unsigned char byte)
{
    return static_cast<unsigned short>((crc << 8) ^ kTable[((crc >> 8) ^ byte) & 0xFF]);
}

unsigned short CRC::CrcCCITT16(unsigned short crc, const unsigned char* data, std::size_t size)
{
    for (std::size_t i = 0; data && i < size; ++i)
        crc = CrcCCITT16(crc, data[i]);
    return crc;
}

unsigned short CRC::CrcBasic(unsigned short crc, unsigned char byte)
{
    return static_cast<unsigned short>(crc + byte);
}

unsigned short CRC::CrcBasic(unsigned short crc, const unsigned char* data, std::size_t size)
{
    for (std::size_t i = 0; data && i < size; ++i)
        crc = CrcBasic(crc, data[i]);
    return crc;
}

int CRC::CRCCheck(const unsigned char* data, std::size_t size)
{
    if (!data || size < 3) return 0;
    const unsigned short crc = CrcCCITT16(0xFFFF, data, size - 2);
    return crc == static_cast<unsigned short>(data[size - 1] * 256 + data[size - 2]) ? 1 : 0;
}

int CRC::CrcBasicCheck(const unsigned char* data, std::size_t size)
{
    if (!data || size < 3) return 0;
    const unsigned short crc = CrcBasic(0xFFFF, data, size - 2);
    return crc == static_cast<unsigned short>(data[size - 1] * 256 + data[size - 2]) ? 1 : 0;
}

int CRC::CRCCheckByType(const unsigned char* data, std::size_t size, unsigned checkKind)
{
    return checkKind == 0 ? CrcBasicCheck(data, size) : CRCCheck(data, size);
}

unsigned short CRC::CalcCRCByType(unsigned short crc, unsigned char byte, unsigned checkKind)
{
    return checkKind == 0 ? CrcBasic(crc, byte) : CrcCCITT16(crc, byte);
}

} // namespace FenmarlCommonDLL
