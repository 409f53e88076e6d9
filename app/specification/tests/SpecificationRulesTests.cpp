#include "app/specification/SpecificationRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace S = SpecificationRules;

TEST(SpecificationRules, CurveRulesRefuseFlatAndDecreasingCurves)
{
    using Rows = std::vector<S::CurveRow>;
    EXPECT_EQ(S::validateCurve(0, Rows{{"10", "1"}, {"10", "1"}, {"10", "1"}}), S::kTooFewFrequencies);
    EXPECT_EQ(S::validateCurve(0, Rows{{"10", "1"}, {"20", "1"}, {"15", "1"}}), S::kDecreasingFrequencies);
    EXPECT_EQ(S::validateCurve(0, Rows{{"10", "1"}}), S::kTooFewFrequencies);
    EXPECT_EQ(S::validateCurve(1, Rows{}), S::kTooFewFrequencies);
    EXPECT_FALSE(S::validateCurve(0, Rows{{"10", "1"}, {"20", "3"}}));
    // Distinct means more than 1e-6 apart for input 1 and 2e-6 for input 2.
    const Rows close{{"10", "1"}, {"10.0000015", "1"}};
    EXPECT_FALSE(S::validateCurve(0, close));
    EXPECT_EQ(S::validateCurve(1, close), S::kTooFewFrequencies);
    // A step back within 1e-6 is not a decrease; equal frequencies may repeat.
    EXPECT_FALSE(S::validateCurve(0, Rows{{"10", "1"}, {"20", "1"}, {"19.9999995", "1"}}));
    EXPECT_FALSE(S::validateCurve(0, Rows{{"10", "1"}, {"10", "5"}, {"20", "1"}}));

    EXPECT_EQ(S::formatValue(1.234567), "1.2346");
    EXPECT_EQ(S::formatValue(123456789.0), "1.2346e+08");
    EXPECT_EQ(S::formatValue(20.0), "20");
    EXPECT_EQ(S::unitFor("Magnetometer"), "uT");
    EXPECT_EQ(S::unitFor("Accelerometer"), "g");
    EXPECT_EQ(S::intensityLabel("Microphone"), "Intensity / Pa");
}

} // namespace
