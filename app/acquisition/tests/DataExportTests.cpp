#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/DataExport.h"
#include "app/acquisition/Spectrum.h"
#include "app/base/ScriptedUserInteraction.h"

#include "ExportedText.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string printfG(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%g\t", v);
    return b;
}

// A document whose input groups hold `samples` rows with spectra computed.
void fillDocument(CCorvelDoc& doc, int samples1, int samples2)
{
    FillScanData(doc.scan.input1, samples1, 1000.0,
                 [](int a, int i) { return Sine(1.0 + a, 0.05, i) + 0.1; });
    FillScanData(doc.scan.input2, samples2, 1000.0, [](int a, int i) { return a * 0.5 + i * 1e-3; });
    doc.RecomputeSpectra();
}

} // namespace

TEST(DataExport, NumbersAreByteForByteWhatPrintfWrites)
{
    std::mt19937_64 gen(5);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  0.1,
                                  1e-5,
                                  123456.5,
                                  999999.5,
                                  1e300,
                                  -2.5e-310,
                                  5e-324,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN()};
    std::uniform_int_distribution<std::uint64_t> bits;
    std::uniform_real_distribution<double> plain(-1e4, 1e4);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t b = bits(gen);
        double v;
        std::memcpy(&v, &b, sizeof v);
        values.push_back(v);
        values.push_back(plain(gen));
    }
    for (double v : values) {
        ExportText out;
        out.general(v);
        out.fixed10(v);
        char expected[400];
        std::snprintf(expected, sizeof expected, "%g\t%.10f\t", v, v);
        ASSERT_EQ(out.text(), expected) << std::hexfloat << v;
    }
}

TEST(DataExport, SuffixesHeaderAndExportPath)
{
    EXPECT_EQ(FrequencySuffix(UnitSuffix("Magnetometer", 0, 3), 1), " (nT / sqrt(Hz))");
    EXPECT_EQ(FrequencySuffix(UnitSuffix("Accelerometer", 0, 3), 3), " (mms-2)");
    EXPECT_EQ(UnitSuffix("Microphone", 0, 3), " (Pa)");
    EXPECT_EQ(ExportHeaderLine(SystemTime{2026, 12, 0, 6, 9, 5, 3, 0}),
              "Scan started at 09:05:03 06/12/2026\n");
    EXPECT_EQ(AutomaticExportPath("/data/Data_1.ts6"), fs::path("/data/Data_1.dat"));
    EXPECT_EQ(AutomaticExportPath("/data.d/scan"), fs::path("/data.d/scan.dat"));
}

TEST(DataExport, RowsCarryFrequencyBlocksOnlyWhileSpectrumPointsLast)
{
    for (int samples : {100, 5000}) {
        SCOPED_TRACE(samples);
        CCorvelDoc doc;
        doc.scan.configuration.Input1Mode = "Magnetometer";
        doc.settings.MagneticUnits = 0;
        doc.settings.Input1Scaling = 1;
        doc.settings.Input1MagneticScaling = 2.0;
        fillDocument(doc, samples, 10);
        const auto lines = splitLines(doc.CopyData(0));
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(samples) + 1);
        EXPECT_EQ(lines[0],
                  "Time (s)\tx (nT)\ty (nT)\tz (nT)\tFrequency (Hz)\tx (nT / sqrt(Hz))\ty (nT / sqrt(Hz))"
                  "\tz (nT / sqrt(Hz))");
        int withBlocks = 0;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const auto f = tabFields(lines[i]);
            ASSERT_TRUE(f.size() == 5 || f.size() == 9) << lines[i];
            EXPECT_EQ(f.back(), ""); // every field is followed by a tab
            withBlocks += f.size() == 9;
        }
        EXPECT_EQ(withBlocks, std::min(samples, 1022));
        // Row 7: scaled time values and the third spectrum point.
        const auto row = tabFields(lines[8]);
        const ScanData& d = doc.scan.input1;
        EXPECT_EQ(row[0] + "\t", printfG(d.timeAxis.get(7)));
        EXPECT_EQ(row[2] + "\t", printfG(2.0 * d.timeData[1].get(7)));
        EXPECT_EQ(row[4] + "\t", printfG(d.frequencyAxis.get(9)));
        EXPECT_EQ(row[7] + "\t", printfG(2.0 * d.spectrum[2].get(9)));
    }
}

