#include "app/base/Archive.h"
#include "app/settings/tests/ByteBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::vector<std::uint8_t> written(const std::function<void(ArchiveWriter&)>& write)
{
    std::vector<std::uint8_t> out;
    ArchiveWriter writer(out);
    write(writer);
    return out;
}

std::filesystem::path scratch(const std::string& name)
{
    return std::filesystem::temp_directory_path() / name;
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(Archive, NumbersAreLittleEndian)
{
    const auto bytes = written([](ArchiveWriter& w) {
        w.writeInt32(-9);
        w.writeInt16(0x1234);
        w.writeDouble(1.0);
    });
    const std::vector<std::uint8_t> expected = {0xF7, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0,
                                                0,    0,    0,    0,    0,    0xF0, 0x3F};
    EXPECT_EQ(bytes, expected);

    ArchiveReader r(bytes);
    EXPECT_EQ(r.readInt32(), -9);
    EXPECT_EQ(r.readInt16(), 0x1234);
    EXPECT_EQ(r.readDouble(), 1.0);
    EXPECT_TRUE(r.atEnd());
}

TEST(Archive, TextPrefixBoundaries)
{
    struct Case
    {
        std::size_t length;
        std::vector<std::uint8_t> prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'x');
        const auto bytes = written([&](ArchiveWriter& w) { w.writeText(text); });
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + c.prefix.size()), c.prefix);

        ArchiveReader r(bytes);
        EXPECT_EQ(r.readText(), text);
        EXPECT_TRUE(r.atEnd());
    }
}

TEST(Archive, SixtyFourBitLengthFormIsRead)
{
    ByteBuilder b;
    b.u8(0xFF).u16(0xFFFF).i32(-1);
    for (int i = 0; i < 8; ++i)
        b.u8(i == 0 ? 3 : 0);
    b.u8('a').u8('b').u8('c');
    ArchiveReader r(b.bytes);
    EXPECT_EQ(r.readText(), "abc");
}

