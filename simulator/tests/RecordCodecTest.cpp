#include "simulator/RecordCodec.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace FenmarlUsb;

TEST(RecordCodec, DocumentedExamplesDecode)
{
    // Sign bit of channel 0 set with every magnitude bit set: 8388607 - 8388607 = 0.
    std::uint8_t r[record::kBytes] = {};
    r[0] = 0x01;
    for (int j = 1; j < record::kBytes; ++j)
        r[j] = 0x01;
    std::int32_t raw[6];
    record::decode(r, raw);
    EXPECT_EQ(raw[0], 0);
    for (int k = 1; k < 6; ++k)
        EXPECT_EQ(raw[k], 0);

    // Only the most significant magnitude bit of channel 0: 2^22 counts, 5.12000061 V.
    std::memset(r, 0, sizeof r);
    r[1] = 0x01;
    record::decode(r, raw);
    EXPECT_EQ(raw[0], 4194304);
    EXPECT_NEAR(record::voltsFromCounts(raw[0]), 5.12000061, 1e-8);
    EXPECT_DOUBLE_EQ(record::kVoltsPerCount, 1.2207032705191696e-6);
}

TEST(RecordCodec, EncodingIsBitSlicedMostSignificantFirst)
{
    const std::int32_t raw[6] = {1, 0, 4194304, 0, 0, -8388607};
    std::uint8_t r[record::kBytes];
    record::encode(raw, r);
    EXPECT_EQ(r[0], 0x20);  // only channel 5 negative
    EXPECT_EQ(r[23], 0x01); // channel 0's least significant bit
    EXPECT_EQ(r[1], 0x04);  // channel 2's bit 22
    for (int j = 2; j < 23; ++j)
        EXPECT_EQ(r[j], 0) << j; // -8388607 is magnitude 0 with the sign set
}

TEST(RecordCodec, RoundTripsEveryRangeAndClamps)
{
    const std::int32_t values[] = {0, 1, -1, 2, -2, 4194304, -4194304, 8388607, -8388607, 123456, -7654321};
    for (std::int32_t v : values) {
        std::int32_t raw[6], back[6];
        for (int k = 0; k < 6; ++k)
            raw[k] = (k % 2) ? -v : v;
        std::uint8_t r[record::kBytes];
        record::encode(raw, r);
        EXPECT_EQ(r[0] & 0xC0, 0) << "bits 6 and 7 stay clear";
        record::decode(r, back);
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(back[k], raw[k]) << v << " channel " << k;
    }
    std::int32_t big[6] = {9000000, -9000000, 0, 0, 0, 0}, back[6];
    std::uint8_t r[record::kBytes];
    record::encode(big, r);
    record::decode(r, back);
    EXPECT_EQ(back[0], 8388607);
    EXPECT_EQ(back[1], -8388607);
}

TEST(RecordCodec, VoltsToCountsClipsAtFullScale)
{
    EXPECT_EQ(record::countsFromVolts(0.0), 0);
    EXPECT_EQ(record::countsFromVolts(10.24), 8388607);
    EXPECT_EQ(record::countsFromVolts(50.0), 8388607);
    EXPECT_EQ(record::countsFromVolts(-50.0), -8388607);
    EXPECT_EQ(record::countsFromVolts(5.12000061), 4194304);
    EXPECT_NEAR(record::voltsFromCounts(record::countsFromVolts(-3.3)), -3.3, record::kVoltsPerCount);
}
