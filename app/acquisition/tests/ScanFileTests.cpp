#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/GraphLegacyBlock.h"
#include "app/acquisition/ScanFile.h"
#include "app/base/Archive.h"
#include "app/base/ScriptedUserInteraction.h"
#include "app/settings/tests/DataSettingsRecord.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

fs::path scratchFile(const std::string& name)
{
    return fs::temp_directory_path() / name;
}

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CountingView : public DocumentView
{
public:
    void onDocumentUpdate(CCorvelDoc&) override { ++updates; }
    void loadGraph(int points) override { loadedPoints = points; }
    int updates = 0;
    int loadedPoints = -1;
};

// Everything of one input group as the file holds it.
struct InputLayout
{
    std::int32_t points = 3;
    std::int32_t samples = 3;
    std::int32_t spectrumPoints = 3;
    std::int32_t averages = 2;
    std::uint8_t reserved = 0;
    double offset = 0.0; // makes the two inputs' values differ
};

void addInput(ByteBuilder& b, int version, const InputLayout& in)
{
    b.i32(in.points).i32(3).i32(in.samples).i32(in.spectrumPoints).i32(in.averages);
    if (version != 0) b.u8(in.reserved);
    for (int i = 0; i < in.points; ++i) {
        b.f64(i * 0.25);
        for (int a = 0; a < 3; ++a)
            b.f64(in.offset + 10 * a + i);
    }
    for (int i = 0; i < in.points; ++i) {
        b.f64(i * 2.0);
        for (int a = 0; a < 3; ++a)
            b.f64(in.offset + 100 * a + i * i); // powers in old versions
    }
}

const DataSettingsRecord kFileSettings{.filePath = "/data/scans/",
                                       .units = {1, 3, 0},
                                       .scalings = {11, 12, 13, 14, 0.02, 0.03},
                                       .fft = {0, 1, 0}, // window None, FFTK 1, no overlap
                                       .inputScalings = {2, 3}};

// A complete file of the given version with distinctive values.
ByteBuilder buildLayout(int version, const InputLayout& in1, const InputLayout& in2)
{
    ByteBuilder b;
    b.raw(std::vector<std::uint8_t>(ScanFile::kSignature.begin(), ScanFile::kSignature.end()));
    if (version != 0) b.i32(version);
    // day, day of week, hour, milliseconds, minute, month, second, year
    b.u16(6).u16(0).u16(13).u16(250).u16(45).u16(12).u16(30).u16(2026);
    b.text("Magnetometer")
        .text("Both")
        .text("Mean Zero")
        .text("Microphone")
        .text("Time Domain")
        .text("Normal");
    b.i32(1).i32(1).i32(0).i32(1).i32(1);     // UseInput1, UseInput2, DiffGrad, components, total
    b.f64(0.004).i32(3).i32(4).i32(0).i32(1); // interval, samples, averages, auto scales
    b.f64(-1.5).f64(1.5).f64(-2.5).f64(2.5);  // y ranges
    b.i32(10).i32(100).i32(1).i32(0).i32(0);  // gains, high-pass, UseFrequency
    if (version <= -5)
        b.i32(2).i32(7); // Filter as older writers stored the low pass, rolling points
    else
        b.i32(5); // any non-zero value: low pass
    if (version != 0) {
        if (version <= -6)
            b.i32(2).i32(9);
        else
            b.i32(1);
        if (version <= -8) b.i32(1);   // Oversample
        b.i32(1).i32(0).i32(0).i32(1); // apply time, apply frequency
        b.f64(0.5).f64(0.75);          // excursions
        b.i32(0).i32(1).i32(1).i32(0); // passed time, passed frequency
        b.i32(0);                      // display curves
        if (version <= -8) b.i32(1);   // audio alert
        b.i32(2).f64(10).f64(1).f64(20).f64(3);
        b.i32(0);
    }
    addInput(b, version, in1);
    addInput(b, version, in2);
    addDataSettings(b, version, kFileSettings);
    return b;
}

} // namespace

