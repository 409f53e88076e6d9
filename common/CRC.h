#pragma once

#include "common/Export.h"

#include <cstddef>

namespace FenmarlCommonDLL {

// 16-bit check values of the packet format: CCITT (CRC-16, polynomial 0x1021,
// MSB first, no reflection, no final inversion) and a plain byte sum.
class FENMARL_COMMON_API CRC
{
public:
    virtual ~CRC();

    static unsigned short CrcCCITT16(unsigned short crc, unsigned char byte);
    static unsigned short CrcCCITT16(unsigned short crc, const unsigned char* data, std::size_t size);
    static unsigned short CrcBasic(unsigned short crc, unsigned char byte);
    static unsigned short CrcBasic(unsigned short crc, const unsigned char* data, std::size_t size);

    // 1 when the last two bytes (low, high) hold the check value of the bytes before them.
    static int CRCCheck(const unsigned char* data, std::size_t size);
    static int CrcBasicCheck(const unsigned char* data, std::size_t size);
    // checkKind 0 = basic sum, anything else = CCITT.
    static int CRCCheckByType(const unsigned char* data, std::size_t size, unsigned checkKind);
    static unsigned short CalcCRCByType(unsigned short crc, unsigned char byte, unsigned checkKind);

private:
    CRC();
};

} // namespace FenmarlCommonDLL
