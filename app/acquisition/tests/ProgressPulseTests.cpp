#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/DataExport.h"
#include "app/acquisition/ProgressPulse.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

// Saving and exporting a long record give the event loop a turn every block
// of rows (8192), on the thread that asked for it and on no other.
TEST(ProgressPulse, SaveAndExportPulseEveryBlockOnTheInstallingThreadOnly)
{
    CCorvelDoc doc;
    doc.scan.configuration.UseInput2 = 1;
    FillScanData(doc.scan.input1, 50000, 1000.0, [](int a, int i) { return Sine(1.0 + a, 0.01, i); });
    FillScanData(doc.scan.input2, 50000, 1000.0, [](int a, int i) { return a + i * 1e-3; });
    doc.RecomputeSpectra();
    const fs::path scan = fs::temp_directory_path() / "pulse.ts6";

    int pulses = 0;
    SetProgressPulse([&] { ++pulses; });
    ASSERT_TRUE(doc.OnSaveDocument(scan));
    // Two inputs, each a time and a frequency section of 50000 rows.
    EXPECT_GE(pulses, 4 * (50000 / 8192));
    pulses = 0;
    ASSERT_TRUE(doc.AutomaticExport(scan, nullptr));
    EXPECT_GE(pulses, 50000 / 8192);

    // Another thread (the scan thread) never runs the hook.
    pulses = 0;
    std::thread other([&] { EXPECT_TRUE(doc.OnSaveDocument(scan)); });
    other.join();
    EXPECT_EQ(pulses, 0);

    ClearProgressPulse();
    ASSERT_TRUE(doc.OnSaveDocument(scan));
    EXPECT_EQ(pulses, 0);
    std::error_code ec;
    fs::remove(scan, ec);
    fs::remove(AutomaticExportPath(scan), ec);
}