TEST(ScanFile, WrittenFileStartsWithSignatureAndVersionAndEndsWithGraphBlocks)
{
    CCorvelDoc doc;
    FillScanData(doc.scan.input1, 5, 100.0, [](int a, int i) { return a + i; });
    CountingView views[4];
    for (auto& v : views)
        doc.addView(&v);
    const fs::path path = scratchFile("written.ts6");
    ASSERT_TRUE(doc.OnSaveDocument(path)) << doc.lastError();
    const auto bytes = readFile(path);
    ASSERT_GT(bytes.size(), 20u + 4 * kGraphLegacyBlockSize);
    EXPECT_TRUE(std::equal(ScanFile::kSignature.begin(), ScanFile::kSignature.end(), bytes.begin()));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 16, bytes.begin() + 20),
              (std::vector<std::uint8_t>{0xF7, 0xFF, 0xFF, 0xFF}));
    const auto& block = GraphLegacyBlock();
    for (int v = 0; v < 4; ++v) {
        const auto at = bytes.end() - (4 - v) * static_cast<std::ptrdiff_t>(kGraphLegacyBlockSize);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), at)) << "block " << v;
    }
    // Nothing of the temporary file is left beside the target.
    int files = 0;
    for (const auto& e : fs::directory_iterator(path.parent_path()))
        files += e.path().filename().string().rfind("written.ts6", 0) == 0;
    EXPECT_EQ(files, 1);
}

TEST(ScanFile, LayoutsOfEveryVersionFamilyReadToTheirValues)
{
    for (int version : {-9, -6, -2, 0}) {
        SCOPED_TRACE(version);
        InputLayout in1;
        in1.reserved = 0;
        InputLayout in2;
        in2.offset = 1000.0;
        in2.reserved = 1;
        const fs::path path = scratchFile("layout.ts6");
        auto layout = buildLayout(version, in1, in2);
        // Trailing graph blocks are never read.
        layout.raw(std::vector<std::uint8_t>(468 * 2, 0xAB));
        writeFile(path, layout.bytes);

        CCorvelDoc doc;
        CountingView view;
        doc.addView(&view);
        ScriptedUserInteraction ui;
        ASSERT_TRUE(doc.OnOpenDocument(path, &ui)) << doc.lastError();
        EXPECT_TRUE(ui.messages().empty());

        const SystemTime& t = doc.scan.acquisitionTime;
        EXPECT_EQ(t, (SystemTime{2026, 12, 0, 6, 13, 45, 30, 250}));
        const CScanConfiguration& c = doc.scan.configuration;
        EXPECT_EQ(c.Input1Mode, "Magnetometer");
        EXPECT_EQ(c.Input2DisplayType, "Time Domain");
        EXPECT_EQ(c.SampleInterval, 0.004);
        EXPECT_EQ(c.NoOfAverages, 4);
        EXPECT_EQ(c.Input2Maximum, 2.5);
        EXPECT_EQ(c.Input2SensorGain, 100);
        // Versions −8 and −9 read an older writer's 2 as the low pass; −5 … −7 keep what is stored.
        EXPECT_EQ(c.Filter, version <= -8 || version > -5 ? 1 : 2);
        EXPECT_EQ(c.CutOffFrequency, version <= -5 ? 7 : 2);
        EXPECT_EQ(c.ScanMode, version == 0 ? 0 : (version <= -6 ? 2 : 1));
        EXPECT_EQ(c.NumberofRuns, version <= -6 ? 9 : 5);
        EXPECT_EQ(c.Oversample, version <= -8 ? 1 : 0);
        EXPECT_EQ(c.Specification.applyTimeTest[0], version == 0 ? 0 : 1);
        EXPECT_EQ(c.Specification.audioAlert, version <= -8 ? 1 : 0);
        if (version != 0) {
            ASSERT_EQ(c.Specification.curve[0].size(), 2u);
            EXPECT_EQ(c.Specification.curve[0][1].intensity, 3.0);
            EXPECT_EQ(c.Specification.maximumExcursion[1], 0.75);
        }

        const ScanData& a = doc.scan.input1;
        const ScanData& b = doc.scan.input2;
        EXPECT_EQ(a.pointCount, 3);
        EXPECT_EQ(a.axisCount, 3);
        EXPECT_EQ(a.samplesAcquired, 3);
        EXPECT_EQ(a.averagesCompleted, 2);
        EXPECT_EQ(a.reservedFlag, version == 0 ? 1 : 0);
        EXPECT_EQ(b.reservedFlag, 1);
        EXPECT_EQ(a.timeAxis.get(2), 0.5);
        EXPECT_EQ(a.timeData[2].get(1), 21.0);
        EXPECT_EQ(b.timeData[0].get(2), 1002.0);

        expectDataSettings(doc.settings, version, kFileSettings);

        EXPECT_EQ(view.loadedPoints, 3);
        if (version <= -3) {
            // Stored amplitudes come back as they are.
            EXPECT_EQ(a.spectrumPointCount, 3);
            EXPECT_EQ(a.frequencyAxis.get(2), 4.0);
            EXPECT_EQ(a.spectrum[1].get(2), 104.0);
            EXPECT_EQ(view.updates, 0);
        } else {
            // Powers of old files: spectra recomputed from the time records.
            EXPECT_EQ(a.spectrumPointCount, 1024);
            EXPECT_GT(view.updates, 0);
            EXPECT_NEAR(a.frequencyAxis.get(1), 4.0 / 2048.0, 1e-12); // rows 0.25 s apart
        }
    }
}

