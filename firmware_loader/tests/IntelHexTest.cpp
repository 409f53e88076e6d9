// The build-time Intel HEX reader: what it accepts and what it must refuse.
#include "firmware_loader/tools/IntelHex.h"

#include <gtest/gtest.h>

namespace {

using AmbrelTools::parseIntelHex;

// Builds one line with a correct checksum.
std::string line(std::uint16_t address, std::uint8_t type, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()),
                                       static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (auto b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>(-sum & 0xFF));
    std::string out = ":";
    char hex[3];
    for (auto b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
    }
    return out + "\n";
}

const std::string kEnd = ":00000001FF\n";

TEST(IntelHex, ReadsDataRecordsInFileOrderWhateverTheLineEnds)
{
    std::string lower = line(0x0000, 0, {0xAB, 0xCD});
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(c));
    lower.insert(lower.size() - 1, "\r");
    // Zero extended-address and start-address records change nothing.
    const auto image = parseIntelHex("\n" + line(0, 4, {0, 0}) + line(0x0400, 0, {1, 2, 3}) + lower +
                                     line(0, 3, {0, 0, 0, 0}) + ":00000001ff\r\n");
    ASSERT_TRUE(image.ok) << image.error;
    ASSERT_EQ(image.records.size(), 2u);
    EXPECT_EQ(image.records[0].address, 0x0400);
    EXPECT_EQ(image.records[0].data, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(image.records[1].address, 0x0000);
    EXPECT_EQ(image.records[1].data, (std::vector<std::uint8_t>{0xAB, 0xCD}));
}

TEST(IntelHex, CutsLongLinesIntoSixteenByteRecords)
{
    std::vector<std::uint8_t> data(40);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i);
    const auto image = parseIntelHex(line(0x0100, 0, data) + kEnd);
    ASSERT_TRUE(image.ok) << image.error;
    ASSERT_EQ(image.records.size(), 3u);
    EXPECT_EQ(image.records[1].address, 0x0110);
    EXPECT_EQ(image.records[2].address, 0x0120);
    EXPECT_EQ(image.records[2].data.size(), 8u);
    EXPECT_EQ(image.records[2].data.front(), 32);
}

TEST(IntelHex, RefusesDamagedInput)
{
    std::string badChecksum = line(0x0000, 0, {1, 2});
    badChecksum[badChecksum.size() - 2] = badChecksum[badChecksum.size() - 2] == '0' ? '1' : '0';
    const std::string cases[] = {
        badChecksum + kEnd,
        ":0300000002011\n" + kEnd,                                // truncated
        ":05000000020110EA\n" + kEnd,                             // count says more bytes than the line has
        "02000000\n" + kEnd,                                      // no colon
        line(0x0000, 0, {1}),                                     // no end record
        line(0, 4, {0x00, 0x01}) + kEnd,                          // upper address beyond 64 KiB
        line(0xFFF8, 0, std::vector<std::uint8_t>(16, 0)) + kEnd, // runs past 0xFFFF
        line(0, 7, {}) + kEnd,                                    // unknown type
        ":0G000000F0\n" + kEnd,                                   // not hex
    };
    for (const auto& text : cases) {
        const auto image = parseIntelHex(text);
        EXPECT_FALSE(image.ok) << text;
        EXPECT_EQ(image.error.rfind("line ", 0), 0u) << image.error;
    }
}

} // namespace
