#include "app/base/Archive.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/settings/ScanTemplate.h"
#include "app/settings/tests/ByteBuilder.h"
#include "app/base/ScriptedUserInteraction.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace platform = FenmarlCommonDLL::platform;

namespace {

// A template of the given version as older programs wrote it, field by field.
// version 0 here means "no version word" (read as −1).
std::vector<std::uint8_t> templateBytes(int version)
{
    const int v = version == 0 ? -1 : version;
    const int recordVersion = v == -4 ? -5 : v;
    ByteBuilder b;
    if (version != 0) b.i32(version);
    // The record.
    b.text("Magnetometer")
        .text("Both")
        .text("Normal")
        .text("Accelerometer")
        .text("Time Domain")
        .text("Normal");
    b.i32(1).i32(1).i32(0).i32(1).i32(0);
    b.f64(0.0005).i32(2048).i32(4).i32(1).i32(0);
    b.f64(-1).f64(1).f64(-2).f64(2);
    b.i32(10).i32(1000).i32(3).i32(0).i32(0); // gains, high-pass 3 and 0, UseFrequency
    if (recordVersion <= -5)
        b.i32(1).i32(6);
    else
        b.i32(1);
    if (recordVersion <= -6)
        b.i32(2).i32(8);
    else
        b.i32(0);
    if (recordVersion <= -8) b.i32(1);
    b.i32(1).i32(1).i32(0).i32(0).f64(0.5).f64(0.6).i32(1).i32(1).i32(1).i32(1).i32(1);
    if (recordVersion <= -8) b.i32(0);
    b.i32(0).i32(0);
    // Pages.
    b.i32(17).i32(-3);
    b.text("500us");
    b.i32(1).i32(0).i32(1).i32(1).i32(0); // apply flags, display curves
    if (v <= -8) b.i32(1);                // audio alert
    b.f64(0.125).f64(0.25);
    b.i32(2).f64(10).f64(1).f64(20).f64(3);
    b.i32(1).f64(100).f64(0.5);
    b.i32(100).i32(10); // gains
    b.text("D:\\Scans\\");
    if (v <= -6) b.i32(1).i32(1);
    b.f64(2.5).f64(0.04).f64(1.5).f64(3.5).f64(0.06).f64(2.0);
    b.i32(2).i32(1).i32(3);
    b.i32(5).i32(4).i32(0);
    if (v < -1) b.i32(2).i32(3);
    return b.bytes;
}

ScanTemplate loadedTemplate(const std::vector<std::uint8_t>& bytes)
{
    ScanTemplate t;
    t.load(bytes);
    return t;
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(ScanTemplate, EveryVersionLoadsWithItsDefaults)
{
    for (int version : {0, -1, -2, -3, -4, -5, -6, -7, -8}) {
        SCOPED_TRACE(version);
        const auto t = loadedTemplate(templateBytes(version));
        const auto& c = t.configuration;
        EXPECT_EQ(c.Input1Mode, "Magnetometer");
        EXPECT_EQ(c.NoOfSamples, 2048);
        EXPECT_EQ(c.SampleInterval, 0.0005);
        EXPECT_EQ(c.Filter, 1);
        const bool twoFilterInts = version <= -4 && version != 0;
        EXPECT_EQ(c.CutOffFrequency, twoFilterInts ? 6 : 2);
        EXPECT_EQ(c.ScanMode, version <= -6 && version != 0 ? 2 : 0);
        EXPECT_EQ(c.NumberofRuns, version <= -6 && version != 0 ? 8 : 5);
        EXPECT_EQ(c.Oversample, version == -8 ? 1 : 0);
        EXPECT_EQ(c.Specification.maximumExcursion[1], 0.6);

        EXPECT_EQ(t.reserved[0], 17);
        EXPECT_EQ(t.reserved[1], -3);
        EXPECT_EQ(t.sampleIntervalText, "500us");
        EXPECT_EQ(t.applyFrequency[1], 1);
        EXPECT_EQ(t.displayCurves, 0);
        EXPECT_EQ(t.audioAlert, version == -8 ? 1 : 0);
        EXPECT_EQ(t.maximumExcursion[1], 0.25);
        EXPECT_EQ(t.curve[0], (std::vector<CurvePoint>{{10, 1}, {20, 3}}));
        EXPECT_EQ(t.curve[1], (std::vector<CurvePoint>{{100, 0.5}}));
        EXPECT_EQ(t.sensorGain[0], 100);
        EXPECT_EQ(t.dataFolder, "D:\\Scans\\");
        const bool hasGeneralFlags = version <= -6 && version != 0;
        EXPECT_EQ(t.scanOnExit, hasGeneralFlags ? 1 : 0);
        EXPECT_EQ(t.exportAscii, hasGeneralFlags ? 1 : 0);
        EXPECT_EQ(t.magneticScaling[0], 2.5);
        EXPECT_EQ(t.microphoneScaling[1], 0.06);
        EXPECT_EQ(t.vibrationScaling[1], 2.0);
        EXPECT_EQ(t.vibrationUnits, 3);
        EXPECT_EQ(t.window, 5);
        EXPECT_EQ(t.discreteFrequencies, 4);
        const bool hasUnits = version < -1;
        EXPECT_EQ(t.spectrumUnits[0], hasUnits ? 2 : 0);
        EXPECT_EQ(t.spectrumUnits[1], hasUnits ? 3 : 0);
        EXPECT_EQ(t.coupling(0), 1);
        EXPECT_EQ(t.coupling(1), 0);
    }
}

TEST(ScanTemplate, SavedTemplateStartsWithMinusEightAndRoundTrips)
{
    const auto path = std::filesystem::temp_directory_path() / "t.tst";
    auto t = loadedTemplate(templateBytes(-8));
    t.dataFolder = "/home/u/Scans \xE2\x82\xAC/";
    t.save(path);

    const auto bytes = fileBytes(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4),
              (std::vector<std::uint8_t>{0xF8, 0xFF, 0xFF, 0xFF}));
    // What the old writer's byte layout holds, except the folder.
    auto expected = loadedTemplate(templateBytes(-8));
    expected.dataFolder = t.dataFolder;
    ScanTemplate back;
    back.load(path);
    EXPECT_EQ(back, expected);

    // And the layout is exactly the documented one.
    ScanTemplate plain = loadedTemplate(templateBytes(-8));
    std::vector<std::uint8_t> written;
    ArchiveWriter w(written);
    plain.store(w);
    EXPECT_EQ(written, templateBytes(-8));
}

TEST(ScanTemplate, DamagedTemplatesFailWithoutChangingAnything)
{
    const auto full = templateBytes(-8);
    const ScanTemplate original;
    for (std::size_t n = 0; n < full.size(); ++n) {
        ScanTemplate t;
        EXPECT_THROW(t.load(std::vector<std::uint8_t>(full.begin(), full.begin() + n)), ArchiveException)
            << n;
        ASSERT_EQ(t, original) << n;
    }
    for (std::int32_t badVersion : {-9, -100}) {
        ByteBuilder b;
        b.i32(badVersion).raw(std::vector<std::uint8_t>(full.begin() + 4, full.end()));
        ScanTemplate t;
        EXPECT_THROW(t.load(b.bytes), ArchiveException);
    }
}

TEST(ScanTemplate, PagesCarryTheSettingsBothWays)
{
    CScanConfiguration c;
    DefaultSettings d;
    c.Input2HPFilter = 1;
    c.Input1SensorGain = 1000;
    c.Specification.curve[1] = {{1, 2}, {3, 4}};
    c.Specification.audioAlert = 1;
    c.Specification.passedTime[0] = 0;
    d.FFTK = 5;
    d.Input2Scaling = 2;
    d.Input1MicrophoneScaling = 0.2;
    d.FilePath = "/scans/";
    const auto t = ScanTemplate::fromSettings(c, d, "2ms");
    EXPECT_EQ(t.sampleIntervalText, "2ms");

    CScanConfiguration c2;
    c2.Specification.passedTime[0] = 1;
    c2.FileName = "run.ts6";
    DefaultSettings d2;
    t.applyTo(c2, d2);
    EXPECT_EQ(c2.Input2HPFilter, 1);
    EXPECT_EQ(c2.Input1SensorGain, 1000);
    EXPECT_EQ(c2.Specification.curve[1], c.Specification.curve[1]);
    EXPECT_EQ(c2.Specification.audioAlert, 1);
    EXPECT_EQ(c2.Specification.passedTime[0], 1); // results are not settings
    EXPECT_EQ(c2.FileName, "run.ts6");
    EXPECT_EQ(d2.FFTK, 5);
    EXPECT_EQ(d2.Input2Scaling, 2);
    EXPECT_EQ(d2.Input1MicrophoneScaling, 0.2);
    EXPECT_EQ(d2.FilePath, "/scans/");
}

TEST(ScanTemplate, StoreReportsDamagedFilesAndUsesTheDialogRules)
{
    ScriptedUserInteraction ui;
    ScanConfigurationStore store(ui, {});
    ui.clear();

    const auto good = std::filesystem::temp_directory_path() / "good.tst";
    const auto bad = std::filesystem::temp_directory_path() / "bad.tst";
    std::ofstream(bad, std::ios::binary) << "\xF8\xFF\xFF\xFF\x05short";

    ui.queueFile(good);
    const auto saved = ScanTemplate::fromSettings(store.scanConfiguration(), store.defaultSettings(), "1ms");
    ASSERT_TRUE(store.chooseAndSaveScanTemplate(saved));
    ui.queueFile(bad);
    ScanTemplate target = saved;
    target.sampleIntervalText = "keep";
    EXPECT_FALSE(store.chooseAndLoadScanTemplate(target));
    EXPECT_EQ(target.sampleIntervalText, "keep");
    // Cancel: nothing shown, nothing changed.
    EXPECT_FALSE(store.chooseAndLoadScanTemplate(target));
    ui.queueFile(good);
    EXPECT_TRUE(store.chooseAndLoadScanTemplate(target));
    EXPECT_EQ(target, saved);

    const auto requests = ui.fileRequests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[0].save);
    EXPECT_TRUE(requests[0].overwritePrompt);
    EXPECT_FALSE(requests[1].save);
    EXPECT_TRUE(requests[1].fileMustExist);
    for (const auto& r : requests) {
        EXPECT_EQ(r.defaultExtension, "tst");
        EXPECT_EQ(r.filter, "Scan Template Files (*.tst)|*.tst||");
        EXPECT_EQ(r.initialFolder, store.defaultSettings().FilePath);
        EXPECT_TRUE(r.hideReadOnly);
    }
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.find(bad.string()), std::string::npos);
    EXPECT_EQ(messages[0].icon(), platform::MB_ICONERROR_);
}