TEST(ScanFile, OldPowersBecomeAmplitudesBeforeRecomputation)
{
    ByteBuilder b;
    InputLayout in;
    in.points = 2;
    in.samples = 2;
    addInput(b, -2, in);
    ScanData data;
    ArchiveReader archive(b.bytes);
    ScanFile::loadScanData(archive, data, -2);
    EXPECT_EQ(data.spectrum[1].get(1), std::sqrt(101.0));
    EXPECT_TRUE(archive.atEnd());
}

TEST(ScanFile, RoundTripKeepsDataFilterAndTimeFieldOrder)
{
    CCorvelDoc doc;
    doc.scan.acquisitionTime = SystemTime{2026, 12, 0, 6, 9, 8, 7, 654};
    doc.scan.configuration.Filter = 1;
    doc.scan.configuration.CutOffFrequency = 12;
    doc.scan.configuration.UseInput2 = 1;
    doc.scan.configuration.Specification.curve[1] = {{5.0, 0.5}, {50.0, 0.25}};
    doc.settings.Input1TTitle = "Feld über Zeit"; // a code-page character
    FillScanData(doc.scan.input1, 5000, 1000.0, [](int a, int i) { return Sine(1.0 + a, 0.01, i); });
    FillScanData(doc.scan.input2, 5000, 1000.0, [](int a, int i) { return a - i * 0.5; });
    doc.RecomputeSpectra();
    ASSERT_EQ(doc.scan.input1.spectrumPointCount, 1024);

    const fs::path path = scratchFile("round.ts6");
    ASSERT_TRUE(doc.OnSaveDocument(path));
    const auto bytes = readFile(path);
    // day, day of week, hour, milliseconds, minute, month, second, year
    const std::uint16_t expected[8] = {6, 0, 9, 654, 8, 12, 7, 2026};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(bytes[20 + 2 * i] | bytes[21 + 2 * i] << 8, expected[i]) << i;

    CCorvelDoc back;
    ASSERT_TRUE(back.OnOpenDocument(path, nullptr)) << back.lastError();
    EXPECT_EQ(back.scan.acquisitionTime, doc.scan.acquisitionTime);
    EXPECT_EQ(back.scan.configuration, doc.scan.configuration);
    EXPECT_EQ(back.settings.Input1TTitle, "Feld über Zeit");
    EXPECT_EQ(back.settings, doc.settings);
    for (int input = 0; input < 2; ++input) {
        const ScanData& x = doc.scan.input(input);
        const ScanData& y = back.scan.input(input);
        EXPECT_EQ(y.samplesAcquired, 5000);
        EXPECT_EQ(y.spectrumPointCount, 1024);
        for (std::uint32_t i = 0; i < 5000; i += 7) {
            ASSERT_EQ(y.timeAxis.get(i), x.timeAxis.get(i));
            ASSERT_EQ(y.timeData[2].get(i), x.timeData[2].get(i));
            ASSERT_EQ(y.frequencyAxis.get(i), x.frequencyAxis.get(i));
        }
        for (std::uint32_t k = 0; k < 1024; ++k)
            ASSERT_EQ(y.spectrum[1].get(k), x.spectrum[1].get(k));
    }
    EXPECT_EQ(back.pathName(), path);
}

