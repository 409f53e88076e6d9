#include "app/specification/SpecificationTest.h"
#include "common/platform/Hooks.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SpecificationTest, TimeExcursionFromTheReferenceAndStickyFailure)
{
    SpecificationSettings limits;
    limits.maximumExcursion[0] = 0.5;
    ResetSpecificationResults(limits);
    const std::vector<double> first = {10.0, 10.2, 9.5}; // 9.5 is exactly 0.5 away
    EXPECT_TRUE(testTimeSpecification(limits, 0, 3, first.data(), 1.0));
    EXPECT_EQ(limits.referenceValue[0], 10.0);
    const std::vector<double> later = {10.2, 10.6};
    EXPECT_FALSE(testTimeSpecification(limits, 0, 2, later.data(), 1.0));
    EXPECT_EQ(limits.passedTime[0], 0);
    // Data back inside the limit do not clear the failure until the next scan.
    EXPECT_FALSE(testTimeSpecification(limits, 0, 3, first.data(), 1.0));
    EXPECT_EQ(limits.passedTime[1], 1);
    ResetSpecificationResults(limits);
    const std::vector<double> shifted = {10.6, 10.9};
    EXPECT_TRUE(testTimeSpecification(limits, 0, 2, shifted.data(), 1.0)); // new reference 10.6
    EXPECT_EQ(limits.referenceValue[0], 10.6);

    // The unit factor turns the limit into the data's unit: 0.5 uT is 500 nT.
    ResetSpecificationResults(limits);
    const std::vector<double> nanotesla = {0.0, 499.0, -500.0, 501.0};
    const double nT = SpecificationUnitFactor("nT");
    EXPECT_TRUE(testTimeSpecification(limits, 0, 3, nanotesla.data(), nT));
    EXPECT_FALSE(testTimeSpecification(limits, 0, 4, nanotesla.data(), nT));
}

TEST(SpecificationTest, AxesStopAtTheFirstFailingSeriesWithOneReferencePerInput)
{
    SpecificationSettings limits;
    limits.maximumExcursion[1] = 1.0;
    ResetSpecificationResults(limits);
    const std::vector<double> x = {5.0, 5.5};
    const std::vector<double> y = {5.9, 4.2}; // 4.2 is 0.8 from x's first sample
    const std::vector<double> z = {100.0};
    EXPECT_TRUE(testTimeSpecificationAxes(limits, 1, 2, {x.data(), y.data()}, 1.0));
    EXPECT_FALSE(testTimeSpecificationAxes(limits, 1, 1, {x.data(), z.data(), y.data()}, 1.0));
    EXPECT_EQ(limits.referenceValue[1], 5.0);
}

TEST(SpecificationTest, CurveLookupInterpolatesInsideAndIgnoresOutside)
{
    SpecificationSettings limits;
    limits.curve[0] = {{10.0, 1.0}, {20.0, 3.0}, {40.0, 3.0}};
    EXPECT_FALSE(curveLimitAt(limits, 0, 15.0).found); // frequency test not applied
    limits.applyFrequencyTest[0] = 1;
    EXPECT_DOUBLE_EQ(curveLimitAt(limits, 0, 15.0).limit, 2.0);
    EXPECT_TRUE(curveLimitAt(limits, 0, 15.0).found);
    EXPECT_EQ(curveLimitAt(limits, 0, 20.0).limit, 3.0);
    EXPECT_EQ(curveLimitAt(limits, 0, 10.0).limit, 1.0);
    EXPECT_EQ(curveLimitAt(limits, 0, 40.0).limit, 3.0);
    EXPECT_FALSE(curveLimitAt(limits, 0, 9.99).found);
    EXPECT_FALSE(curveLimitAt(limits, 0, 40.01).found);
    EXPECT_FALSE(curveLimitAt(limits, 1, 15.0).found);
    limits.curve[0] = {{10.0, 1.0}};
    EXPECT_EQ(curveLimitAt(limits, 0, 10.0).limit, 1.0);
    limits.curve[0].clear();
    EXPECT_FALSE(curveLimitAt(limits, 0, 10.0).found);
}

TEST(SpecificationTest, UnitFactors)
{
    EXPECT_EQ(SpecificationUnitFactor("nT"), 0.001);
    EXPECT_EQ(SpecificationUnitFactor("uT"), 1.0);
    EXPECT_EQ(SpecificationUnitFactor("mG"), 0.1);
    EXPECT_EQ(SpecificationUnitFactor("ug"), 0.000001);
    EXPECT_EQ(SpecificationUnitFactor("g"), 1.0);
    EXPECT_DOUBLE_EQ(SpecificationUnitFactor("mms-2") * 9806.65, 1.0);
    EXPECT_EQ(SpecificationUnitFactor("Pa"), 1.0);
}

TEST(SpecificationTest, ResultTextColoursAndAlert)
{
    SpecificationSettings limits;
    SpecificationDisplay d = SpecificationResultDisplay(limits);
    EXPECT_TRUE(d.passed);
    EXPECT_EQ(d.colour, 65280u);
    EXPECT_EQ(d.text(), "Pass");
    limits.passedFrequency[1] = 0;
    limits.passedTime[0] = 0;
    d = SpecificationResultDisplay(limits);
    EXPECT_FALSE(d.passed);
    EXPECT_EQ(d.colour, 255u);
    EXPECT_EQ(d.lines, (std::vector<std::string>{"Fail", "Input 1 Time", "Input 2 Frequency"}));

    std::vector<unsigned> tones;
    FenmarlCommonDLL::platform::setToneSink(
        [&](unsigned f, unsigned ms) { tones.push_back(f * 10000 + ms); });
    EXPECT_FALSE(SoundSpecificationAlert(limits, false)); // alert off
    limits.audioAlert = 1;
    EXPECT_FALSE(SoundSpecificationAlert(limits, true)); // muted
    EXPECT_TRUE(SoundSpecificationAlert(limits, false));
    ResetSpecificationResults(limits);
    EXPECT_FALSE(SoundSpecificationAlert(limits, false));
    FenmarlCommonDLL::platform::setToneSink(FenmarlCommonDLL::platform::defaultTone);
    EXPECT_EQ(tones, (std::vector<unsigned>{500 * 10000 + 500}));
}
