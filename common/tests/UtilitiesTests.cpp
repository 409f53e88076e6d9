#include "common/AlternativeFileNamer.h"
#include "common/DataDescriptor.h"
#include "common/DisplayUnits.h"
#include "common/Excel.h"
#include "common/IniFile.h"
#include "common/Publisher.h"
#include "common/Range.h"
#include "common/RegistryAccess.h"
#include "common/StickyBool.h"
#include "common/SystemTimeConverter.h"
#include "common/Tokeniser.h"
#include "common/platform/Registry.h"
#include "common/platform/Text.h"
#include "common/tests/TestScratch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace FenmarlCommonDLL;
using commontest::scratch;
using commontest::wide;

TEST(DisplayUnits, NamesScalesAndConversions)
{
    DisplayUnits::TheUnit unit = DisplayUnits::pT;
    EXPECT_TRUE(DisplayUnits::TryGetUnit(L"UT", unit));
    EXPECT_EQ(unit, DisplayUnits::uT);
    EXPECT_TRUE(DisplayUnits::TryGetUnit(L"\u03BCT", unit));
    EXPECT_EQ(unit, DisplayUnits::uT);
    EXPECT_TRUE(DisplayUnits::TryGetUnit(L"NT", unit));
    EXPECT_EQ(unit, DisplayUnits::nT);
    EXPECT_TRUE(DisplayUnits::TryGetUnit(L"mT", unit));
    EXPECT_EQ(unit, DisplayUnits::mT);
    unit = DisplayUnits::pT;
    EXPECT_FALSE(DisplayUnits::TryGetUnit(L"gauss", unit));
    EXPECT_EQ(unit, DisplayUnits::pT);
    EXPECT_EQ(DisplayUnits::ToString(DisplayUnits::uT), L"\u00B5T");
    EXPECT_EQ(DisplayUnits::ToString(static_cast<DisplayUnits::TheUnit>(9)), L"T");

    EXPECT_EQ(DisplayUnits::Scale(DisplayUnits::nT, DisplayUnits::uT), 0.001);
    EXPECT_EQ(DisplayUnits::Scale(DisplayUnits::pT, DisplayUnits::T), 1e-12);
    EXPECT_EQ(DisplayUnits::Scale(DisplayUnits::T, DisplayUnits::pT), 1e12);
    EXPECT_DOUBLE_EQ(DisplayUnits::Convert(5, DisplayUnits::uT, DisplayUnits::T), 5e-6);
    EXPECT_DOUBLE_EQ(DisplayUnits::Convert(2, DisplayUnits::mT, DisplayUnits::nT), 2e6);
    try {
        DisplayUnits::Convert(1, static_cast<DisplayUnits::TheUnit>(5), DisplayUnits::T);
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "fromUnit: Unsupported unit");
    }
    try {
        DisplayUnits::Convert(1, DisplayUnits::T, static_cast<DisplayUnits::TheUnit>(-1));
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "toUnit: Unsupported unit");
    }
    EXPECT_DOUBLE_EQ(DisplayUnits::NtToUt(1500), 1.5);
    EXPECT_DOUBLE_EQ(DisplayUnits::TToNt(2), 2e9);
    EXPECT_DOUBLE_EQ(DisplayUnits::UtToPt(3), 3e6);
    EXPECT_DOUBLE_EQ(DisplayUnits::PtToUt(3e6), 3);
}

// Every named converter scales by its units' exponent difference, exactly,
// and converting there and back returns the value unchanged.
TEST(DisplayUnits, NamedConvertersMatchTheExponentTable)
{
    using U = DisplayUnits;
    const struct
    {
        double (*convert)(double);
        double (*back)(double);
        U::TheUnit from;
        U::TheUnit to;
    } pairs[] = {
        {U::MtToUt, U::UtToMt, U::mT, U::uT}, {U::MtToNt, U::NtToMt, U::mT, U::nT},
        {U::NtToPt, U::PtToNt, U::nT, U::pT}, {U::NtToT, U::TToNt, U::nT, U::T},
        {U::NtToUt, U::UtToNt, U::nT, U::uT}, {U::PtToUt, U::UtToPt, U::pT, U::uT},
        {U::TToUt, U::UtToT, U::T, U::uT},
    };
    for (const auto& p : pairs) {
        const int up = U::Exp(p.from) - U::Exp(p.to);
        const double factor = up > 0 ? std::pow(10.0, up) : 1.0 / std::pow(10.0, -up);
        EXPECT_DOUBLE_EQ(p.convert(7.25), 7.25 * factor) << U::Exp(p.from) << " to " << U::Exp(p.to);
        EXPECT_EQ(p.back(p.convert(7.25)), 7.25) << U::Exp(p.from) << " and back";
        EXPECT_EQ(p.convert(0.0), 0.0);
    }
    EXPECT_EQ(U::NtToUt(1.0), 1.0 / 1000.0) << "a larger unit divides, so no 1e-3 rounding";
}

