#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/DataExport.h"
#include "app/acquisition/ScanExportFormats.h"

#include "ExportedText.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A minimal RFC 4180 reader for the checks: fields of each record.
std::vector<std::vector<std::string>> parseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (quoted) {
            if (ch == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                records.back().back().push_back('"');
                ++i;
            } else if (ch == '"') {
                quoted = false;
            } else {
                records.back().back().push_back(ch);
            }
        } else if (ch == '"') {
            quoted = true;
        } else if (ch == ',') {
            records.back().emplace_back();
        } else if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            records.emplace_back(1);
        } else {
            records.back().back().push_back(ch);
        }
    }
    if (records.back().size() == 1 && records.back()[0].empty()) records.pop_back();
    return records;
}

std::string printfG(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

std::uint32_t le32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(k)]);
    return v;
}

std::uint16_t le16(const std::string& s, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}

void twoInputDocument(CCorvelDoc& doc)
{
    doc.scan.configuration.UseInput1 = 1;
    doc.scan.configuration.UseInput2 = 1;
    doc.scan.configuration.Input1Mode = "Magnetometer";
    doc.scan.configuration.Input2Mode = "Microphone";
    doc.scan.configuration.Input1SensorGain = 10;
    doc.settings.MagneticUnits = 0;
    doc.settings.Input1MagneticScaling = 2.5;
    doc.settings.Input2MicrophoneScaling = 0.05;
    doc.scan.acquisitionTime = SystemTime{2026, 12, 3, 9, 8, 7, 6, 5};
    FillScanData(doc.scan.input1, 1500, 1000.0,
                 [](int a, int i) { return Sine(0.1 * (a + 1), 0.05, i) + 0.01; });
    FillScanData(doc.scan.input2, 1500, 1000.0, [](int a, int i) { return Sine(0.2, 0.01 * (a + 1), i); });
    doc.RecomputeSpectra();
}

} // namespace

TEST(ScanExportFormats, CsvFieldsFollowRfc4180)
{
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(CsvField(" padded"), "\" padded\"");
    EXPECT_EQ(CsvField(""), "");
    // Numbers read back to the same double.
    for (double v : {0.1, 1.0 / 3.0, -2.5e-310, 123456789.123456789, 1e300}) {
        EXPECT_EQ(std::strtod(CsvNumber(v).c_str(), nullptr), v) << CsvNumber(v);
        EXPECT_EQ(CsvNumber(v).find(','), std::string::npos);
    }
}

TEST(ScanExportFormats, CsvHoldsTheHeaderBlockAndTheDatNumbersAtFullPrecision)
{
    CCorvelDoc doc;
    twoInputDocument(doc);
    doc.settings.FFTWindowing = 5;
    const fs::path dir = fs::temp_directory_path();
    const fs::path csv = dir / "scan.csv";
    const fs::path dat = dir / "scan.dat";
    std::string error;
    ASSERT_TRUE(ExportCsvFile(doc, csv, &error)) << error;
    ASSERT_TRUE(doc.AutomaticExport(dir / "scan.ts6", nullptr));

    const std::string text = readText(csv);
    const auto records = parseCsv(text);
    // Header block: key, value rows up to the blank record.
    std::map<std::string, std::string> header;
    std::size_t r = 0;
    for (; r < records.size() && !(records[r].size() == 1 && records[r][0].empty()); ++r) {
        ASSERT_EQ(records[r].size(), 2u) << r;
        header[records[r][0]] = records[r][1];
    }
    EXPECT_EQ(header["Scan started"], "2026-12-09 08:07:06.005");
    EXPECT_EQ(header["Sample interval (s)"], "0.001");
    EXPECT_EQ(header["Window"], "Flat Top");
    EXPECT_EQ(header["FFTK"], "2");
    EXPECT_EQ(header["Overlap"], "Yes");
    EXPECT_EQ(header["Input 1 sensor type"], "Magnetometer");
    EXPECT_EQ(header["Input 1 time unit"], "nT");
    EXPECT_EQ(header["Input 1 spectrum unit"], "nTrms");
    EXPECT_EQ(header["Input 1 scaling"], "2.5");
    EXPECT_EQ(header["Input 1 sensor gain"], "10");
    EXPECT_EQ(header["Input 2 spectrum unit"], "dB SPL");
    EXPECT_EQ(header["Input 2 scaling unit"], "V/Pa (divides)");
    ASSERT_LT(r + 1, records.size());
    const auto& columns = records[r + 1];
    ASSERT_EQ(columns.size(), 16u);
    EXPECT_EQ(columns[0], "Input 1 Time (s)");
    EXPECT_EQ(columns[1], "Input 1 X (nT)");
    EXPECT_EQ(columns[5], "Input 1 X (nTrms)");
    EXPECT_EQ(columns[13], "Input 2 X (dB SPL)");

    // Every table record has all columns; its numbers print as the .dat's.
    std::ifstream datIn(dat);
    std::string line;
    std::getline(datIn, line); // header line
    std::getline(datIn, line); // column line
    std::size_t rows = 0;
    for (std::size_t i = r + 2; i < records.size(); ++i, ++rows) {
        ASSERT_EQ(records[i].size(), 16u) << i;
        ASSERT_TRUE(std::getline(datIn, line));
        const auto dat = tabFields(line);
        // .dat: time %.10f, values %g; frequency block (4) only where the spectrum has points.
        char t[64];
        std::snprintf(t, sizeof t, "%.10f", std::strtod(records[i][0].c_str(), nullptr));
        EXPECT_EQ(dat[0], t);
        const auto expectSameNumbers = [&](std::size_t from, std::size_t to) {
            for (std::size_t c = from; c < to; ++c)
                EXPECT_EQ(dat[c], printfG(std::strtod(records[i][c].c_str(), nullptr)));
        };
        expectSameNumbers(1, 4);
        if (!records[i][4].empty()) {
            expectSameNumbers(4, 8);
            expectSameNumbers(12, 16);
        } else {
            EXPECT_TRUE(records[i][12].empty());
        }
    }
    EXPECT_EQ(rows, 1500u);
    EXPECT_FALSE(std::getline(datIn, line));
}

