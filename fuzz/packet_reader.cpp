// The DLE/STX/ETX packet reader, forwards and backwards. Any byte stream
// must keep the reader in its documented statuses with content no longer
// than the bytes fed; a packet built from the input must read back, in both
// directions, to exactly its content and a check that verifies.
#include "common/CRC.h"
#include "common/Packet.h"
#include "common/RawData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace FenmarlCommonDLL;

namespace {

void readAnything(const std::uint8_t* data, std::size_t size, unsigned char filter, bool addressed)
{
    SmartPointer<RawData> content;
    int status = Packet::StatusWaitForStart;
    std::size_t sinceStart = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (status == Packet::StatusComplete) status = Packet::StatusWaitForStart;
        const int before = status;
        status = Packet::HDLCBuildPacket(status, &content, filter, data[i], addressed);
        // A start byte empties the content; every later byte adds one at most.
        sinceStart = before == Packet::StatusWaitForStart && status == 2 ? 0 : sinceStart + 1;
        // 1 … 7 (4 is also the state after a stuffed address byte here).
        if (status < 1 || status > 7) std::abort();
        if (content && content->size() > sinceStart) std::abort();
    }
    SmartPointer<RawData> back = RawData::create();
    status = Packet::StatusWaitForStart;
    for (std::size_t i = size; i-- > 0;) {
        status = Packet::HDLCBuildPacketBackwards(status, back, filter, data[i], addressed);
        if (status == Packet::StatusInvalid || back->size() > size) std::abort();
    }
}

void roundTrip(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return;
    const unsigned char address = data[0];
    const unsigned char command = data[1];
    const unsigned checkKind = data[2] & 1;
    const bool withAddress = (data[2] & 2) != 0;
    const std::uint8_t* payload = data + 3;
    const std::size_t payloadSize = size - 3;
    std::vector<unsigned char> wire(Packet::outputBufferSize(payloadSize));
    const std::size_t n = Packet::create()->fillPacket(wire.data(), wire.size(), address, command, payload,
                                                       payloadSize, checkKind, withAddress);
    if (n == 0 || n > wire.size()) std::abort();
    // The content the reader must give: [address] command data checkLow checkHigh.
    std::vector<unsigned char> expected;
    if (withAddress) expected.push_back(address);
    expected.push_back(command);
    expected.insert(expected.end(), payload, payload + payloadSize);

    SmartPointer<RawData> forward;
    int status = Packet::StatusWaitForStart;
    for (std::size_t i = 0; i < n; ++i) {
        status = Packet::HDLCBuildPacket(status, &forward, withAddress ? address : 255, wire[i], withAddress);
        if (status == Packet::StatusComplete && i + 1 != n) std::abort();
    }
    if (status != Packet::StatusComplete || forward->size() != expected.size() + 2 ||
        std::memcmp(forward->data(), expected.data(), expected.size()) != 0)
        std::abort();
    if (!CRC::CRCCheckByType(forward->data(), forward->size(), checkKind)) std::abort();

    SmartPointer<RawData> backward = RawData::create();
    status = Packet::StatusWaitForStart;
    for (std::size_t i = n; i-- > 0;)
        status = Packet::HDLCBuildPacketBackwards(status, backward, withAddress ? address : 255, wire[i],
                                                  withAddress);
    if (status != Packet::StatusComplete || backward->size() != forward->size() ||
        std::memcmp(backward->data(), forward->data(), forward->size()) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    readAnything(data, size, 255, false);
    readAnything(data, size, size > 0 ? data[0] : 0, true);
    roundTrip(data, size);
    return 0;
}
