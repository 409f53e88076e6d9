#include "app/specification/ExcursionReport.h"
#include "app/specification/SpecificationVerdict.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ExcursionReportTest, TheSummarySaysTheWorstExcursionItsLimitAndTheMarginWithUnits)
{
    DomainVerdict v;
    EXPECT_EQ(ExcursionSummary(0, v, "uT"), "") << "not tested";
    v.tested = true;
    EXPECT_EQ(ExcursionSummary(0, v, "uT"), "") << "nothing judged yet";
    v.judged = true;
    v.worstAxis = 2;
    v.worstValue = 0.6;
    v.worstLimit = 0.5;
    v.margin = -0.1;
    EXPECT_EQ(ExcursionSummary(0, v, "uT"), "Input 1: worst excursion 0.6 uT (z), limit 0.5 uT, 0.1 uT over");
    v.worstAxis = 0;
    v.worstValue = 0.3;
    v.margin = 0.2;
    EXPECT_EQ(ExcursionSummary(1, v, "ug"),
              "Input 2: worst excursion 0.3 ug (x), limit 0.5 ug, 0.2 ug within the limit");
    EXPECT_EQ(ExcursionSummary(1, v, ""),
              "Input 2: worst excursion 0.3 (x), limit 0.5, 0.2 within the limit");
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