TEST(ScanFile, FiveHundredSamplesStoreFiveHundredFrequencyRows)
{
    CCorvelDoc doc;
    FillScanData(doc.scan.input1, 500, 1000.0, [](int a, int i) { return Sine(1.0, 0.1 * (a + 1), i); });
    doc.RecomputeSpectra();
    ASSERT_EQ(doc.scan.input1.spectrumPointCount, 1024);
    const fs::path path = scratchFile("short.ts6");
    ASSERT_TRUE(doc.OnSaveDocument(path));

    // Both inputs' sections: input 1 with 500 time and 500 frequency rows of 4 doubles.
    ArchiveReader archive(path);
    std::uint8_t head[20];
    archive.readBytes(head, sizeof head);
    ScanFile::loadTime(archive);
    CScanConfiguration c;
    c.load(archive, -9);
    EXPECT_EQ(archive.readInt32(), 500);
    EXPECT_EQ(archive.readInt32(), 3);
    EXPECT_EQ(archive.readInt32(), 500);
    EXPECT_EQ(archive.readInt32(), 1024);
    archive.readInt32();
    archive.readByte();
    const std::uint64_t start = archive.position();
    std::vector<double> rows(500 * 4 * 2);
    archive.readDoubles(rows.data(), rows.size());
    EXPECT_EQ(archive.position() - start, 500u * 4 * 8 * 2);
    EXPECT_EQ(archive.readInt32(), 0); // input 2: no points

    CCorvelDoc back;
    ASSERT_TRUE(back.OnOpenDocument(path, nullptr));
    const ScanData& d = back.scan.input1;
    EXPECT_EQ(d.spectrumPointCount, 1024);
    EXPECT_EQ(d.spectrum[0].get(499), doc.scan.input1.spectrum[0].get(499));
    EXPECT_EQ(d.spectrum[0].get(500), 0.0); // not in the file
    EXPECT_NE(doc.scan.input1.spectrum[0].get(500), 0.0);
}

TEST(ScanFile, TruncationAtEveryFieldFailsAndLeavesTheDocumentAlone)
{
    InputLayout in;
    in.points = 2;
    in.samples = 2;
    const ByteBuilder full = buildLayout(-9, in, in);
    const fs::path path = scratchFile("cut.ts6");
    writeFile(path, full.bytes);
    {
        CCorvelDoc whole;
        ASSERT_TRUE(whole.OnOpenDocument(path, nullptr));
    }
    CCorvelDoc doc;
    doc.scan.configuration.Input1Mode = "Microphone";
    doc.settings.FFTK = 5;
    FillScanData(doc.scan.input1, 4, 10.0, [](int, int i) { return 7.0 + i; });
    std::vector<std::size_t> cuts = full.boundaries;
    cuts.push_back(0);
    cuts.push_back(10);
    for (std::size_t cut : cuts) {
        if (cut >= full.bytes.size()) continue;
        SCOPED_TRACE(cut);
        writeFile(path,
                  std::vector<std::uint8_t>(full.bytes.begin(), full.bytes.begin() + static_cast<long>(cut)));
        ScriptedUserInteraction ui;
        ASSERT_FALSE(doc.OnOpenDocument(path, &ui));
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].caption, "Error");
        EXPECT_EQ(doc.scan.configuration.Input1Mode, "Microphone");
        EXPECT_EQ(doc.settings.FFTK, 5);
        EXPECT_EQ(doc.scan.input1.samplesAcquired, 4);
        EXPECT_EQ(doc.scan.input1.timeData[0].get(3), 10.0);
    }
}

TEST(ScanFile, HostileCountsAndWrongSignaturesFailWithAMessage)
{
    ScriptedUserInteraction ui;
    const fs::path path = scratchFile("hostile.ts6");
    CCorvelDoc doc;

    writeFile(path, std::vector<std::uint8_t>(64, 0x11));
    EXPECT_FALSE(doc.OnOpenDocument(path, &ui));
    EXPECT_EQ(doc.fileInvalid, 1);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "The file is not a valid Tesselon-6 file");
    EXPECT_EQ(ui.messages()[0].icon(), FenmarlCommonDLL::platform::MB_ICONERROR_);

    writeFile(path, {0x7B, 0x96});
    EXPECT_FALSE(doc.OnOpenDocument(path, &ui));
    EXPECT_EQ(doc.fileInvalid, 1);

    InputLayout in;
    in.points = 1;
    in.samples = 1;
    auto patchPoints = [&](std::int32_t points, std::int32_t axes) {
        ByteBuilder b = buildLayout(-9, in, in);
        // Input 1's counts: points 1, axes 3, samples 1, spectrum 3, averages 2.
        std::size_t at = 0;
        for (std::size_t i = 0; i + 20 <= b.bytes.size(); ++i) {
            const std::uint8_t pattern[] = {1, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0};
            if (std::equal(std::begin(pattern), std::end(pattern), b.bytes.begin() + static_cast<long>(i))) {
                at = i;
                break;
            }
        }
        EXPECT_GT(at, 0u);
        for (int k = 0; k < 4; ++k) {
            b.bytes[at + k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(points) >> (8 * k));
            b.bytes[at + 4 + k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(axes) >> (8 * k));
        }
        return b.bytes;
    };
    for (auto [points, axes] : {std::pair{0x7FFFFFFF, 3}, std::pair{-1, 3}, std::pair{1, 7}, std::pair{1, -3},
                                std::pair{100000000, 0}}) {
        SCOPED_TRACE(std::to_string(points) + " " + std::to_string(axes));
        ui.clear();
        writeFile(path, patchPoints(points, axes));
        EXPECT_FALSE(doc.OnOpenDocument(path, &ui));
        EXPECT_EQ(doc.fileInvalid, 0);
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].text, CCorvelDoc::kDamagedFileMessage + path.string());
    }
    // Unknown version.
    ByteBuilder b = buildLayout(-9, in, in);
    b.bytes[16] = 0xF6; // −10
    writeFile(path, b.bytes);
    EXPECT_FALSE(doc.OnOpenDocument(path, &ui));
}