TEST(DataExport, MicrophoneColumnsSayPascalsWhileSpectraAreDecibels)
{
    CCorvelDoc doc;
    doc.scan.configuration.Input1Mode = "Microphone";
    doc.settings.Input1MicrophoneScaling = 0.05;
    doc.settings.Input1Scaling = 3;
    fillDocument(doc, 3000, 10);
    const auto lines = splitLines(doc.CopyData(0));
    EXPECT_EQ(lines[0], "Time (s)\tx (Pa)\ty (Pa)\tz (Pa)\tFrequency (Hz)\tx (Pa)\ty (Pa)\tz (Pa)");
    const auto row = tabFields(lines[1]);
    const ScanData& d = doc.scan.input1;
    // Time in pascals (volts ÷ V/Pa), spectrum as sound pressure level.
    EXPECT_EQ(row[1] + "\t", printfG(d.timeData[0].get(0) / 0.05));
    const double s = d.spectrum[0].get(2);
    EXPECT_EQ(row[5] + "\t", printfG(s > 0 ? 20 * std::log10(s) + 94 : 0.0));
}

TEST(DataExport, ExportFileHasHeaderAndPreciseTimes)
{
    CCorvelDoc doc;
    doc.scan.acquisitionTime = SystemTime{2026, 1, 0, 2, 3, 4, 5, 6};
    fillDocument(doc, 50, 10);
    const fs::path path = fs::temp_directory_path() / "input1.Dat";
    ScriptedUserInteraction ui;
    ASSERT_TRUE(doc.ExportData(path, 0, &ui));
    const auto lines = splitLines(readText(path));
    ASSERT_EQ(lines.size(), 52u);
    EXPECT_EQ(lines[0], "Scan started at 03:04:05 02/01/2026");
    EXPECT_EQ(tabFields(lines[3])[0], "0.0010000000"); // row 1
    EXPECT_TRUE(ui.messages().empty());

    EXPECT_FALSE(doc.ExportData(fs::temp_directory_path() / "missing" / "x.Dat", 0, &ui));
    ASSERT_EQ(ui.messages().size(), 1u);
    // The documented message, then the file and the system's reason.
    EXPECT_EQ(ui.messages()[0].text, "Cannot open data file\n" +
                                         (fs::temp_directory_path() / "missing" / "x.Dat").string() +
                                         ": No such file or directory");
    EXPECT_EQ(ui.messages()[0].caption, "Export data");
    EXPECT_EQ(ui.messages()[0].icon(), FenmarlCommonDLL::platform::MB_ICONEXCLAMATION_);
}

TEST(DataExport, AutomaticExportPicksTheInputsInUseAndKeepsColumnsAligned)
{
    CCorvelDoc doc;
    doc.scan.configuration.UseInput1 = 1;
    doc.scan.configuration.UseInput2 = 1;
    doc.scan.configuration.Input2Mode = "Magnetometer";
    doc.settings.MagneticUnits = 1;
    fillDocument(doc, 1500, 1500);
    const fs::path scan = fs::temp_directory_path() / "Data_1.ts6";
    ASSERT_TRUE(doc.AutomaticExport(scan, nullptr));
    const auto lines = splitLines(readText(fs::temp_directory_path() / "Data_1.dat"));
    ASSERT_EQ(lines.size(), 1502u);
    EXPECT_EQ(lines[1],
              "Input1Time (s)\tx (ug)\ty (ug)\tz (ug)\tInput1Frequency (Hz)\tx (ug)\ty (ug)\tz (ug)\t"
              "Input2Time (s)\tx (uT)\ty (uT)\tz (uT)\tInput2Frequency (Hz)\tx (uT)\ty (uT)\tz (uT)");
    const auto full = tabFields(lines[2]);
    EXPECT_EQ(full.size(), 17u);
    EXPECT_EQ(full[0], "0.0000000000");
    EXPECT_EQ(full[8], "0.0000000000");
    // Past the spectrum: input 1's frequency block is four tabs, input 2's is left out.
    const auto late = tabFields(lines[1100]);
    ASSERT_EQ(late.size(), 13u);
    EXPECT_EQ(late[4], "");
    EXPECT_EQ(late[7], "");
    EXPECT_EQ(late[8], "1.0980000000"); // row 1098

    // Only input 2 in use: its one-input table with "%g" times.
    doc.scan.configuration.UseInput1 = 0;
    ASSERT_TRUE(doc.AutomaticExport(scan, nullptr));
    const auto single = splitLines(readText(fs::temp_directory_path() / "Data_1.dat"));
    EXPECT_EQ(single.size(), 1502u);
    EXPECT_EQ(tabFields(single[3])[0], "0.001");
    doc.scan.configuration.UseInput2 = 0;
    EXPECT_FALSE(doc.AutomaticExport(scan, nullptr));
}

