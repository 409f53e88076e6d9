#include "app/acquisition/gui/ExportFormatCommands.h"
#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/tests/TestSignals.h"
#include "app/base/ScriptedUserInteraction.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using ExportFormatCommands::Format;

TEST(ExportFormatCommands, SaveDialogThenTheWholeScanOrTheReasonItFailed)
{
    CCorvelDoc doc;
    FillScanData(doc.scan.input1, 500, 1000.0, [](int a, int i) { return Sine(1.0 + a, 0.05, i); });
    doc.RecomputeSpectra();
    doc.setPathName("/somewhere/run7.ts6");
    const fs::path dir = fs::temp_directory_path();

    ScriptedUserInteraction ui;
    ui.queueFile(dir / "out.csv");
    ui.queueFile(dir / "out.wav");
    EXPECT_TRUE(ExportFormatCommands::exportScan(doc, Format::Csv, ui));
    EXPECT_TRUE(ExportFormatCommands::exportScan(doc, Format::Wav, ui));
    EXPECT_GT(fs::file_size(dir / "out.csv"), 500u);
    // Three float channels of 500 frames after the header chunks.
    EXPECT_GT(fs::file_size(dir / "out.wav"), 500u * 3u * 4u + 44u);
    const auto requests = ui.fileRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].save && requests[0].overwritePrompt);
    EXPECT_EQ(requests[0].defaultExtension, "csv");
    EXPECT_EQ(requests[0].filter, "CSV files (*.csv)|*.csv|");
    EXPECT_EQ(requests[0].initialFileName, "run7.csv");
    EXPECT_EQ(requests[0].initialFolder, fs::path("/somewhere"));
    EXPECT_EQ(requests[1].initialFileName, "run7.wav");
    EXPECT_TRUE(ui.messages().empty());

    // Cancelled: nothing written, nothing shown.
    ui.queueFiles({});
    EXPECT_FALSE(ExportFormatCommands::exportScan(doc, Format::Csv, ui));
    EXPECT_TRUE(ui.messages().empty());

    // A folder that does not exist: a message with the file and the reason.
    ui.queueFile("/nonexistent-dir/x.wav");
    EXPECT_FALSE(ExportFormatCommands::exportScan(doc, Format::Wav, ui));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Export WAV");
    EXPECT_NE(ui.messages()[0].text.find("/nonexistent-dir/x.wav: No such file or directory"),
              std::string::npos)
        << ui.messages()[0].text;
}