// The date texts share their digits and clock: values under ten get a zero,
// larger ones keep all their digits.
TEST(DateTexts, TwoDigitsAndClockTime)
{
    EXPECT_EQ(twoDigits(0), L"00");
    EXPECT_EQ(twoDigits(7), L"07");
    EXPECT_EQ(twoDigits(59), L"59");
    EXPECT_EQ(twoDigits(2024), L"2024");
    SYSTEMTIME t;
    t.wHour = 23;
    t.wMinute = 0;
    t.wSecond = 5;
    EXPECT_EQ(clockTime(t), L"23:00:05");
    EXPECT_EQ(Excel::GetExcelTime(t), clockTime(t));
}

TEST(DateTexts, ExcelAndSystemTimeConverter)
{
    const SYSTEMTIME t{.wYear = 2024, .wMonth = 9, .wDay = 5, .wHour = 7, .wMinute = 3, .wSecond = 9};
    EXPECT_EQ(SystemTimeConverter::numberToMonthString(9), L"Sept");
    EXPECT_EQ(Excel::numberToShortMonthString(9), L"Sep");
    EXPECT_EQ(Excel::numberToShortMonthString(13), L"Invalid month number, valid range is 1 to 12");
    EXPECT_EQ(SystemTimeConverter::numberToMonthString(14), L"Invalid");
    EXPECT_EQ(SystemTimeConverter::numberToMonthString(0), L"Invalid");
    EXPECT_EQ(Excel::wrapToStopExcelFormat(L"1-2"), L"\"=\"\"1-2\"\"\"");
    EXPECT_EQ(Excel::GetExcelDate(t, false), L"05-Sep-2024");
    EXPECT_EQ(Excel::GetExcelDate(t, true), L"05-Sep-24");
    EXPECT_EQ(Excel::GetExcelTime(t), L"07:03:09");
    EXPECT_EQ(SystemTimeConverter::ddMMMYYHMSFormat(t), L"05-Sept-24 07:03:09");
    const SYSTEMTIME now = getLocalTime();
    EXPECT_GE(now.wYear, 2024);
    EXPECT_TRUE(now.wMonth >= 1 && now.wMonth <= 12);
}

TEST(IniFileAndRegistryAccess, WideValuesRoundTrip)
{
    const std::wstring file = wide(scratch() / "values.ini");
    EXPECT_EQ(IniFile::GetIniFileValue(file, L"S", L"k"), L"");
    EXPECT_TRUE(IniFile::SetIniFileValue(file, L"S", L"k", L"\u00B5T value"));
    EXPECT_EQ(IniFile::GetIniFileValue(file, L"s", L"K"), L"\u00B5T value");

    EXPECT_EQ(RegistryAccess::read(L"Fenmarl", L"Tools", L"Name", L"fallback"), L"fallback");
    EXPECT_TRUE(RegistryAccess::write(L"Fenmarl", L"Tools", L"Name", L"\u00B5 text"));
    EXPECT_EQ(RegistryAccess::read(L"Fenmarl", L"Tools", L"Name", L"fallback"), L"\u00B5 text");
    EXPECT_TRUE(RegistryAccess::write(L"Fenmarl", L"Tools", L"Name", L"second"));
    EXPECT_EQ(RegistryAccess::read(L"Fenmarl", L"Tools", L"Name", L""), L"second");
    // Stored as REG_SZ under Software\part1\part2.
    platform::RegistryKey key;
    ASSERT_EQ(key.open(platform::RegistryRoot::CurrentUser, "Software\\Fenmarl\\Tools", false), 0u);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(key.queryValue("Name", &type, &data), 0u);
    EXPECT_EQ(type, platform::REG_SZ_);
    EXPECT_EQ(std::string(data.begin(), data.end()), "second");
    // A value of another type reads as the default; the machine root cannot be written.
    ASSERT_EQ(key.create(platform::RegistryRoot::CurrentUser, "Software\\Fenmarl\\Tools"), 0u);
    ASSERT_EQ(key.setDword("Number", 3), 0u);
    EXPECT_EQ(RegistryAccess::read(L"Fenmarl", L"Tools", L"Number", L"d"), L"d");
    EXPECT_FALSE(
        RegistryAccess::write(L"Fenmarl", L"Tools", L"Name", L"x", platform::RegistryRoot::LocalMachine));
}