TEST(Archive, TextsAreCodePage1252OnDisk)
{
    // e-acute is E9, the euro sign 80 in code page 1252.
    const auto bytes = written([](ArchiveWriter& w) { w.writeText("caf\xC3\xA9 \xE2\x82\xAC"); });
    const std::vector<std::uint8_t> expected = {6, 'c', 'a', 'f', 0xE9, ' ', 0x80};
    EXPECT_EQ(bytes, expected);
    ArchiveReader r(bytes);
    EXPECT_EQ(r.readText(), "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(Archive, Utf16FormIsAccepted)
{
    // Marker FF FEFF, then a one-byte length, then UTF-16LE units.
    ByteBuilder b;
    b.u8(0xFF).u16(0xFFFE).u8(3).u16('n').u16(0x00E9).u16(0x20AC);
    // And with a 16-bit length after the marker.
    b.u8(0xFF).u16(0xFFFE).u8(0xFF).u16(300);
    for (int i = 0; i < 300; ++i)
        b.u16('z');
    ArchiveReader r(b.bytes);
    EXPECT_EQ(r.readText(), "n\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(r.readText(), std::string(300, 'z'));
    EXPECT_TRUE(r.atEnd());
}

TEST(Archive, EmptyTextsReadAndWriteWithoutTouchingMemory)
{
    // FF FEFF 00: an empty UTF-16 text (the template loader's fuzz finding),
    // then an empty narrow one; from memory and from a file.
    const std::vector<std::uint8_t> bytes = {0xFF, 0xFE, 0xFF, 0x00, 0x00};
    ArchiveReader fromMemory(bytes);
    EXPECT_EQ(fromMemory.readText(), "");
    EXPECT_EQ(fromMemory.readText(), "");
    EXPECT_TRUE(fromMemory.atEnd());
    const auto path = scratch("empty-texts.bin");
    {
        ArchiveWriter writer(path);
        writer.writeBytes(bytes.data(), 4);
        writer.writeBytes(nullptr, 0);
        writer.writeText("");
        writer.commit();
    }
    EXPECT_EQ(fileBytes(path), bytes);
    ArchiveReader fromFile(path);
    EXPECT_EQ(fromFile.readText(), "");
    EXPECT_EQ(fromFile.readText(), "");
    EXPECT_TRUE(fromFile.atEnd());
}

TEST(Archive, TruncatedDataFailsCleanlyAtEveryLength)
{
    const auto full = written([](ArchiveWriter& w) {
        w.writeInt32(7);
        w.writeText(std::string(300, 'q'));
        w.writeDouble(2.5);
        const double values[3] = {1, 2, 3};
        w.writeDoubles(values, 3);
    });
    for (std::size_t n = 0; n < full.size(); ++n) {
        ArchiveReader r(full.data(), n);
        try {
            r.readInt32();
            r.readText();
            r.readDouble();
            double values[3];
            r.readDoubles(values, 3);
            ADD_FAILURE() << "no failure with " << n << " bytes";
        } catch (const ArchiveException& e) {
            EXPECT_EQ(e.cause(), ArchiveException::Cause::EndOfFile) << n;
        }
        EXPECT_LE(r.position(), n);
    }
}

TEST(Archive, HugeClaimedLengthsFailWithoutAllocating)
{
    // A 64-bit length of 2^62 characters, and a UTF-16 text of 4 billion units.
    ByteBuilder huge;
    huge.u8(0xFF).u16(0xFFFF).i32(-1).i32(0).i32(0x40000000);
    ArchiveReader r1(huge.bytes);
    EXPECT_THROW(r1.readText(), ArchiveException);

    ByteBuilder wide;
    wide.u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).i32(-2).u16('a');
    ArchiveReader r2(wide.bytes);
    EXPECT_THROW(r2.readText(), ArchiveException);

    // Two UTF-16 markers in a row are not a text.
    ByteBuilder twice;
    twice.u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFE).u8(0);
    ArchiveReader r3(twice.bytes);
    EXPECT_THROW(r3.readText(), ArchiveException);
}

TEST(Archive, FileRoundTripAcrossBufferBoundaries)
{
    const auto path = scratch("round.bin");
    std::vector<double> values(100003);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i) * 0.5 - 7.0;
    {
        // Small buffers force every path: spills, direct writes, refills.
        ArchiveWriter w(path, 100);
        w.writeInt32(-9);
        w.writeText("header");
        w.writeDoubles(values.data(), values.size());
        for (int i = 0; i < 1000; ++i)
            w.writeDouble(i);
        w.writeText(std::string(1000, 'e'));
        w.commit();
    }
    ArchiveReader r(path, 77);
    EXPECT_EQ(r.remaining(), 4u + 7u + values.size() * 8 + 8000u + 1003u);
    EXPECT_EQ(r.readInt32(), -9);
    EXPECT_EQ(r.readText(), "header");
    std::vector<double> back(values.size());
    r.readDoubles(back.data(), back.size());
    EXPECT_EQ(back, values);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(r.readDouble(), i);
    EXPECT_EQ(r.readText(), std::string(1000, 'e'));
    EXPECT_TRUE(r.atEnd());
    EXPECT_THROW(r.readByte(), ArchiveException);
}

TEST(Archive, UncommittedSaveKeepsTheOldFile)
{
    const auto path = scratch("keep.bin");
    {
        ArchiveWriter w(path);
        w.writeInt32(1);
        w.commit();
    }
    {
        ArchiveWriter w(path);
        w.writeInt32(2);
        w.writeText(std::string(10000, 'x'));
        // Abandoned, as when a later field throws.
    }
    EXPECT_EQ(fileBytes(path), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path()))
        EXPECT_EQ(entry.path().filename().string().find("keep.bin."), std::string::npos) << entry.path();
}

TEST(Archive, OpenFailuresAreReported)
{
    try {
        ArchiveReader r(scratch("does-not-exist.bin"));
        FAIL();
    } catch (const ArchiveException& e) {
        EXPECT_EQ(e.cause(), ArchiveException::Cause::OpenFailed);
    }
    EXPECT_THROW(ArchiveWriter(scratch("no-such-dir") / "x.bin"), ArchiveException);
}
