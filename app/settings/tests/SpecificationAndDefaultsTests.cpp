#include "app/base/Archive.h"
#include "app/settings/DefaultSettings.h"
#include "app/base/RegistryKey.h"
#include "app/settings/tests/DataSettingsRecord.h"
#include "app/specification/SpecificationSettings.h"
#include "common/platform/KnownFolders.h"

#include <gtest/gtest.h>

namespace {

const std::string kScanKey = "Software\\Fenmarl\\Tesselon-6\\ScanConfiguration";

} // namespace

TEST(DefaultSettingsBlock, EveryVersionReadsItsFields)
{
    for (int version : {-9, -7, -6, -4, -2, -1, 0}) {
        SCOPED_TRACE(version);
        ByteBuilder b;
        addDataSettings(b, version);
        DefaultSettings d;
        ArchiveReader r(b.bytes);
        d.load(r, version);
        EXPECT_TRUE(r.atEnd());
        expectDataSettings(d, version);
    }

    ByteBuilder newest;
    addDataSettings(newest, -9);
    DefaultSettings d;
    ArchiveReader r(newest.bytes);
    d.load(r, -9);
    std::vector<std::uint8_t> out;
    ArchiveWriter w(out);
    d.store(w);
    EXPECT_EQ(out, newest.bytes);

    for (std::size_t n = 0; n < newest.bytes.size(); ++n) {
        DefaultSettings untouched;
        ArchiveReader cut(newest.bytes.data(), n);
        EXPECT_THROW(untouched.load(cut, -9), ArchiveException);
        ASSERT_EQ(untouched, DefaultSettings()) << n;
    }
}

TEST(SpecificationRegistry, CurvesAndFlagsRoundTripAndDamageIsContained)
{
    std::filesystem::remove(FenmarlCommonDLL::platform::userConfigFolder() / "registry.reg");
    SpecificationSettings s;
    EXPECT_FALSE(s.readFromRegistry(kScanKey)); // no key: nothing changes
    EXPECT_EQ(s, SpecificationSettings());

    s.applyTimeTest[1] = 1;
    s.applyFrequencyTest[0] = 1;
    s.passedFrequency[1] = 0;
    s.displayCurves = 0;
    s.audioAlert = 1;
    s.maximumExcursion[0] = 0.5;
    s.maximumExcursion[1] = 1.5;
    s.curve[0] = {{10, 1}, {20, 3}};
    s.curve[1] = {{1, 0.1}, {2, 0.2}, {3, 0.3}};
    ASSERT_EQ(s.writeToRegistry(kScanKey), 0u);

    SpecificationSettings back;
    back.curve[0] = {{99, 99}}; // replaced, not appended to
    ASSERT_TRUE(back.readFromRegistry(kScanKey));
    EXPECT_EQ(back, s);

    CRegistryKey key;
    ASSERT_EQ(key.open(SpecificationSettings::registryPath(kScanKey)), 0u);
    key.writeInt("Curve 2 Point 1", 7); // malformed point
    key.writeInt("Display", 0x7FFF);    // kept as stored
    std::uint8_t wrong[4] = {1, 0, 0, 0};
    key.writeBinary("Apply Time", wrong, 4); // wrong size: ignored
    key.writeInt("Points 1", 2000000000);    // no curve has that many points
    key.close();

    SpecificationSettings damaged;
    ASSERT_TRUE(damaged.readFromRegistry(kScanKey));
    EXPECT_TRUE(damaged.curve[0].empty());
    EXPECT_EQ(damaged.curve[1], (std::vector<CurvePoint>{{1, 0.1}, {0, 0}, {3, 0.3}}));
    EXPECT_EQ(damaged.applyTimeTest[1], 0);
    EXPECT_EQ(damaged.displayCurves, 0x7FFF);
    EXPECT_EQ(damaged.maximumExcursion[1], 1.5);
    EXPECT_EQ(damaged.audioAlert, 1);
}