TEST(Tokeniser, WholeDelimitersAndEmptyPieces)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Tokeniser::tokenise(std::string("a,,b,"), ",", false), (V{"a", "", "b"}));
    EXPECT_EQ(Tokeniser::tokenise(std::string("a,,b,"), ",", true), (V{"a", "", "b", ""}));
    EXPECT_EQ(Tokeniser::tokenise(std::string("a::b:c"), "::", false), (V{"a", "b:c"}));
    EXPECT_EQ(Tokeniser::tokenise(std::string(""), ",", false), V{});
    EXPECT_EQ(Tokeniser::tokenise(std::string(""), ",", true), V{""});
    EXPECT_EQ(Tokeniser::tokenise(std::string("abc"), "", false), V{"abc"});
    EXPECT_EQ(Tokeniser::tokenise(std::wstring(L"x\ty"), L"\t", false),
              (std::vector<std::wstring>{L"x", L"y"}));
    EXPECT_EQ(Tokeniser::tokeniseAsList(std::string("1 2"), " ", false), (std::list<std::string>{"1", "2"}));
    EXPECT_EQ(Tokeniser::tokeniseAsList(std::wstring(L"1 "), L" ", true),
              (std::list<std::wstring>{L"1", L""}));
}

TEST(AlternativeFileNamer, SkipsExistingAndBannedNames)
{
    const auto folder = scratch() / "names";
    std::filesystem::create_directories(folder);
    AlternativeFileNamer namer(wide(folder));
    EXPECT_EQ(namer.getAlternativeFileName(L"log.txt"), L"log.txt");
    commontest::writeFile(folder / "log.txt", "x");
    namer.banFileName(L"log(1).txt");
    EXPECT_TRUE(namer.isThisABannedFile(L"log(1).txt"));
    EXPECT_TRUE(namer.doesFileExist(L"log.txt"));
    EXPECT_TRUE(namer.doesFilePathExist(wide(folder / "log.txt")));
    EXPECT_EQ(namer.getAlternativeFileName(L"log.txt"), L"log(2).txt");
    EXPECT_EQ(namer.getAlternativeFilePath(L"log.txt"), wide(folder / "log(2).txt"));
    namer.clearBannedNames();
    EXPECT_EQ(namer.getAlternativeFileName(L"log.txt"), L"log(1).txt");
    commontest::writeFile(folder / "README", "x");
    EXPECT_EQ(namer.getAlternativeFileName(L"README"), L"README(1)");
    commontest::writeFile(folder / "a.b.c", "x");
    EXPECT_EQ(namer.getAlternativeFileName(L"a.b.c"), L"a.b(1).c");
}

namespace {
struct Recorder : Observer
{
    Recorder(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {}
    void notify(std::uint32_t id, int event) override
    {
        log_->push_back(name_ + ":" + std::to_string(id) + ":" + std::to_string(event));
    }
    std::vector<std::string>* log_;
    std::string name_;
};
} // namespace

TEST(Publisher, NotifiesObserversInOrderOnce)
{
    Publisher first;
    Publisher second;
    EXPECT_EQ(second.publisherId(), first.publisherId() + 1);
    std::vector<std::string> log;
    Recorder a(&log, "a");
    Recorder b(&log, "b");
    EXPECT_EQ(first.addObserver(&b), first.publisherId());
    first.addObserver(&a);
    first.addObserver(&b);
    first.addObserver(nullptr);
    first.notifyObservers(3);
    first.removeObserver(&b);
    first.notifyObservers(4);
    const std::string id = std::to_string(first.publisherId());
    EXPECT_EQ(log, (std::vector<std::string>{"b:" + id + ":3", "a:" + id + ":3", "a:" + id + ":4"}));
}

TEST(RangeStickyBoolDataDescriptor, Behaviour)
{
    Range range(0.1f);
    EXPECT_TRUE(range.isWithinRange(1e9f)); // nothing recorded: no limits
    range.recordMinMax(20);
    range.recordMinMax(10);
    EXPECT_EQ(range.minValue(), 10);
    EXPECT_EQ(range.maxValue(), 20);
    EXPECT_TRUE(range.isWithinRange(9));
    EXPECT_TRUE(range.isWithinRange(22));
    EXPECT_FALSE(range.isWithinRange(8.9f));
    EXPECT_FALSE(range.isWithinRange(22.1f));
    range.setMinMax(-10, -5);
    EXPECT_TRUE(range.isWithinRange(-11));
    EXPECT_FALSE(range.isWithinRange(-4));
    range.reset();
    range.recordMinMax(3);
    EXPECT_EQ(range.minValue(), 3);
    EXPECT_EQ(range.maxValue(), 3);

    StickyBool flag(false);
    flag = true;
    flag = false;
    EXPECT_TRUE(flag);
    flag.Reset();
    EXPECT_FALSE(flag);
    flag.Reset(true);
    flag = true;
    EXPECT_TRUE(flag);
    flag = false;
    flag = true;
    EXPECT_FALSE(flag);

    DataDescriptor d(L"Input 1 X", L"1X", DataDescriptor::Tesla, true);
    EXPECT_EQ(d.name(), L"Input 1 X");
    EXPECT_EQ(d.shortName(), L"1X");
    EXPECT_EQ(d.unit(), DataDescriptor::Tesla);
    d.processThisData(false);
    EXPECT_FALSE(d.processThisData());
}
