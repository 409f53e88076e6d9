#include "common/CRC.h"
#include "common/Packet.h"
#include "common/RawData.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <thread>

using namespace FenmarlCommonDLL;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes content(const SmartPointer<RawData>& raw)
{
    return raw->asClonedVector();
}

// The wire form built from the layout table: stuffed fields between 10 02 and 10 03.
Bytes expectedWire(const Bytes& unstuffed)
{
    Bytes wire{0x10, 0x02};
    for (unsigned char b : unstuffed) {
        wire.push_back(b);
        if (b == 0x10) wire.push_back(b);
    }
    wire.push_back(0x10);
    wire.push_back(0x03);
    return wire;
}

Bytes write(unsigned char address, unsigned char command, const Bytes& data, unsigned kind, bool withAddress)
{
    Bytes buffer(Packet::outputBufferSize(data.size()));
    const std::size_t n = Packet::create()->fillPacket(buffer.data(), buffer.size(), address, command,
                                                       data.data(), data.size(), kind, withAddress);
    buffer.resize(n);
    return buffer;
}

int readForward(const Bytes& wire, SmartPointer<RawData>* out, unsigned char filter, bool addressed)
{
    int status = 1;
    for (unsigned char b : wire)
        status = Packet::HDLCBuildPacket(status, out, filter, b, addressed);
    return status;
}

int readBackward(const Bytes& wire, const SmartPointer<RawData>& out, unsigned char filter, bool addressed)
{
    int status = 1;
    for (auto it = wire.rbegin(); it != wire.rend(); ++it)
        status = Packet::HDLCBuildPacketBackwards(status, out, filter, *it, addressed);
    return status;
}

} // namespace

TEST(CRC, KnownValues)
{
    const unsigned char check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(CRC::CrcCCITT16(0xFFFF, check, 9), 0x29B1);
    EXPECT_EQ(CRC::CrcCCITT16(0x1234, check, 0), 0x1234);
    EXPECT_EQ(CRC::CrcCCITT16(0xFFFF, 'A'), 0xB915); // CRC-16/CCITT-FALSE of "A"
    EXPECT_EQ(CRC::CrcBasic(0xFFFF, check, 9), static_cast<unsigned short>(0xFFFF + 0x1DD));
    EXPECT_EQ(CRC::CrcBasic(0xFFFF, 0x02), 0x0001);
    EXPECT_EQ(CRC::CalcCRCByType(0xFFFF, 'A', 0), 0x0040);
    EXPECT_EQ(CRC::CalcCRCByType(0xFFFF, 'A', 7), 0xB915);

    Bytes framed(check, check + 9);
    framed.push_back(0xB1);
    framed.push_back(0x29);
    EXPECT_EQ(CRC::CRCCheck(framed.data(), framed.size()), 1);
    EXPECT_EQ(CRC::CRCCheckByType(framed.data(), framed.size(), 1), 1);
    EXPECT_EQ(CRC::CRCCheckByType(framed.data(), framed.size(), 0), 0);
    framed[3] ^= 1;
    EXPECT_EQ(CRC::CRCCheck(framed.data(), framed.size()), 0);
    const unsigned char two[] = {0xFF, 0xFF};
    EXPECT_EQ(CRC::CRCCheck(two, 2), 0);
    EXPECT_EQ(CRC::CrcBasicCheck(two, 2), 0);
}

TEST(Packet, WritesTheDocumentedLayout)
{
    EXPECT_EQ(Packet::outputBufferSize(0), 12u);
    EXPECT_EQ(Packet::outputBufferSize(5), 22u);

    // Address 0x10, command 0x10 and a data 0x10: each doubled.
    const Bytes data{0x01, 0x10, 0x02};
    const Bytes wire = write(0x10, 0x10, data, 1, true);
    Bytes unstuffed{0x10, 0x10, 0x01, 0x10, 0x02};
    const unsigned short crc = CRC::CrcCCITT16(0xFFFF, unstuffed.data(), unstuffed.size());
    unstuffed.push_back(static_cast<unsigned char>(crc & 0xFF));
    unstuffed.push_back(static_cast<unsigned char>(crc >> 8));
    EXPECT_EQ(wire, expectedWire(unstuffed));

    // Without address, basic sum.
    const Bytes plain = write(0x99, 0x05, {0x01, 0x02}, 0, false);
    const unsigned short sum = static_cast<unsigned short>(0xFFFF + 0x05 + 0x01 + 0x02);
    EXPECT_EQ(plain, expectedWire({0x05, 0x01, 0x02, static_cast<unsigned char>(sum),
                                   static_cast<unsigned char>(sum >> 8)}));

    // A check value whose low byte is 0x10 is sent doubled.
    for (unsigned command = 0; command < 256; ++command) {
        const unsigned char c = static_cast<unsigned char>(command);
        const unsigned short v = CRC::CrcCCITT16(CRC::CrcCCITT16(0xFFFF, 0x01), c);
        if ((v & 0xFF) != 0x10) continue;
        const Bytes w = write(0x01, c, {}, 1, true);
        EXPECT_EQ(w, expectedWire({0x01, c, 0x10, static_cast<unsigned char>(v >> 8)}));
        break;
    }

    // Never past the buffer: a short buffer gets nothing.
    Bytes small(6, 0xEE);
    const Bytes payload{0x10, 0x10};
    EXPECT_EQ(Packet::create()->fillPacket(small.data(), small.size(), 1, 2, payload.data(), 2, 1, true), 0u);
    EXPECT_EQ(small, Bytes(6, 0xEE));
}