TEST(DataExport, ShorterSecondInputKeepsAlignmentAndLosesNoRows)
{
    CCorvelDoc doc;
    doc.scan.configuration.UseInput2 = 1;
    fillDocument(doc, 20, 30);
    ExportText out;
    const ExportInput a = doc.exportInput(0);
    const ExportInput b = doc.exportInput(1);
    WriteTwoInputTable(out, a, b);
    const auto lines = splitLines(out.text());
    ASSERT_EQ(lines.size(), 31u);
    const auto row = tabFields(lines[25]); // input 1 has no row 24
    ASSERT_EQ(row.size(), 17u);
    EXPECT_EQ(row[0], "");
    EXPECT_EQ(row[8], "0.0240000000");
}

// The table converts its rows block by block from the record; across block
// boundaries and in every display mode it must show what the whole-record
// display conversion gives, and leave the same offsets behind.
TEST(DataExport, RowsStreamedInBlocksMatchTheWholeRecordConversion)
{
    for (const char* mode : {"Normal", "Mean Zero", "Offset To Zero"}) {
        for (const char* sensor : {"Accelerometer", "Microphone"}) {
            CCorvelDoc doc;
            doc.scan.configuration.UseInput2 = 1;
            fillDocument(doc, 20000, 17000);
            doc.scan.configuration.Input1DisplayMode = doc.scan.configuration.Input2DisplayMode = mode;
            doc.scan.configuration.Input1Mode = doc.scan.configuration.Input2Mode = sensor;
            const ExportInput a = doc.exportInput(0);
            const ExportInput b = doc.exportInput(1);

            std::array<std::vector<double>, 2> expected;
            std::array<std::array<double, 4>, 2> offsets;
            for (int input = 0; input < 2; ++input) {
                const ExportInput& e = input == 0 ? a : b;
                MappedSeries x;
                std::array<MappedSeries, 3> y;
                ConvertTimeForDisplay(*e.data, mode, 0, e.sensorType == "Microphone", e.scale, x,
                                      {&y[0], &y[1], &y[2]});
                offsets[input] = e.data->displayOffset;
                std::fill(e.data->displayOffset.begin(), e.data->displayOffset.begin() + 3, -1.0);
                for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(e.data->samplesAcquired); ++i)
                    expected[input].push_back(y[i % 3].get(i)); // one axis per row is enough
            }
            ExportText out;
            WriteTwoInputTable(out, a, b);
            const auto lines = splitLines(out.text());
            ASSERT_EQ(lines.size(), 20001u);
            for (std::size_t i = 0; i < 20000; i += 997) {
                const auto row = tabFields(lines[i + 1]);
                ASSERT_GE(row.size(), i < 17000 ? 13u : 9u);
                EXPECT_EQ(row[1 + i % 3] + "\t", printfG(expected[0][i])) << mode << " row " << i;
                if (i < 17000) {
                    EXPECT_EQ(row[9 + i % 3] + "\t", printfG(expected[1][i])) << mode << " row " << i;
                }
            }
            // Rows on both sides of the block boundary.
            for (std::size_t i : {8191u, 8192u, 16383u, 16384u}) {
                const auto row = tabFields(lines[i + 1]);
                EXPECT_EQ(row[1 + i % 3] + "\t", printfG(expected[0][i])) << mode << " row " << i;
            }
            EXPECT_EQ(a.data->displayOffset, offsets[0]) << mode;
            EXPECT_EQ(b.data->displayOffset, offsets[1]) << mode;
        }
    }
}
