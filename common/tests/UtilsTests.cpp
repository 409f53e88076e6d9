#include "common/Utils.h"
#include "common/platform/Hooks.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/Text.h"
#include "common/platform/Win32Error.h"
#include "common/tests/TestScratch.h"

#include <gtest/gtest.h>

using namespace FenmarlCommonDLL;
using commontest::scratch;
using commontest::wide;

TEST(Utils, CreateDirectoryMakesEveryMissingLevel)
{
    const auto deep = scratch() / "a" / "b" / "c";
    EXPECT_TRUE(Utils::createDirectory(wide(deep)));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(Utils::createDirectory(wide(deep)));
    EXPECT_TRUE(Utils::directoryExists(wide(deep)));
    // A regular file in the way is not a directory.
    commontest::writeFile(scratch() / "f", "x");
    EXPECT_FALSE(Utils::createDirectory(wide(scratch() / "f")));
    EXPECT_FALSE(Utils::createDirectory(wide(scratch() / "f" / "g")));
    EXPECT_TRUE(Utils::fileExists(wide(scratch() / "f")));
    EXPECT_TRUE(Utils::deleteFile(wide(scratch() / "f")));
    EXPECT_FALSE(Utils::fileExists(wide(scratch() / "f")));
    EXPECT_FALSE(Utils::deleteFile(wide(scratch() / "f")));
}

TEST(Utils, PathPartsAcceptBothSeparators)
{
    EXPECT_EQ(Utils::fileNameFromPath(L"c:\\data\\run.ts6"), L"run.ts6");
    EXPECT_EQ(Utils::fileNameFromPath(L"/home/u/run.ts6"), L"run.ts6");
    EXPECT_EQ(Utils::fileNameFromPath(L"/home/u\\mixed.ts6"), L"mixed.ts6");
    EXPECT_EQ(Utils::fileNameFromPath(L"/home/u/"), L"");
    EXPECT_EQ(Utils::fileNameFromPath(L"bare"), L"bare");
    EXPECT_EQ(Utils::directoryPathFromPath(L"c:\\data\\run.ts6"), L"c:\\data");
    EXPECT_EQ(Utils::directoryPathFromPath(L"/home/u/run.ts6"), L"/home/u");
    EXPECT_EQ(Utils::directoryPathFromPath(L"bare.txt"), L"bare.txt");
}

TEST(Utils, StringHelpers)
{
    EXPECT_TRUE(Utils::containsOnlyRealNumbers(std::string("0123456789")));
    EXPECT_TRUE(Utils::containsOnlyRealNumbers(std::wstring()));
    EXPECT_FALSE(Utils::containsOnlyRealNumbers(std::wstring(L"1.5")));
    EXPECT_FALSE(Utils::containsOnlyRealNumbers(std::string("-1")));
    EXPECT_EQ(Utils::removeAllSpaces(std::string(" a\tb\n c ")), "abc");
    EXPECT_EQ(Utils::removeAllSpaces(std::wstring(L" a\tb\n c ")), L"abc");
    EXPECT_EQ(Utils::trimLeftIncludingFirst(L"key=value=x", L"="), L"value=x");
    EXPECT_EQ(Utils::trimLeftIncludingFirst(L"novalue", L"="), L"novalue");
    EXPECT_EQ(Utils::trimRightIncludingLast(L"a.b.c", L"."), L"a.b");
    EXPECT_EQ(Utils::trimRightIncludingLast(L"abc", L"."), L"abc");
    EXPECT_EQ(Utils::getLeftUpToExcluding(L"name;rest", L";,"), L"name");
    EXPECT_EQ(Utils::getLeftUpToExcluding(L"name", L";,"), L"name");
    EXPECT_TRUE(Utils::startsWith(L" a b", L"ab"));
    EXPECT_FALSE(Utils::startsWith(L"a", L"ab"));
    EXPECT_FALSE(Utils::startsWith(L"a   ", L"ab"));
    EXPECT_FALSE(Utils::startsWith(L"xab", L"ab"));
    EXPECT_EQ(Utils::toLower(L"MiXeD 1"), L"mixed 1");
}

TEST(Utils, CountOccurrencesIsNonOverlapping)
{
    EXPECT_EQ(Utils::countOccurrences(L"aaaa", L"aa"), 2u);
    EXPECT_EQ(Utils::countOccurrences(L"abcabcab", L"abc"), 2u);
    EXPECT_EQ(Utils::countOccurrences(L"abc", L"x"), 0u);
    EXPECT_EQ(Utils::countOccurrences(L"abc", L""), 0u);
    EXPECT_EQ(Utils::countOccurrences(L"", L""), 0u);
}

TEST(Utils, SystemTextsAndStringTable)
{
    EXPECT_EQ(Utils::errorToString(0), L"");
    EXPECT_EQ(Utils::errorToString(2), L"The system cannot find the file specified.");
    EXPECT_EQ(Utils::errorToString(5), L"Access is denied.");
    EXPECT_EQ(Utils::loadStrFromResource(109), L"Sept");
    EXPECT_EQ(Utils::loadStrFromResource(115), L"Failed to set a notification event");
    EXPECT_EQ(Utils::loadStrFromResource(999), L"");
    EXPECT_EQ(platform::win32ErrorText(1167), "The device is not connected.");
    EXPECT_EQ(platform::win32ErrorText(4242), "");
    EXPECT_EQ(platform::win32ErrorFromErrno(ENOENT), 2u);
    EXPECT_EQ(platform::win32ErrorFromErrno(EACCES), 5u);
    EXPECT_EQ(platform::win32ErrorFromErrno(ETIMEDOUT), 121u);
}

TEST(Utils, DataDirectoryAndDebugOutput)
{
    EXPECT_EQ(Utils::getUsersDataDirectory(), wide(platform::applicationDataFolder()));
    std::string got;
    platform::setDebugOutputHandler([&](const std::string& text) { got += text; });
    Utils::outputDebugString(L"hello");
    platform::setDebugOutputHandler(nullptr);
    EXPECT_EQ(got, "\nhello");
}

TEST(Text, Conversions)
{
    const std::string utf8 = "a\xC2\xB5\xE2\x82\xAC\xF0\x9F\x98\x80"; // a µ € 😀
    const std::wstring w = platform::utf8ToWide(utf8);
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[1], L'\u00B5');
    EXPECT_EQ(platform::wideToUtf8(w), utf8);
    const std::u16string u16 = platform::utf8ToUtf16(utf8);
    ASSERT_EQ(u16.size(), 5u); // the emoji is a surrogate pair
    EXPECT_EQ(platform::utf16ToUtf8(u16), utf8);
    EXPECT_EQ(platform::utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
    // Malformed UTF-8 becomes U+FFFD per bad byte and the rest survives.
    EXPECT_EQ(platform::utf8ToWide("a\xC3"), L"a\uFFFD");
    EXPECT_EQ(platform::utf8ToWide("\xC0\xAFz"), L"\uFFFD\uFFFDz");
    EXPECT_EQ(platform::utf8ToWide("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
    // Code page 1252.
    EXPECT_EQ(platform::cp1252ToUtf8("\x80\xB5\xE9"), "\xE2\x82\xAC\xC2\xB5\xC3\xA9");
    EXPECT_EQ(platform::utf8ToCp1252("\xE2\x82\xAC\xC2\xB5\xC3\xA9"), "\x80\xB5\xE9");
    EXPECT_EQ(platform::utf8ToCp1252("\xE4\xB8\xAD"), "?");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(platform::utf8ToCp1252(platform::cp1252ToUtf8(all)), all);
}