TEST(ScanFile, CountsNoWriterProducesAreRefusedAsDamaged)
{
    InputLayout in;
    in.points = 2;
    in.samples = 2;
    const ByteBuilder good = buildLayout(-9, in, in);
    // Input 1's counts: points 2, axes 3, samples 2, spectrum 3, averages 2.
    const std::uint8_t pattern[] = {2, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0};
    const auto found = std::search(good.bytes.begin(), good.bytes.end(), std::begin(pattern), std::end(pattern));
    ASSERT_NE(found, good.bytes.end());
    const auto counts = static_cast<std::size_t>(found - good.bytes.begin());
    // FFTK, then overlap, two unit ints and four doubles end a version −9 file.
    const std::size_t fftk = good.bytes.size() - 4 * 4 - 4 * 8;
    auto patched = [&](std::size_t at, std::int32_t value) {
        std::vector<std::uint8_t> bytes = good.bytes;
        for (int k = 0; k < 4; ++k)
            bytes[at + k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * k));
        return bytes;
    };
    auto trailing = [&](std::size_t extra) {
        std::vector<std::uint8_t> bytes = good.bytes;
        bytes.insert(bytes.end(), extra, 0xAB);
        return bytes;
    };
    const std::pair<const char*, std::vector<std::uint8_t>> refused[] = {
        {"axes 1", patched(counts + 4, 1)},
        {"axes 2", patched(counts + 4, 2)},
        {"acquired above allocated", patched(counts + 8, 3)},
        {"negative acquired", patched(counts + 8, -1)},
        {"spectrum points 1025", patched(counts + 12, 1025)},
        {"point count changed", patched(counts, 1)},
        {"FFTK 0", patched(fftk, 0)},
        {"FFTK 17", patched(fftk, 17)},
        {"FFTK 1062546964", patched(fftk, 1062546964)},
        {"1 byte after the settings", trailing(1)},
        {"half a graph block", trailing(234)},
        {"two graph blocks and a byte", trailing(2 * kGraphLegacyBlockSize + 1)},
    };
    const fs::path path = scratchFile("impossible.ts6");
    CCorvelDoc doc;
    doc.settings.FFTK = 5;
    FillScanData(doc.scan.input1, 4, 10.0, [](int, int i) { return 7.0 + i; });
    for (const auto& [what, bytes] : refused) {
        SCOPED_TRACE(what);
        writeFile(path, bytes);
        ScriptedUserInteraction ui;
        EXPECT_FALSE(doc.OnOpenDocument(path, &ui));
        EXPECT_EQ(doc.fileInvalid, 0);
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].text, CCorvelDoc::kDamagedFileMessage + path.string());
        EXPECT_EQ(ui.messages()[0].caption, "Error");
        EXPECT_EQ(doc.settings.FFTK, 5);
        EXPECT_EQ(doc.scan.input1.pointCount, 4);
    }
    // What writers produce: no graph blocks, or any number of whole ones; the
    // extremes of every count.
    const std::pair<const char*, std::vector<std::uint8_t>> accepted[] = {
        {"no graph blocks", good.bytes},
        {"one graph block", trailing(kGraphLegacyBlockSize)},
        {"four graph blocks", trailing(4 * kGraphLegacyBlockSize)},
        {"FFTK 16", patched(fftk, 16)},
        {"spectrum points 1024", patched(counts + 12, 1024)},
        {"nothing acquired", patched(counts + 8, 0)},
    };
    for (const auto& [what, bytes] : accepted) {
        SCOPED_TRACE(what);
        writeFile(path, bytes);
        CCorvelDoc open;
        EXPECT_TRUE(open.OnOpenDocument(path, nullptr)) << open.lastError();
    }
}

