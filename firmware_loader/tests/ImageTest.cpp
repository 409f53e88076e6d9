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

TEST(Images, LoaderHasItsRecordCountBytesAndAddresses)
{
    expectWellFormed(TorvaneDLL::loaderImage());
    const Shape shape = shapeOf(TorvaneDLL::loaderImage());
    EXPECT_EQ(shape.records, 59u);
    EXPECT_EQ(shape.bytes, 792u);
    EXPECT_EQ(shape.lowest, 0x0000u);
    EXPECT_EQ(shape.highest, 0x0400u);
}

TEST(Images, FirmwareHasItsRecordCountBytesAndAddresses)
{
    expectWellFormed(TorvaneDLL::firmwareImage());
    const Shape shape = shapeOf(TorvaneDLL::firmwareImage());
    EXPECT_EQ(shape.records, 297u);
    EXPECT_EQ(shape.bytes, 3703u);
    EXPECT_EQ(shape.lowest, 0x0000u);
    EXPECT_EQ(shape.highest, 0x0EEAu);
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
