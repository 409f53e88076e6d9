#include "common/Packet.h"

#include "common/CRC.h"

namespace FenmarlCommonDLL {

namespace {

std::size_t stuffedSize(unsigned char byte)
{
    return byte == Packet::DLE ? 2 : 1;
}

// Writes one byte, doubled when it is DLE; the caller has checked the room.
std::size_t putStuffed(unsigned char* out, unsigned char byte)
{
    out[0] = byte;
    if (byte != Packet::DLE) return 1;
    out[1] = byte;
    return 2;
}

// Backward reader statuses beyond the shared ones.
constexpr int kBackAfterEnd = 2;        // saw ETX, expecting its DLE
constexpr int kBackContent = 5;         // inside the content
constexpr int kBackAfterDle = 6;        // saw a DLE inside the content
constexpr int kBackAfterStx = 8;        // saw STX: start, or a data byte 0x02
constexpr int kBackRejectedAddress = 9; // start reached, other address (unless a DLE follows)

bool addressRejected(const RawData& packet, unsigned char addressFilter, bool addressed)
{
    if (!addressed || addressFilter == 255) return false;
    return packet.empty() || packet[0] != addressFilter;
}

} // namespace

Packet::Packet() = default;
Packet::~Packet() = default;

SmartPointer<Packet> Packet::create()
{
    return SmartPointer<Packet>(new Packet());
}

std::size_t Packet::outputBufferSize(std::size_t dataSize)
{
    return 2 * dataSize + 12;
}

std::size_t Packet::writeHeader(unsigned char* buffer, std::size_t size, unsigned char address,
                                unsigned char command, unsigned short* crc, unsigned checkKind,
                                bool withAddress)
{
    const std::size_t need = 2 + (withAddress ? stuffedSize(address) : 0) + stuffedSize(command);
    if (!buffer || !crc || size < need) return 0;
    std::size_t n = 0;
    buffer[n++] = DLE;
    buffer[n++] = STX;
    *crc = 0xFFFF;
    if (withAddress) {
        n += putStuffed(buffer + n, address);
        *crc = CRC::CalcCRCByType(*crc, address, checkKind);
    }
    n += putStuffed(buffer + n, command);
    *crc = CRC::CalcCRCByType(*crc, command, checkKind);
    return n;
}

std::size_t Packet::writeData(unsigned char* buffer, std::size_t size, const unsigned char* data,
                              std::size_t dataSize, unsigned short* crc, unsigned checkKind)
{
    if (dataSize == 0) return 0;
    if (!buffer || !data || !crc) return 0;
    std::size_t need = 0;
    for (std::size_t i = 0; i < dataSize; ++i)
        need += stuffedSize(data[i]);
    if (size < need) return 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < dataSize; ++i) {
        n += putStuffed(buffer + n, data[i]);
        *crc = CRC::CalcCRCByType(*crc, data[i], checkKind);
    }
    return n;
}

std::size_t Packet::writeFooter(unsigned char* buffer, std::size_t size, unsigned short crc)
{
    const auto low = static_cast<unsigned char>(crc & 0xFF);
    const auto high = static_cast<unsigned char>(crc >> 8);
    if (!buffer || size < stuffedSize(low) + stuffedSize(high) + 2) return 0;
    std::size_t n = putStuffed(buffer, low);
    n += putStuffed(buffer + n, high);
    buffer[n++] = DLE;
    buffer[n++] = ETX;
    return n;
}

