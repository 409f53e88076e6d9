#include "app/acquisition/CCorvelDoc.h"
#include "app/shell/ExportCommand.h"

#include "app/acquisition/tests/TestSignals.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(ExportCommand, DefaultOutputsSitBesideTheScanFile)
{
    EXPECT_EQ(DefaultExportPath("/d/scan.ts6", "csv"), fs::path("/d/scan.csv"));
    EXPECT_EQ(DefaultExportPath("/d/scan.TS6", "wav"), fs::path("/d/scan.wav"));
    EXPECT_EQ(DefaultExportPath("/d/scan.ts6", "dat"), fs::path("/d/scan.dat"));
    EXPECT_EQ(DefaultExportPath("/d/scan", "csv"), fs::path("/d/scan.csv"));
}

TEST(ExportCommand, WritesEachFormatAndRefusesWhatItCannotDo)
{
    const fs::path dir = fs::temp_directory_path();
    CCorvelDoc doc;
    FillScanData(doc.scan.input1, 300, 1000.0, [](int a, int i) { return Sine(1.0 + a, 0.05, i); });
    doc.RecomputeSpectra();
    ASSERT_TRUE(doc.OnSaveDocument(dir / "scan.ts6"));

    std::string message;
    for (const char* format : {"csv", "wav", "dat"}) {
        EXPECT_EQ(RunExportCommand({format, (dir / "scan.ts6").string()}, message), 0) << message;
        EXPECT_GT(fs::file_size(dir / (std::string("scan.") + format)), 100u) << format;
    }
    EXPECT_EQ(RunExportCommand({"wav", (dir / "scan.ts6").string(), (dir / "other.wav").string()}, message),
              0);
    EXPECT_TRUE(fs::exists(dir / "other.wav"));

    EXPECT_EQ(RunExportCommand({}, message), 2);
    EXPECT_NE(message.find("usage: tesselon-6 --export"), std::string::npos);
    EXPECT_EQ(RunExportCommand({"xls", (dir / "scan.ts6").string()}, message), 2);
    EXPECT_NE(message.find("\"xls\""), std::string::npos);
    EXPECT_EQ(RunExportCommand({"csv", (dir / "missing.ts6").string()}, message), 1);
    EXPECT_NE(message.find("missing.ts6"), std::string::npos);

    // Never over the scan file itself, also when spelled differently.
    const auto before = fs::file_size(dir / "scan.ts6");
    EXPECT_EQ(
        RunExportCommand({"dat", (dir / "scan.ts6").string(), (dir / "." / "scan.ts6").string()}, message),
        1);
    EXPECT_EQ(fs::file_size(dir / "scan.ts6"), before);

    // Not a scan file: the documented message, exit 1, nothing written.
    {
        std::ofstream(dir / "bad.ts6") << "not a scan file at all";
    }
    EXPECT_EQ(RunExportCommand({"csv", (dir / "bad.ts6").string()}, message), 1);
    EXPECT_NE(message.find("The file is not a valid Tesselon-6 file"), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(dir / "bad.csv"));

    // An output folder that does not exist: the path and the reason.
    EXPECT_EQ(RunExportCommand({"csv", (dir / "scan.ts6").string(), "/nonexistent-dir/x.csv"}, message), 1);
    EXPECT_NE(message.find("/nonexistent-dir/x.csv: "), std::string::npos) << message;
}