TEST(Packet, ForwardAndBackwardReadersRoundTrip)
{
    std::mt19937 rng(12345);
    // Bytes drawn mostly from the control values, so stuffing is everywhere.
    const unsigned char pool[] = {0x10, 0x02, 0x03, 0x10, 0x00, 0xFF, 0x41};
    for (int round = 0; round < 500; ++round) {
        Bytes data(rng() % 12);
        for (auto& b : data)
            b = pool[rng() % sizeof pool];
        const unsigned char address = pool[rng() % sizeof pool];
        const unsigned char command = pool[rng() % sizeof pool];
        const unsigned kind = rng() % 2;
        const bool addressed = rng() % 2;
        const Bytes wire = write(address, command, data, kind, addressed);
        ASSERT_FALSE(wire.empty());

        Bytes expected;
        if (addressed) expected.push_back(address);
        expected.push_back(command);
        expected.insert(expected.end(), data.begin(), data.end());
        unsigned short crc = 0xFFFF;
        for (unsigned char b : expected)
            crc = CRC::CalcCRCByType(crc, b, kind);
        expected.push_back(static_cast<unsigned char>(crc & 0xFF));
        expected.push_back(static_cast<unsigned char>(crc >> 8));

        SmartPointer<RawData> forward;
        ASSERT_EQ(readForward(wire, &forward, 255, addressed), Packet::StatusComplete);
        ASSERT_EQ(content(forward), expected) << "round " << round;
        EXPECT_EQ(CRC::CRCCheckByType(forward->data(), forward->size(), kind), 1);

        const SmartPointer<RawData> backward = RawData::create();
        ASSERT_EQ(readBackward(wire, backward, 255, addressed), Packet::StatusComplete) << "round " << round;
        ASSERT_EQ(content(backward), expected) << "round " << round;
    }
}

TEST(Packet, ReadersFilterAddressesAndDropBrokenPackets)
{
    const Bytes forSix = write(6, 0x20, {1, 2}, 1, true);
    const Bytes forFive = write(5, 0x21, {3}, 1, true);
    Bytes stream = forSix;
    stream.insert(stream.end(), forFive.begin(), forFive.end());

    // With filter 5 the packet for 6 is skipped up to the next start.
    SmartPointer<RawData> packet;
    EXPECT_EQ(readForward(stream, &packet, 5, true), Packet::StatusComplete);
    EXPECT_EQ(packet->size(), 5u); // address, command, one data byte, two check bytes
    EXPECT_EQ((*packet)[0], 5);
    EXPECT_EQ((*packet)[1], 0x21);
    EXPECT_NE(readForward(forSix, &packet, 5, true), Packet::StatusComplete);
    const SmartPointer<RawData> back = RawData::create();
    EXPECT_NE(readBackward(forSix, back, 5, true), Packet::StatusComplete);
    EXPECT_EQ(readBackward(forFive, back, 5, true), Packet::StatusComplete);

    // DLE followed by anything but DLE or ETX inside the content restarts the reader.
    Bytes broken = forFive;
    broken.insert(broken.begin() + 4, {0x10, 0x55});
    EXPECT_NE(readForward(broken, &packet, 255, true), Packet::StatusComplete);
    EXPECT_EQ(Packet::HDLCBuildPacket(1, &packet, 0x02), 1); // no DLE yet
    EXPECT_EQ(Packet::HDLCBuildPacket(2, &packet, 0x05), 1); // DLE without STX
    EXPECT_EQ(Packet::HDLCBuildPacket(7, &packet, 0x10), 7); // complete stays complete
    EXPECT_EQ(Packet::HDLCBuildPacket(8, &packet, 0x10), 4); // unknown status
    EXPECT_EQ(Packet::HDLCBuildPacketBackwards(42, back, 0x10), 4);
}

TEST(RawData, BytesAndRangeChecks)
{
    const SmartPointer<RawData> raw = RawData::create(std::string("bc"));
    raw->prepend('a');
    *raw += 'd';
    EXPECT_EQ(raw->dataAsString(), "abcd");
    EXPECT_EQ(raw->size(), 4u);
    (*raw)[0] = 'A';
    const RawData& constRaw = *raw;
    EXPECT_EQ(constRaw[0], 'A');
    try {
        (void)constRaw[4];
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "RawData::operator[] const index requested is out of range");
    }
    try {
        (*raw)[9] = 0;
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "RawData::operator[] index requested is out of range");
    }
    EXPECT_EQ(RawData::create(reinterpret_cast<const unsigned char*>("A\0B\0"), 4)->dataAsWideString(),
              L"AB");
    EXPECT_EQ(RawData::create(reinterpret_cast<const unsigned char*>("A\0B"), 3)->dataAsWideString(), L"");
    EXPECT_EQ(RawData::create()->dataAsString(), "");
    EXPECT_FALSE(raw->needsProcessing());
    raw->clear();
    EXPECT_TRUE(raw->empty());
}

TEST(RawData, OneThreadAppendsWhileAnotherReads)
{
    const SmartPointer<RawData> raw = RawData::create();
    std::thread writer([raw] {
        for (int i = 0; i < 20000; ++i)
            *raw += static_cast<unsigned char>(i);
    });
    std::size_t last = 0;
    while (last < 20000) {
        const auto copy = raw->asClonedVector();
        ASSERT_GE(copy.size(), last);
        for (std::size_t i = 0; i < copy.size(); i += 997)
            ASSERT_EQ(copy[i], static_cast<unsigned char>(i));
        last = copy.size();
    }
    writer.join();
}
