#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/PostProcessing.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

TEST(PostProcessing, RollingTwoOnePassAveragesConsecutiveSamples)
{
    ScanData a;
    ScanData b;
    FillScanData(a, 6, 10.0, [](int axis, int i) { return (axis + 1) * i * i; });
    FillScanData(b, 3, 10.0, [](int, int i) { return 100.0 + i; });
    FilterScanData(a, b, 2, 1);
    EXPECT_EQ(a.timeData[0].get(0), 0.0); // the first output is the first sample
    for (std::uint32_t i = 1; i < 6; ++i)
        EXPECT_EQ(a.timeData[1].get(i), 2.0 * (i * i + (i - 1) * (i - 1)) / 2.0) << i;
    // Input 2 continues from the state input 1 left: its first output pairs with input 1's last sample.
    EXPECT_EQ(b.timeData[0].get(0), (25.0 + 100.0) / 2.0);
    EXPECT_EQ(b.timeData[0].get(1), (100.0 + 101.0) / 2.0);
}

TEST(PostProcessing, PassesCarryStateAndMovingAverageWindows)
{
    MovingAverage m(3);
    EXPECT_EQ(m.push(3.0), 3.0);
    EXPECT_EQ(m.push(6.0), 4.5);
    EXPECT_EQ(m.push(9.0), 6.0);
    EXPECT_EQ(m.push(0.0), 5.0); // 6, 9, 0

    ScanData a;
    ScanData b;
    FillScanData(a, 2, 10.0, [](int, int i) { return i == 0 ? 4.0 : 8.0; });
    FilterScanData(a, b, 2, 2);
    // Pass 1: 4, 6. Pass 2 starts from [4, 8]'s state: (8 + 4) / 2 = 6, then (4 + 6) / 2 = 5.
    EXPECT_EQ(a.timeData[0].get(0), 6.0);
    EXPECT_EQ(a.timeData[0].get(1), 5.0);
}

TEST(PostProcessing, SpectraAveragedAcrossFilesEndWithTheirMean)
{
    CCorvelDoc docs[3];
    const double values[3] = {1.0, 2.0, 6.0};
    for (int k = 0; k < 3; ++k) {
        ScanData& d = docs[k].scan.input1;
        d.axisCount = 3;
        d.allocate();
        d.spectrumPointCount = 1024;
        d.spectrum[2][40] = values[k];
    }
    for (int k = 1; k < 3; ++k)
        docs[k].AverageSpectraWithPrevious(docs[k - 1].scan, k);
    EXPECT_DOUBLE_EQ(docs[2].scan.input1.spectrum[2].get(40), 3.0);
}

TEST(PostProcessing, CutOffAndWhichDocumentsStayOpen)
{
    EXPECT_NEAR(MovingAverageCutOff(0.001, 2), 235.4, 0.05);
    EXPECT_EQ(MovingAverageCutOffText(0.001, 2), "235.414");
    EXPECT_TRUE(PostProcessWarnsAboutFileCount(25, false));
    EXPECT_FALSE(PostProcessWarnsAboutFileCount(25, true));
    EXPECT_FALSE(PostProcessWarnsAboutFileCount(20, false));
    // 25 files, all kept for display: files 1 … 5 close, 6 … 25 stay.
    int open = 0;
    for (int k = 0; k < 25; ++k)
        open += 1 - (PostProcessClosesPrevious(k, 25, false) ? 1 : 0);
    EXPECT_EQ(open, 20);
    EXPECT_FALSE(PostProcessClosesPrevious(0, 25, true));
    EXPECT_TRUE(PostProcessClosesPrevious(24, 25, true));
}
