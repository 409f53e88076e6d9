// The record decoder and the sample ring.
#include "driver/RecordDecoder.h"
#include "driver/SampleRing.h"
#include "simulator/RecordCodec.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace {

using namespace TorvaneDecode;

// Builds a record from the layout, one bit at a time: sign bits in byte 0,
// bit (23 - j) of channel k's magnitude in bit k of byte j.
std::array<std::uint8_t, 24> makeRecord(const std::array<std::uint32_t, 6>& magnitudes, std::uint8_t signs)
{
    std::array<std::uint8_t, 24> record{};
    record[0] = signs;
    for (int k = 0; k < 6; ++k)
        for (int j = 1; j < 24; ++j)
            if ((magnitudes[k] >> (23 - j)) & 1) record[j] |= static_cast<std::uint8_t>(1u << k);
    return record;
}

TEST(RecordDecoder, DecodesTheLayoutsWorkedExamples)
{
    const double zero[6] = {};
    double volts[6];
    std::int32_t counts[6];

    // Sign set and every magnitude bit of channel 0 set: 8388607 - 8388607.
    auto full = makeRecord({0x7FFFFF, 0, 0, 0, 0, 0}, 0x01);
    decodeRecordCounts(full.data(), counts);
    EXPECT_EQ(counts[0], 0);

    // Only byte 1's bit 0: bit 22 of channel 0.
    std::array<std::uint8_t, 24> top{};
    top[1] = 0x01;
    decodeRecordCounts(top.data(), counts);
    EXPECT_EQ(counts[0], 4194304);
    for (int k = 1; k < 6; ++k)
        EXPECT_EQ(counts[k], 0);
    decodeRecord(top.data(), zero, volts);
    EXPECT_NEAR(volts[0], 5.12000061, 1e-8);
    EXPECT_DOUBLE_EQ(volts[0], 4194304 * 1.2207032705191696e-6);

    // Sign set with a zero magnitude is the most negative value.
    std::array<std::uint8_t, 24> negative{};
    negative[0] = 0x20;
    decodeRecordCounts(negative.data(), counts);
    EXPECT_EQ(counts[5], -8388607);
}

TEST(RecordDecoder, MatchesBitByBitLayoutOnRandomRecordsAndIgnoresUnusedBits)
{
    std::mt19937 random(42);
    for (int n = 0; n < 20000; ++n) {
        std::array<std::uint32_t, 6> magnitudes;
        for (auto& m : magnitudes)
            m = random() & 0x7FFFFF;
        const std::uint8_t signs = static_cast<std::uint8_t>(random() & 0x3F);
        auto record = makeRecord(magnitudes, signs);
        // Bits 6 and 7 of every byte belong to no channel.
        for (auto& b : record)
            b |= static_cast<std::uint8_t>(random() & 0xC0);
        std::int32_t counts[6];
        decodeRecordCounts(record.data(), counts);
        for (int k = 0; k < 6; ++k) {
            const std::int32_t expected =
                static_cast<std::int32_t>(magnitudes[k]) - (((signs >> k) & 1) ? 8388607 : 0);
            ASSERT_EQ(counts[k], expected) << "record " << n << " channel " << k;
        }
    }
}

TEST(RecordDecoder, AgreesWithTheInstrumentsEncoderAndSubtractsZeroOffsets)
{
    std::mt19937 random(3);
    const double zero[6] = {0.5, -0.25, 0.0, 1.0, 0.0, -2.0};
    for (int n = 0; n < 1000; ++n) {
        std::int32_t raw[6];
        for (auto& r : raw)
            r = static_cast<std::int32_t>(random() % 16777215) - 8388607;
        std::uint8_t record[24];
        FenmarlUsb::record::encode(raw, record);
        double volts[6];
        decodeRecord(record, zero, volts);
        for (int k = 0; k < 6; ++k)
            ASSERT_DOUBLE_EQ(volts[k], raw[k] * kVoltsPerCount - zero[k]);
    }
}

TEST(SampleRing, KeepsOrderAcrossTheWrapAndNeverOverwritesUnreadBytes)
{
    SampleRing ring;
    std::vector<std::uint8_t> chunk(5120);
    std::vector<std::uint8_t> out(480);
    std::uint32_t nextWritten = 0;
    std::uint32_t nextRead = 0;
    // Odd read and write sizes walk both positions around the ring several times.
    for (int round = 0; round < 2000; ++round) {
        const std::size_t writeSize = 1000 + (round * 37) % 4000;
        for (std::size_t i = 0; i < writeSize; ++i)
            chunk[i] = static_cast<std::uint8_t>(nextWritten + i);
        const std::size_t room = ring.space();
        ring.write(chunk.data(), writeSize);
        nextWritten += static_cast<std::uint32_t>(std::min(writeSize, room));
        std::size_t toRead = writeSize;
        while (toRead > 0) {
            const std::size_t got = ring.read(out.data(), std::min<std::size_t>(toRead, 480 - round % 7));
            if (got == 0) break;
            for (std::size_t i = 0; i < got; ++i)
                ASSERT_EQ(out[i], static_cast<std::uint8_t>(nextRead + i)) << "round " << round;
            nextRead += static_cast<std::uint32_t>(got);
            toRead -= got;
        }
    }
    EXPECT_EQ(ring.available(), 0u);

    // A full ring refuses more rather than overwriting what is unread.
    std::vector<std::uint8_t> big(SampleRing::kCapacity + 100, 0xAB);
    ring.write(big.data(), big.size());
    EXPECT_EQ(ring.available(), SampleRing::kCapacity);
    ring.clear();
    EXPECT_EQ(ring.available(), 0u);
    EXPECT_EQ(ring.read(out.data(), out.size()), 0u);
}

} // namespace
