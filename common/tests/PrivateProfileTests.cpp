#include "common/platform/PrivateProfile.h"
#include "common/tests/TestScratch.h"

#include <gtest/gtest.h>

#include <thread>

using namespace FenmarlCommonDLL::platform;
using commontest::readFile;
using commontest::scratch;
using commontest::writeFile;

TEST(PrivateProfile, ReadsLikeWindows)
{
    const auto file = scratch() / "settings.ini";
    EXPECT_EQ(getPrivateProfileString("S", "k", "dflt  ", file), "dflt"); // missing file
    writeFile(file, "; leading comment\n"
                    "orphan=before any section\n"
                    "[ Scan ]\n"
                    "  Samples  =  4096  \n"
                    ";Rate=1\n"
                    "Quoted=\"  spaced  \"\n"
                    "Inline=5 ; not a comment\n"
                    "Empty=\n"
                    "NoEquals\n"
                    "[Other]\n"
                    "Samples=1\n"
                    "[scan]\n"
                    "Samples=second section\n");
    EXPECT_EQ(getPrivateProfileString("scan", "SAMPLES", "", file), "4096");
    EXPECT_EQ(getPrivateProfileString("Scan", "Rate", "none", file), "none");
    EXPECT_EQ(getPrivateProfileString("Scan", "Quoted", "", file), "  spaced  ");
    EXPECT_EQ(getPrivateProfileString("Scan", "Inline", "", file), "5 ; not a comment");
    EXPECT_EQ(getPrivateProfileString("Scan", "Empty", "d", file), "");
    EXPECT_EQ(getPrivateProfileString("Scan", "NoEquals", "d", file), "");
    EXPECT_EQ(getPrivateProfileString("Other", "Samples", "", file), "1");
    EXPECT_EQ(getPrivateProfileString("Missing", "Samples", "x", file), "x");
    EXPECT_EQ(getPrivateProfileString("", "orphan", "x", file), "x");

    EXPECT_EQ(getPrivateProfileInt("Scan", "Samples", -1, file), 4096);
    EXPECT_EQ(getPrivateProfileInt("Scan", "Inline", -1, file), 5);
    EXPECT_EQ(getPrivateProfileInt("Scan", "Quoted", -1, file), 0);
    EXPECT_EQ(getPrivateProfileInt("Scan", "Empty", -1, file), -1);
    EXPECT_EQ(getPrivateProfileInt("Scan", "Missing", 7, file), 7);
}

TEST(PrivateProfile, ReadsCrLfBomAndUtf16Files)
{
    const auto crlf = scratch() / "crlf.ini";
    writeFile(crlf, "\xEF\xBB\xBF[A]\r\nKey=Value\r\n");
    EXPECT_EQ(getPrivateProfileString("A", "Key", "", crlf), "Value");
    ASSERT_TRUE(writePrivateProfileString("A", "New", "1", crlf));
    EXPECT_EQ(readFile(crlf), "\xEF\xBB\xBF[A]\r\nKey=Value\r\nNew=1\r\n");

    const auto utf16 = scratch() / "utf16.ini";
    const std::string text = "[A]\r\nName=\xC2\xB5T\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t u : std::u16string(u"[A]\r\nName=\u00B5T\r\n")) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    writeFile(utf16, bytes);
    EXPECT_EQ(getPrivateProfileString("a", "name", "", utf16), "\xC2\xB5T");
}

TEST(PrivateProfile, WritesKeepEverythingElse)
{
    const auto file = scratch() / "w.ini";
    ASSERT_TRUE(writePrivateProfileString("First", "a", "1", file)); // creates the file
    EXPECT_EQ(readFile(file), "[First]\na=1\n");
    writeFile(file, "; keep me\n[First]\nA=1\n\n[Second]\nx=y\n");
    ASSERT_TRUE(writePrivateProfileString("first", "a", "2", file));   // replaced in place, spelling kept
    ASSERT_TRUE(writePrivateProfileString("FIRST", "b", "3", file));   // appended to its section
    ASSERT_TRUE(writePrivateProfileString("Third", "z", " v ", file)); // new section at the end
    EXPECT_EQ(readFile(file), "; keep me\n[First]\nA=2\nb=3\n\n[Second]\nx=y\n[Third]\nz= v \n");
    EXPECT_EQ(getPrivateProfileString("Third", "z", "", file), "v");

    // Nothing that would break the file's structure is written.
    EXPECT_FALSE(writePrivateProfileString("S", "k", "two\nlines", file));
    EXPECT_FALSE(writePrivateProfileString("S", "a=b", "v", file));
    EXPECT_FALSE(writePrivateProfileString("S", "k", "v", scratch() / "no" / "such" / "folder.ini"));
}

TEST(PrivateProfile, ConcurrentWritersKeepEachOthersKeys)
{
    const auto file = scratch() / "c.ini";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&file, t] {
            for (int i = 0; i < 25; ++i)
                writePrivateProfileString("T" + std::to_string(t), "k" + std::to_string(i), std::to_string(i),
                                          file);
        });
    }
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(getPrivateProfileInt("T" + std::to_string(t), "k" + std::to_string(i), -1, file), i);
    }
}

TEST(PrivateProfile, SectionWriteReplacesOnlyThatSectionsEntries)
{
    const auto file = scratch() / "result.ini";
    writeFile(file, "[Before]\nA=1\n\n[Tesselon-6]\n; kept\nSuccess=Yes\nReason=old\n\n[After]\nB=2\n");
    ASSERT_TRUE(writePrivateProfileSection("tesselon-6", {{"Success", "No"}, {"LostSamples", "3"}}, file));
    EXPECT_EQ(readFile(file),
              "[Before]\nA=1\n\n[Tesselon-6]\n; kept\nSuccess=No\nLostSamples=3\n\n[After]\nB=2\n");
    EXPECT_EQ(getPrivateProfileString("Tesselon-6", "Reason", "absent", file), "absent");

    const auto fresh = scratch() / "fresh.ini";
    ASSERT_TRUE(writePrivateProfileSection("S", {{"K", "v"}}, fresh));
    EXPECT_EQ(readFile(fresh), "[S]\nK=v\n");
    // A value that would break the line is refused and nothing is written.
    EXPECT_FALSE(writePrivateProfileSection("S", {{"K", "a\nb"}}, fresh));
    EXPECT_EQ(readFile(fresh), "[S]\nK=v\n");
}
