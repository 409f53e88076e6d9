#pragma once

#include "common/RawData.h"
#include "common/SmartPointer.h"

#include <cstddef>

namespace FenmarlCommonDLL {

// DLE/STX/ETX byte-stuffed packets ("HDLC" in the interface's names):
// 10 02 [address] command data... checkLow checkHigh 10 03, every 0x10 inside doubled.
class FENMARL_COMMON_API Packet : public SmartPointerBase
{
public:
    static constexpr unsigned char DLE = 0x10;
    static constexpr unsigned char STX = 0x02;
    static constexpr unsigned char ETX = 0x03;

    // Reader statuses shared by both directions.
    static constexpr int StatusWaitForStart = 1;
    static constexpr int StatusInvalid = 4;
    static constexpr int StatusComplete = 7;

    static SmartPointer<Packet> create();
    ~Packet() override;

    // Largest packet for dataSize data bytes: 2n + 12.
    static std::size_t outputBufferSize(std::size_t dataSize);

    // Bytes written; 0 (nothing written) when the stuffed packet would not fit bufferSize.
    std::size_t fillPacket(unsigned char* buffer, std::size_t bufferSize, unsigned char address,
                           unsigned char command, const unsigned char* data, std::size_t dataSize,
                           unsigned checkKind, bool withAddress);

    // One received byte; returns the next status (start with 1). The packet
    // receives the unstuffed content: [address] command data checkLow checkHigh.
    static int HDLCBuildPacket(int status, SmartPointer<RawData>* packet, unsigned char addressFilter,
                               unsigned char byte, bool addressed);
    static int HDLCBuildPacket(int status, SmartPointer<RawData>* packet, unsigned char byte);

    // The same packets fed from their last byte to their first; the content
    // comes out in its normal order. Status 7 is reached at the start bytes; a
    // further 0x10 shows they were stuffed data after all and reading goes on,
    // so feed a whole packet before taking its content.
    static int HDLCBuildPacketBackwards(int status, SmartPointer<RawData> packet, unsigned char addressFilter,
                                        unsigned char byte, bool addressed);
    static int HDLCBuildPacketBackwards(int status, SmartPointer<RawData> packet, unsigned char byte);

protected:
    Packet();
    std::size_t writeHeader(unsigned char* buffer, std::size_t size, unsigned char address,
                            unsigned char command, unsigned short* crc, unsigned checkKind, bool withAddress);
    std::size_t writeData(unsigned char* buffer, std::size_t size, const unsigned char* data,
                          std::size_t dataSize, unsigned short* crc, unsigned checkKind);
    std::size_t writeFooter(unsigned char* buffer, std::size_t size, unsigned short crc);
};

} // namespace FenmarlCommonDLL