TEST(ScanExportFormats, WavIsFloatWithOneChannelPerAxisAndItsScalingInTheComment)
{
    CCorvelDoc doc;
    twoInputDocument(doc);
    const fs::path wav = fs::temp_directory_path() / "scan.wav";
    std::string error;
    ASSERT_TRUE(ExportWavFile(doc, wav, &error)) << error;
    const std::string b = readText(wav);
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(b.substr(8, 4), "WAVE");
    // Walk the chunks.
    std::map<std::string, std::pair<std::size_t, std::uint32_t>> chunks;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::uint32_t size = le32(b, at + 4);
        chunks[b.substr(at, 4)] = {at + 8, size};
        at += 8 + size + (size & 1);
    }
    ASSERT_TRUE(chunks.count("fmt ") && chunks.count("data") && chunks.count("LIST"));
    const std::size_t fmt = chunks["fmt "].first;
    EXPECT_EQ(le16(b, fmt), 3);                 // IEEE float
    EXPECT_EQ(le16(b, fmt + 2), 6);             // channels
    EXPECT_EQ(le32(b, fmt + 4), 1000u);         // rate
    EXPECT_EQ(le32(b, fmt + 8), 1000u * 6 * 4); // bytes per second
    EXPECT_EQ(le16(b, fmt + 12), 24);           // block align
    EXPECT_EQ(le16(b, fmt + 14), 32);           // bits
    EXPECT_EQ(chunks["data"].second, 1500u * 24);
    const std::string list = b.substr(chunks["LIST"].first, chunks["LIST"].second);
    EXPECT_EQ(list.substr(0, 4), "INFO");
    const std::size_t icmt = list.find("ICMT");
    ASSERT_NE(icmt, std::string::npos);
    const std::string comment = list.substr(icmt + 8, le32(list, icmt + 4) - 1);
    // Gain 10: full scale is 1.024 V, × 2.5 nT/V; the microphone divides by 0.05 V/Pa.
    EXPECT_NE(comment.find("Channel 1: Input 1 X (nT) = sample * 2.56\n"), std::string::npos) << comment;
    const std::string six = "Channel 6: Input 2 Z (Pa) = sample * ";
    const std::size_t at = comment.find(six);
    ASSERT_NE(at, std::string::npos) << comment;
    EXPECT_NEAR(std::strtod(comment.c_str() + at + six.size(), nullptr), 204.8, 1e-9);

    // Values: sample × toVolts is the stored record, to float precision.
    const auto channels = WavChannels(doc);
    ASSERT_EQ(channels.size(), 6u);
    const std::size_t data = chunks["data"].first;
    for (std::uint32_t i : {0u, 1u, 777u, 1499u})
        for (std::size_t c = 0; c < 6; ++c) {
            float f;
            const std::uint32_t bits = le32(b, data + (i * 6 + c) * 4);
            std::memcpy(&f, &bits, 4);
            const double stored =
                doc.scan.input(channels[c].input).timeData[static_cast<std::size_t>(channels[c].axis)].get(i);
            EXPECT_NEAR(f * channels[c].toVolts, stored, 1e-6 * std::max(1.0, std::abs(stored)))
                << i << " " << c;
        }
}

TEST(ScanExportFormats, FailuresNameTheFileAndKeepWhatWasThere)
{
    CCorvelDoc doc;
    twoInputDocument(doc);
    std::string error;
    EXPECT_FALSE(ExportCsvFile(doc, "/nonexistent-folder/x.csv", &error));
    EXPECT_NE(error.find("/nonexistent-folder/x.csv: "), std::string::npos) << error;
    EXPECT_FALSE(ExportWavFile(doc, "/nonexistent-folder/x.wav", &error));

    // Nothing in use: refused, an existing file stays as it was.
    const fs::path keep = fs::temp_directory_path() / "keep.csv";
    {
        std::ofstream(keep) << "old";
    }
    doc.scan.configuration.UseInput1 = 0;
    doc.scan.configuration.UseInput2 = 0;
    EXPECT_FALSE(ExportCsvFile(doc, keep, &error));
    EXPECT_NE(error.find("no input group"), std::string::npos);
    EXPECT_FALSE(ExportWavFile(doc, keep, &error));
    EXPECT_EQ(readText(keep), "old");
}