std::size_t Packet::fillPacket(unsigned char* buffer, std::size_t bufferSize, unsigned char address,
                               unsigned char command, const unsigned char* data, std::size_t dataSize,
                               unsigned checkKind, bool withAddress)
{
    if (!buffer || (!data && dataSize > 0)) return 0;
    // Sized in full first, so a short buffer is left untouched.
    unsigned short check = 0xFFFF;
    std::size_t need = 4 + stuffedSize(command);
    if (withAddress) {
        need += stuffedSize(address);
        check = CRC::CalcCRCByType(check, address, checkKind);
    }
    check = CRC::CalcCRCByType(check, command, checkKind);
    for (std::size_t i = 0; i < dataSize; ++i) {
        need += stuffedSize(data[i]);
        check = CRC::CalcCRCByType(check, data[i], checkKind);
    }
    need += stuffedSize(static_cast<unsigned char>(check & 0xFF)) +
            stuffedSize(static_cast<unsigned char>(check >> 8));
    if (bufferSize < need) return 0;
    unsigned short crc = 0xFFFF;
    std::size_t n = writeHeader(buffer, bufferSize, address, command, &crc, checkKind, withAddress);
    if (n == 0) return 0;
    if (dataSize > 0) {
        const std::size_t written = writeData(buffer + n, bufferSize - n, data, dataSize, &crc, checkKind);
        if (written == 0) return 0;
        n += written;
    }
    const std::size_t footer = writeFooter(buffer + n, bufferSize - n, crc);
    if (footer == 0) return 0;
    return n + footer;
}

int Packet::HDLCBuildPacket(int status, SmartPointer<RawData>* packet, unsigned char addressFilter,
                            unsigned char byte, bool addressed)
{
    if (!packet) return StatusInvalid;
    if (!*packet) *packet = RawData::create();
    RawData& content = **packet;
    switch (status) {
    case 1:
        if (byte == DLE) {
            content.clear();
            return 2;
        }
        return 1;
    case 2:
        if (byte == STX) return addressed ? 3 : 5;
        return 1;
    case 3:
        if (byte != addressFilter && addressFilter < 255) return 1;
        content += byte;
        return byte == DLE ? 4 : 5;
    case 4:
        return byte == DLE ? 5 : 1;
    case 5:
        if (byte == DLE) return 6;
        content += byte;
        return 5;
    case 6:
        if (byte == ETX) return StatusComplete;
        if (byte == DLE) {
            content += DLE;
            return 5;
        }
        return 1;
    case 7:
        return StatusComplete;
    default:
        return StatusInvalid;
    }
}

int Packet::HDLCBuildPacket(int status, SmartPointer<RawData>* packet, unsigned char byte)
{
    return HDLCBuildPacket(status, packet, 255, byte, true);
}

int Packet::HDLCBuildPacketBackwards(int status, SmartPointer<RawData> packet, unsigned char addressFilter,
                                     unsigned char byte, bool addressed)
{
    if (!packet) return StatusInvalid;
    RawData& content = *packet;
    switch (status) {
    case StatusWaitForStart: // the end bytes 10 03 arrive as 03, 10
        if (byte == ETX) {
            content.clear();
            return kBackAfterEnd;
        }
        return StatusWaitForStart;
    case kBackAfterEnd:
        if (byte == DLE) return kBackContent;
        return byte == ETX ? kBackAfterEnd : StatusWaitForStart;
    case kBackContent:
        if (byte == DLE) return kBackAfterDle;
        if (byte == STX) return kBackAfterStx;
        content.prepend(byte);
        return kBackContent;
    case kBackAfterDle:
        if (byte == DLE) {
            content.prepend(DLE);
            return kBackContent;
        }
        return byte == ETX ? (content.clear(), kBackAfterEnd) : StatusWaitForStart;
    case kBackAfterStx:
        if (byte == DLE) // 10 02: the start, unless another DLE follows
            return addressRejected(content, addressFilter, addressed) ? kBackRejectedAddress : StatusComplete;
        content.prepend(STX);
        if (byte == STX) return kBackAfterStx;
        content.prepend(byte);
        return kBackContent;
    case StatusComplete:
    case kBackRejectedAddress:
        if (byte == DLE) { // the "start" was a stuffed 0x10 followed by a data byte 0x02
            content.prepend(STX);
            content.prepend(DLE);
            return kBackContent;
        }
        return status == StatusComplete ? StatusComplete : StatusWaitForStart;
    default:
        return StatusInvalid;
    }
}

int Packet::HDLCBuildPacketBackwards(int status, SmartPointer<RawData> packet, unsigned char byte)
{
    return HDLCBuildPacketBackwards(status, packet, 255, byte, true);
}

} // namespace FenmarlCommonDLL
