#include "app/specification/ExcursionReport.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ExcursionReportTest, WorstSampleMarginAndSummaryAcrossRefreshes)
{
    ExcursionReport r;
    EXPECT_EQ(ExcursionSummary(0, r), "") << "nothing measured yet";
    r.limit = 0.5;
    r.unit = "uT";
    const double x[] = {0.0, 0.1, 0.2};
    const double first[] = {10.2, 9.7, 10.1};
    r.add(0, x, first, 3, 10.0);
    EXPECT_NEAR(r.worst, 0.3, 1e-12);
    EXPECT_FALSE(r.over());
    EXPECT_EQ(ExcursionSummary(1, r), "Input 2: worst excursion 0.3 uT (x), limit 0.5 uT, 0.2 uT within the limit");

    // A later refresh with a worse z sample takes over; exactly on the limit is not over.
    const double later[] = {10.5, 9.4};
    r.add(2, x, later, 2, 10.0);
    EXPECT_NEAR(r.worst, 0.6, 1e-12);
    EXPECT_EQ(r.component, 2);
    EXPECT_DOUBLE_EQ(r.worstX, 0.1);
    EXPECT_TRUE(r.over());
    EXPECT_NEAR(r.margin(), -0.1, 1e-12);
    EXPECT_EQ(ExcursionSummary(0, r), "Input 1: worst excursion 0.6 uT (z), limit 0.5 uT, 0.1 uT over");

    ExcursionReport edge;
    edge.limit = 0.5;
    const double onLimit[] = {10.5};
    edge.add(1, nullptr, onLimit, 1, 10.0);
    EXPECT_FALSE(edge.over());
}

TEST(ExcursionReportTest, ExceedingSamplesAreSpreadWhenThereAreTooManyAndUnitsComeFromAxisTitles)
{
    std::vector<double> v(1000, 0.0);
    for (std::size_t i = 100; i < 900; ++i)
        v[i] = 2.0;
    const auto all = ExceedingSamples(v.data(), v.size(), 0.0, 1.0, 1000);
    ASSERT_EQ(all.size(), 800u);
    EXPECT_EQ(all.front(), 100u);
    const auto some = ExceedingSamples(v.data(), v.size(), 0.0, 1.0, 5);
    ASSERT_EQ(some.size(), 5u);
    EXPECT_EQ(some.front(), 100u);
    EXPECT_EQ(some.back(), 899u) << "the first and last offenders are kept";
    EXPECT_TRUE(ExceedingSamples(v.data(), v.size(), 0.0, 2.0, 10).empty()) << "equal to the limit passes";

    EXPECT_EQ(UnitOfAxisTitle("Vibration (ug)"), "ug");
    EXPECT_EQ(UnitOfAxisTitle("Magnetic Strength (nTrms / sqrt(Hz))"), "nTrms / sqrt(Hz)");
    EXPECT_EQ(UnitOfAxisTitle("Amplitude"), "");
}