TEST(ScanFile, TheSampleFileOfEveryFormatVersionStillOpens)
{
    // One file per version (0, -1 ... -9, and -9 with graph blocks), as the
    // fuzzer starts from them: the checks above must refuse none of them.
    const fs::path folder = fs::path(TESSELON_SOURCE_DIR) / "fuzz" / "seeds" / "ts6_load";
    int opened = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        CCorvelDoc doc;
        ScriptedUserInteraction ui;
        EXPECT_TRUE(doc.OnOpenDocument(entry.path(), &ui)) << doc.lastError();
        EXPECT_TRUE(ui.messages().empty());
        ++opened;
    }
    EXPECT_GE(opened, 11);
}

TEST(ScanFile, FailedSaveKeepsTheOldFile)
{
    class FailingView : public DocumentView
    {
    public:
        void onDocumentUpdate(CCorvelDoc&) override {}
        void storeGraph(ArchiveWriter&) override
        {
            throw ArchiveException(ArchiveException::Cause::WriteFailed, "disk full");
        }
    };
    const fs::path path = scratchFile("keep.ts6");
    CCorvelDoc doc;
    FillScanData(doc.scan.input1, 10, 10.0, [](int, int i) { return i; });
    ASSERT_TRUE(doc.OnSaveDocument(path));
    const auto before = readFile(path);
    FailingView view;
    doc.addView(&view);
    FillScanData(doc.scan.input1, 20, 10.0, [](int, int i) { return -i; });
    EXPECT_FALSE(doc.OnSaveDocument(path));
    EXPECT_EQ(doc.lastError(), "disk full");
    EXPECT_EQ(readFile(path), before);
    int files = 0;
    for (const auto& e : fs::directory_iterator(path.parent_path()))
        files += e.path().filename().string().find("keep.ts6") != std::string::npos;
    EXPECT_EQ(files, 1);
}

// Loading leaves runs of zeros unwritten: a file with sparse values, negative
// zeros and rows past the spectrum, read into a document that held a longer
// record, must save back to the same bytes, and the record lives in memory.
TEST(ScanFile, LoadedRecordSavesBackToTheSameBytes)
{
    CCorvelDoc doc;
    doc.scan.configuration.UseInput2 = 1;
    FillScanData(doc.scan.input1, 30000, 1000.0, [](int a, int i) { return Sine(1.0 + a, 0.01, i); });
    FillScanData(doc.scan.input2, 30000, 1000.0, [](int a, int i) { return a - i * 0.5; });
    doc.RecomputeSpectra();
    ScanData& d = doc.scan.input1;
    d.spectrum[0][20000] = 3.5;   // alone in its block, past the computed points
    d.spectrum[1][9000] = -0.0;   // a negative zero keeps its sign
    d.spectrum[2][29999] = -1e-300;
    for (std::uint32_t k = 0; k < 1024; k += 2)
        d.spectrum[2][k] = 0.0;   // zeros inside the computed points
    const fs::path first = scratchFile("sparse.ts6");
    ASSERT_TRUE(doc.OnSaveDocument(first));

    CCorvelDoc back;
    FillScanData(back.scan.input1, 50000, 10.0, [](int, int) { return 9.0; }); // an older, longer record
    ASSERT_TRUE(back.OnOpenDocument(first, nullptr)) << back.lastError();
    EXPECT_TRUE(back.scan.input1.timeData[0].isInMemory());
    EXPECT_TRUE(back.scan.input1.timeAxis.isInMemory());
    EXPECT_EQ(back.scan.input1.spectrum[0].get(20000), 3.5);
    EXPECT_TRUE(std::signbit(back.scan.input1.spectrum[1].get(9000)));
    EXPECT_EQ(back.scan.input1.timeAxis.get(40000), 0.0); // nothing of the older record
    const fs::path second = scratchFile("sparse-again.ts6");
    ASSERT_TRUE(back.OnSaveDocument(second));
    EXPECT_EQ(readFile(first), readFile(second));
}
