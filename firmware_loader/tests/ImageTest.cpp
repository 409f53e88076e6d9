// The images the library carries: their record form and the sizes the
// instrument's loader and firmware have.
#include "firmware_loader/ImageRecord.h"
#include "firmware_loader/tools/IntelHex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using TorvaneDLL::ImageRecord;

struct Shape
{
    std::size_t records = 0;
    std::size_t bytes = 0;
    unsigned lowest = 0xFFFF;
    unsigned highest = 0;
};

Shape shapeOf(std::span<const ImageRecord> image)
{
    Shape shape;
    for (const ImageRecord& record : image) {
        if (record.type != 0) break;
        ++shape.records;
        shape.bytes += record.length;
        shape.lowest = std::min<unsigned>(shape.lowest, record.address);
        shape.highest = std::max<unsigned>(shape.highest, record.address);
    }
    return shape;
}

void expectWellFormed(std::span<const ImageRecord> image)
{
    ASSERT_FALSE(image.empty());
    for (std::size_t i = 0; i + 1 < image.size(); ++i) {
        EXPECT_EQ(image[i].type, 0) << "record " << i;
        EXPECT_GE(image[i].length, 1) << "record " << i;
        EXPECT_LE(image[i].length, 16) << "record " << i;
        EXPECT_EQ(image[i].padding, 0);
    }
    const ImageRecord& end = image.back();
    EXPECT_EQ(end.type, 1);
    EXPECT_EQ(end.length, 0);
    EXPECT_EQ(end.address, 0);
}

void expectImage(std::span<const ImageRecord> image, const Shape& expected)
{
    expectWellFormed(image);
    const Shape shape = shapeOf(image);
    EXPECT_EQ(shape.records, expected.records);
    EXPECT_EQ(shape.bytes, expected.bytes);
    EXPECT_EQ(shape.lowest, expected.lowest);
    EXPECT_EQ(shape.highest, expected.highest);
}

TEST(Images, LoaderHasItsRecordCountBytesAndAddresses)
{
    expectImage(TorvaneDLL::loaderImage(), {.records = 59, .bytes = 792, .lowest = 0x0000, .highest = 0x0400});
}

TEST(Images, FirmwareHasItsRecordCountBytesAndAddresses)
{
    expectImage(TorvaneDLL::firmwareImage(), {.records = 297, .bytes = 3703, .lowest = 0x0000, .highest = 0x0EEA});
}

// The compiled data is exactly what the configured HEX files hold.
TEST(Images, MatchTheHexFilesOfTheBuild)
{
    const std::pair<const char*, std::span<const ImageRecord>> images[] = {
        {AMBREL_LOADER_HEX, TorvaneDLL::loaderImage()}, {AMBREL_FIRMWARE_HEX, TorvaneDLL::firmwareImage()}};
    for (const auto& [file, image] : images) {
        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in) << file;
        std::stringstream text;
        text << in.rdbuf();
        const auto parsed = AmbrelTools::parseIntelHex(text.str());
        ASSERT_TRUE(parsed.ok) << parsed.error;
        ASSERT_EQ(parsed.records.size() + 1, image.size()) << file;
        for (std::size_t i = 0; i < parsed.records.size(); ++i) {
            EXPECT_EQ(parsed.records[i].address, image[i].address);
            ASSERT_EQ(parsed.records[i].data.size(), image[i].length);
            EXPECT_TRUE(
                std::equal(parsed.records[i].data.begin(), parsed.records[i].data.end(), image[i].data));
        }
    }
}

} // namespace
